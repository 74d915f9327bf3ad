#include "publish/payload.h"

#include "base/numberformat.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace pexumo {

// Written by hand rather than with QJsonObject: that one sorts its keys, while subscribers and
// people reading a broker's log expect the documented order, session and seq first.

namespace {

void appendString(QByteArray& out, const QString& text)
{
    out += '"';
    for (const char c : text.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendKey(QByteArray& out, const char* key)
{
    out += ",\"";
    out += key;
    out += "\":";
}

// Pexumo's texts carry "." or "," as the decimal separator, whichever was in force.
std::optional<double> numberOf(const QString& text)
{
    for (const NumberFormat format : {NumberFormat{u'.', u','}, NumberFormat{u',', u'.'}})
        if (const std::optional<double> value = ToNumber(text, format))
            return value;
    return std::nullopt;
}

void appendNumber(QByteArray& out, double value)
{
    if (value == 0)
        value = 0; // no "-0"
    out += FormatNumber(value, NumberFormat{u'.', u','}).toLatin1();
}

// "key":number, or "key":null and "<key>_text":"the text" when the text is no number.
void appendMeasure(QByteArray& out, const char* key, const QString& text, int sign)
{
    appendKey(out, key);
    const std::optional<double> value = numberOf(text);
    if (value && std::isfinite(*value)) {
        appendNumber(out, sign < 0 ? -std::abs(*value) : *value);
        return;
    }
    out += "null";
    appendKey(out, (QByteArray(key) + "_text").constData());
    appendString(out, text);
}

// ISO 8601 to the millisecond with the offset written out, e.g. "2026-12-09T14:03:07.125+01:00":
// two rows of a list within one second (a records download) keep apart in a time-series store.
void appendTime(QByteArray& out, qint64 stampMs, qint32 offsetSec)
{
    using namespace std::chrono;
    const sys_time<milliseconds> local =
        sys_time<milliseconds>(milliseconds(stampMs)) + seconds(offsetSec);
    const sys_days day = floor<days>(local);
    const year_month_day date(day);
    const hh_mm_ss time(local - day);
    const int offset = std::abs(offsetSec);
    char text[48];
    std::snprintf(text, sizeof text, "\"%04d-%02u-%02uT%02d:%02d:%02d.%03d%c%02d:%02d\"",
                  int(date.year()), unsigned(date.month()), unsigned(date.day()),
                  int(time.hours().count()), int(time.minutes().count()),
                  int(time.seconds().count()), int(time.subseconds().count()),
                  offsetSec < 0 ? '-' : '+', offset / 3600, offset % 3600 / 60);
    out += text;
}

void appendNumberKey(QByteArray& out, const char* key, double value)
{
    appendKey(out, key);
    if (std::isfinite(value))
        appendNumber(out, value);
    else
        out += "null";
}

} // namespace

QByteArray rowTopic(const QString& root, ListId list)
{
    return (root + u'/' + listName(list)).toUtf8();
}

QByteArray rowPayload(qint64 session, qint64 seq, ListId list, const ResultRecord& row,
                      const QString& port)
{
    QByteArray out;
    out.reserve(200);
    out += "{\"session\":" + QByteArray::number(session);
    appendKey(out, "seq");
    out += QByteArray::number(seq);
    appendKey(out, "port");
    appendString(out, port);
    int sign = 0;
    if (list == ListId::Records) {
        appendKey(out, "record");
        bool ok = false;
        const qint64 number = row.TimeOrNo.trimmed().toLongLong(&ok, 10);
        out += ok ? QByteArray::number(number) : QByteArray("null");
        sign = row.Sign;
    }
    appendKey(out, "time");
    if (row.StampMs == 0)
        out += "null";
    else
        appendTime(out, row.StampMs, row.UtcOffsetSec);
    appendKey(out, "ts");
    out += row.StampMs == 0 ? QByteArray("null") : QByteArray::number(row.StampMs);
    appendKey(out, "type");
    appendString(out, row.Type);
    appendMeasure(out, "value", row.Value, sign);
    appendKey(out, "unit");
    appendString(out, row.Unit);
    if (!row.Temp.trimmed().isEmpty()) {
        appendMeasure(out, "temp", row.Temp, 0);
        if (!row.TempUnit.isEmpty()) {
            appendKey(out, "temp_unit");
            appendString(out, row.TempUnit);
        }
    }
    out += '}';
    return out;
}

QByteArray alarmPayload(qint64 session, const AlarmEvent& event)
{
    const ActiveAlarm& a = event.alarm;
    QByteArray out;
    out.reserve(260);
    out += "{\"session\":" + QByteArray::number(session);
    appendKey(out, "event");
    out += event.change == AlarmChange::Raise ? "\"raise\"" : "\"clear\"";
    appendKey(out, "parameter");
    appendString(out, a.name());
    appendKey(out, "side");
    appendString(out, alarmSideWord(a.side));
    if (a.side == AlarmSide::NoReading && a.cause) {
        appendKey(out, "cause");
        appendString(out, noReadingCauseWord(*a.cause));
    }
    appendNumberKey(out, "value", a.value);
    appendKey(out, "unit");
    appendString(out, a.unit());
    appendNumberKey(out, "limit", a.limit);
    appendNumberKey(out, "worst", a.worst);
    appendKey(out, "since");
    appendTime(out, a.sinceMs, a.utcOffsetSec);
    appendKey(out, "raised");
    appendTime(out, a.raisedMs, a.utcOffsetSec);
    appendKey(out, "time");
    appendTime(out, event.atMs, event.utcOffsetSec);
    appendKey(out, "ts");
    out += QByteArray::number(event.atMs);
    out += '}';
    return out;
}

QByteArray statusPayload(bool online, qint64 session)
{
    return (online ? "{\"status\":\"online\",\"session\":"
                   : "{\"status\":\"offline\",\"session\":") +
           QByteArray::number(session) + '}';
}

} // namespace pexumo
