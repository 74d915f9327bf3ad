#pragma once

#include <QString>
#include <QtGlobal>

namespace pexumo {

/// The record behind every row of the eight result lists.
/// On a sample row (pH ... O2 lists) TimeOrNo is the local time "hh:mm:ss" and Sign stays 0; the
/// pH and ORP rows already carry a leading "-" in Value. On a downloaded-record row TimeOrNo is
/// the record number "1".."255", Value is unsigned and Sign is +1 or -1.
struct ResultRecord
{
    QString TimeOrNo;
    QString Type;
    QString Value;
    QString Unit;
    QString Temp;
    QString TempUnit; ///< "C", "F" or empty
    qint32 Sign = 0;
    /// The instant the row was made (the tick of a sample, the arrival of a record), in
    /// milliseconds since 1970-01-01 UTC; 0 when unknown. Not shown in any column.
    qint64 StampMs = 0;
    /// The local time's offset from UTC at that instant, in seconds (3600 for UTC+1).
    qint32 UtcOffsetSec = 0;

    friend bool operator==(const ResultRecord&, const ResultRecord&) = default;
};

} // namespace pexumo
