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
/// {"session":12,"seq":345,"port":"/dev/ttyUSB0","time":"2026-12-09T14:03:07.125+01:00",
///  "ts":1796821387125,"type":"pH","value":7.12,"unit":"pH","temp":25.3,"temp_unit":"C"}
/// - "seq" counts the rows of the session from 1; together with "session" it names the row, so a
///   subscriber drops a row sent twice by that pair (and the topic: every journal numbers its
///   sessions from 1).
/// - "port" is the meter's port as the session records it ("" before any port opened).
/// - "time" is StampMs to the millisecond in the row's own offset from UTC, "ts" the same
///   instant in milliseconds since 1970 UTC; both null when unknown (0).
/// - Numbers are JSON numbers whichever decimal separator the row's texts use. A record adds
///   "record" (its number) and its value carries the record's sign.
/// - A value text that is no number gives "value":null and the text itself as "value_text"; a
///   temperature likewise gives "temp":null and "temp_text". A row without a temperature (ORP,
///   millivolts) has no "temp" and no "temp_unit".
QByteArray rowPayload(qint64 session, qint64 seq, ListId list, const ResultRecord& row,
                      const QString& port = {});

/// "<topic>/status": {"status":"online","session":12} or {"status":"offline","session":12}.
QByteArray statusPayload(bool online, qint64 session);

/// An alarm's rise or clear as the JSON object "<topic>/alarm" receives, on one line:
/// {"session":12,"event":"raise","parameter":"DO","side":"below","value":3.1,"unit":"mg/L",
///  "limit":4,"worst":2.95,"since":"2026-12-09T02:13:07.000+01:00",
///  "raised":"2026-12-09T02:14:07.000+01:00","time":"2026-12-09T02:14:07.000+01:00",
///  "ts":1796778847000}
/// - "event" is "raise" or "clear"; "parameter" a settings key name, "NoReading" or "Disk";
///   "side" "below", "above" or "silent" (no reading), alarmSideWord().
/// - A NoReading alarm adds "cause" after "side", why no frame came: "silent", "lost" or
///   "unopened" (noReadingCauseWord()), the latest the alarm had when the message was made;
///   none where the cause is not known (an alarm of a journal that did not keep it).
/// - "value" is the value that raised it, or the value at the clear; "worst" the furthest beyond
///   the limit so far (for a clear: while it was up); both and "limit" in "unit", the alarm unit
///   of the parameter (COND in us, TDS and Salt in ppm, Temp in C; seconds for no reading).
/// - "since" is the first sample beyond the limit (the last frame for no reading), "raised" the
///   rise, "time" the event, each to the millisecond in its own offset from UTC; "ts" is the
///   event in milliseconds since 1970 UTC. (session, parameter, side, raised) pairs a clear
///   with its rise.
QByteArray alarmPayload(qint64 session, const AlarmEvent& event);

} // namespace pexumo
