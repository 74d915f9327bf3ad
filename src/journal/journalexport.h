#pragma once

#include "journal/journalreader.h"
#include "results/listid.h"

#include <QByteArray>
#include <QString>

namespace pexumo {

/// The file layouts a list of the journal can be written in: those of the window's save.
enum class ExportFormat
{
    Text,
    Csv
};

/// The bytes of \a list of \a session as the window's SaveResult writes them, in the current
/// NumberFormat: what `pexumo-journal export` writes and what pexumo-web offers for download.
/// Empty with \a error set when the rows cannot be read.
QByteArray exportSessionList(const JournalReader& reader, qint64 session, ListId list,
                             ExportFormat format, QString* error);

} // namespace pexumo
