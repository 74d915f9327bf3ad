#pragma once

#include "alarm/alarmmonitor.h"
#include "results/listid.h"
#include "results/resultrecord.h"

#include <QByteArray>
#include <QString>

namespace pexumo {

/// The topic the rows of \a list go to: "<root>/pH", "<root>/Records" and so on, in UTF-8.
QByteArray rowTopic(const QString& root, ListId list);

/// One row as the JSON object a subscriber receives, in UTF-8 on one line:
/// {"session":12,"seq":345,"time":"2026-12-09T14:03:07+01:00","type":"pH","value":7.12,
///  "unit":"pH","temp":25.3,"temp_unit":"C"}
/// - "seq" counts the rows of the session from 1; together with "session" it names the row, so a
///   subscriber drops a row sent twice by that pair.
/// - "time" is StampMs to the second in the row's own offset from UTC; null when unknown (0).
/// - Numbers are JSON numbers whichever decimal separator the row's texts use. A record adds
///   "record" (its number) and its value carries the record's sign.
/// - A value text that is no number gives "value":null and the text itself as "value_text"; a
///   temperature likewise gives "temp":null and "temp_text". A row without a temperature (ORP,
///   millivolts) has no "temp" and no "temp_unit".
QByteArray rowPayload(qint64 session, qint64 seq, ListId list, const ResultRecord& row);

/// An alarm's rise or clear as the JSON object "<topic>/alarm" receives, on one line:
/// {"session":12,"event":"raise","parameter":"DO","side":"below","value":3.1,"unit":"mg/L",
///  "limit":4,"worst":2.95,"since":"2026-12-09T02:13:07+01:00",
///  "raised":"2026-12-09T02:14:07+01:00","time":"2026-12-09T02:14:07+01:00"}
/// - "event" is "raise" or "clear"; "parameter" a settings key name or "NoReading"; "side"
///   "below", "above" or "silent" (no reading).
/// - "value" is the value that raised it, or the value at the clear; "worst" the furthest beyond
///   the limit so far (for a clear: while it was up); both and "limit" in "unit", the alarm unit
///   of the parameter (COND in us, TDS and Salt in ppm, Temp in C; seconds for no reading).
/// - "since" is the first sample beyond the limit (the last frame for no reading), "raised" the
///   rise, "time" the event, each in its own offset from UTC. (session, parameter, side, raised)
///   pairs a clear with its rise.
QByteArray alarmPayload(qint64 session, const AlarmEvent& event);

} // namespace pexumo
