#pragma once

#include "results/resultlistmodel.h"

#include <QByteArray>
#include <QString>

namespace pexumo {

/// The text file of a result list: one line per row, each ended by CR LF, no header, no BOM.
/// Texts are written as stored (UTF-8, i.e. plain ASCII for anything the meter sends), never
/// the texts the list shows. Rows are written oldest first (Sample, Orp) or in the order they
/// arrived (Downloaded). Layouts, with "_" standing for one blank:
///   Sample      TimeOrNo____Type____Value____Unit____Temp____ then "_C", "_F" or nothing
///   Orp         TimeOrNo____Type____Value____Unit
///   Downloaded  TimeOrNo___Type___Value___Unit___Temp___TempUnit     (Sign +1)
///               TimeOrNo___Type___-Value___Unit___Temp___TempUnit    (Sign -1)
/// A downloaded row whose Sign is neither +1 nor -1 gives no line. An empty list gives 0 bytes.
QByteArray exportBytes(const ResultListModel& list);

/// \a path with ".txt" appended, unless ".txt" occurs anywhere in it (case-sensitive, folder
/// names included): result -> result.txt, result.TXT -> result.TXT.txt, data.txt.bak unchanged.
QString withTxtExtension(const QString& path);

struct WriteResult
{
    bool ok = false;
    QString error; ///< "Cannot create file <full name>" or "Stream write error"; empty when ok
};

/// Replaces the file at \a path with \a bytes. The bytes go to a temporary file next to it that
/// takes the name only once everything is on disk, so a failure (full disk, vanished folder)
/// leaves any previous file untouched and no partial file behind. Where the folder forbids new
/// files but the file itself may be written, the bytes are written into it in place; a failure
/// there can leave it cut.
WriteResult writeFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace pexumo
