#pragma once

#include "acquire/charttails.h"
#include "journal/journalreader.h"

#include <QString>

namespace pexumo {

class ResultBook;

/// A run read back from the journal.
struct RestoredRun
{
    QString error;     ///< "" when every row came back, else why reading stopped
    qint64 rows = 0;   ///< rows read back into the book
    ChartTails charts; ///< what the charts showed at the end of the run
};

/// Reads every row of \a session in the journal at \a path back into \a book, in the order the
/// rows were added, with each list's saved count, and works out the charts' last points. Rows
/// read before a failure stay in the book. A thread of its own reads the file while the lists
/// fill.
RestoredRun restoreRun(const QString& path, const JournalSession& session, ResultBook& book);

} // namespace pexumo
