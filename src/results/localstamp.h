#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

namespace pexumo {

/// The local date and time of an instant as "yyyy-MM-dd HH:mm:ss" (19 ASCII characters), with
/// \a stampMs in milliseconds since 1970-01-01 UTC and \a utcOffsetSec the local offset from UTC
/// that held at that instant. The offset travels with the row, so the text stays the time the
/// user saw even when read after a change of time zone or of daylight saving time.
/// Returns false, leaving \a out alone, when the instant is unknown (0) or its local year lies
/// outside 1..9999.
bool writeLocalStamp(qint64 stampMs, qint32 utcOffsetSec, std::array<char, 19>& out);

/// writeLocalStamp() as a QString; empty when the instant is unknown or out of range.
QString localStampText(qint64 stampMs, qint32 utcOffsetSec);

} // namespace pexumo
