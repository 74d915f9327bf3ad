#include "alarm/alarmmonitor.h"

#include <QDateTime>

#include <algorithm>

namespace pexumo {

namespace {

qint32 localOffsetAt(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc();
}

QString timeText(qint64 ms, qint32 utcOffsetSec)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, utcOffsetSec)
        .toString(QStringLiteral("HH:mm:ss"));
}

double worse(AlarmSide side, double a, double b)
{
    return side == AlarmSide::Below ? std::min(a, b) : std::max(a, b);
}

double secondsBetween(qint64 fromMs, qint64 toMs)
{
    return static_cast<double>(std::max<qint64>(0, toMs - fromMs)) / 1000.0;
}

} // namespace

QString noReadingCauseWord(NoReadingCause cause)
{
    switch (cause) {
    case NoReadingCause::LineLost:
        return QStringLiteral("lost");
    case NoReadingCause::NotOpen:
        return QStringLiteral("unopened");
    case NoReadingCause::Silent:
        break;
    }
    return QStringLiteral("silent");
}

std::optional<NoReadingCause> noReadingCauseFromWord(QStringView word)
{
    for (const NoReadingCause cause :
         {NoReadingCause::Silent, NoReadingCause::LineLost, NoReadingCause::NotOpen})
        if (word == noReadingCauseWord(cause))
            return cause;
    return std::nullopt;
}

QString noReadingCauseText(NoReadingCause cause)
{
    switch (cause) {
    case NoReadingCause::LineLost:
        return QStringLiteral("the line is lost");
    case NoReadingCause::NotOpen:
        return QStringLiteral("the port does not open");
    case NoReadingCause::Silent:
        break;
    }
    return QStringLiteral("the meter sends nothing");
}

QString ActiveAlarm::name() const
{
    if (disk)
        return QStringLiteral("Disk");
    return parameter ? alarmParameterName(*parameter) : QStringLiteral("NoReading");
}

void ActiveAlarm::setName(QStringView name)
{
    parameter = alarmParameterFromName(name);
    disk = name == u"Disk";
}

QString ActiveAlarm::unit() const
{
    if (disk)
        return QStringLiteral("MB");
    return parameter ? alarmUnit(*parameter) : QStringLiteral("s");
}

QString alarmNote(const ActiveAlarm& alarm, NumberFormat format)
{
    const QString since = timeText(alarm.sinceMs, alarm.utcOffsetSec);
    if (alarm.disk)
        return QStringLiteral("ALARM Disk %1 MB free, below %2 MB since %3")
            .arg(FormatNumber(alarm.value, format), FormatNumber(alarm.limit, format), since);
    if (!alarm.parameter)
        return alarm.cause ? QStringLiteral("ALARM no reading since %1: %2")
                                 .arg(since, noReadingCauseText(*alarm.cause))
                           : QStringLiteral("ALARM no reading since %1").arg(since);
    const AlarmParameter p = *alarm.parameter;
    return QStringLiteral("ALARM %1 %2 %3 %4 %5 since %6")
        .arg(alarm.name(), alarmValueText(p, alarm.value, format), alarm.unit(),
             alarmSideWord(alarm.side), alarmLimitText(p, alarm.limit, format), since);
}

QString noReadingCauseChangeText(const ActiveAlarm& alarm)
{
    return QStringLiteral("no reading since %1: now %2")
        .arg(timeText(alarm.sinceMs, alarm.utcOffsetSec),
             noReadingCauseText(alarm.cause.value_or(NoReadingCause::Silent)));
}

QString alarmEventText(const AlarmEvent& event, NumberFormat format)
{
    const ActiveAlarm& a = event.alarm;
    if (event.change == AlarmChange::Raise)
        return alarmNote(a, format);
    const QString from = timeText(a.sinceMs, a.utcOffsetSec);
    const QString to = timeText(event.atMs, event.utcOffsetSec);
    if (a.disk)
        return QStringLiteral("CLEAR Disk %1 MB free, below %2 MB from %3 to %4, lowest %5 MB")
            .arg(FormatNumber(a.value, format), FormatNumber(a.limit, format), from, to,
                 FormatNumber(a.worst, format));
    if (!a.parameter)
        return QStringLiteral("CLEAR no reading from %1 to %2").arg(from, to);
    const AlarmParameter p = *a.parameter;
    const bool below = a.side == AlarmSide::Below;
    return QStringLiteral("CLEAR %1 %2 %3, %4 %5 from %6 to %7, %8 %9")
        .arg(a.name(), alarmValueText(p, a.value, format), a.unit(),
             alarmSideWord(a.side), alarmLimitText(p, a.limit, format), from, to,
             below ? QStringLiteral("lowest") : QStringLiteral("highest"),
             alarmValueText(p, a.worst, format));
}

AlarmMonitor::AlarmMonitor(const AlarmSettings& settings)
    : m_settings(settings), m_delayMs(qint64(settings.delaySeconds) * 1000)
{
}

AlarmEvent AlarmMonitor::event(AlarmChange change, const ActiveAlarm& alarm, qint64 atMs)
{
    return AlarmEvent{change, alarm, atMs, localOffsetAt(atMs)};
}

AlarmMonitor::Events AlarmMonitor::sample(Parameter parameter, double routedValue, qint64 stampMs)
{
    return observe(alarmParameterOf(parameter), routedValue, stampMs);
}

AlarmMonitor::Events AlarmMonitor::temperature(double value, QStringView unit, qint64 stampMs)
{
    if (unit == u"F")
        value = (value - 32.0) * 5.0 / 9.0;
    else if (unit != u"C")
        return {};
    return observe(AlarmParameter::Temp, value, stampMs);
}

AlarmMonitor::Events AlarmMonitor::observe(AlarmParameter parameter, double value, qint64 stampMs)
{
    Watch& w = m_watches[indexOf(parameter)];
    const AlarmLimit& limit = m_settings.limit(parameter);
    std::optional<AlarmSide> side;
    if (limit.low && value < *limit.low)
        side = AlarmSide::Below;
    else if (limit.high && value > *limit.high)
        side = AlarmSide::Above;
    const auto limitOf = [&limit](AlarmSide s) {
        return s == AlarmSide::Below ? *limit.low : *limit.high;
    };

    if (!w.up) {
        if (!side) {
            w.pending = false;
            return {};
        }
        if (!w.pending || stampMs < w.countSinceMs) {
            w.pending = true;
            w.countSinceMs = stampMs;
            w.alarm.side = *side;
            w.alarm.worst = value;
        } else if (w.alarm.side != *side) {
            w.alarm.side = *side;
            w.alarm.worst = value;
        } else {
            w.alarm.worst = worse(*side, w.alarm.worst, value);
        }
        if (stampMs - w.countSinceMs < m_delayMs)
            return {};
        w.up = true;
        w.pending = false;
        w.returning = false;
        w.alarm.parameter = parameter;
        w.alarm.value = value;
        w.alarm.limit = limitOf(*side);
        w.alarm.sinceMs = w.countSinceMs;
        w.alarm.raisedMs = stampMs;
        w.alarm.utcOffsetSec = localOffsetAt(w.alarm.sinceMs);
        return {event(AlarmChange::Raise, w.alarm, stampMs)};
    }

    w.alarm.value = value;
    if (side == w.alarm.side) {
        w.returning = false;
        w.alarm.worst = worse(*side, w.alarm.worst, value);
        return {};
    }
    if (side) {
        Events events{event(AlarmChange::Clear, w.alarm, stampMs)};
        w.returning = false;
        w.alarm.side = *side;
        w.alarm.limit = limitOf(*side);
        w.alarm.worst = value;
        w.alarm.sinceMs = stampMs;
        w.alarm.raisedMs = stampMs;
        w.alarm.utcOffsetSec = localOffsetAt(stampMs);
        events.push_back(event(AlarmChange::Raise, w.alarm, stampMs));
        return events;
    }
    if (!w.returning || stampMs < w.countSinceMs) {
        w.returning = true;
        w.countSinceMs = stampMs;
    }
    if (stampMs - w.countSinceMs < m_delayMs)
        return {};
    w.up = false;
    w.returning = false;
    return {event(AlarmChange::Clear, w.alarm, stampMs)};
}

AlarmMonitor::Events AlarmMonitor::frameArrived(qint64 stampMs)
{
    m_lastFrameMs = stampMs;
    return clearNoReading(stampMs);
}

AlarmMonitor::Events AlarmMonitor::clearNoReading(qint64 nowMs)
{
    if (!m_noReading)
        return {};
    ActiveAlarm alarm = *m_noReading;
    m_noReading.reset();
    alarm.value = secondsBetween(alarm.sinceMs, nowMs);
    alarm.worst = std::max(alarm.worst, alarm.value);
    return {event(AlarmChange::Clear, alarm, nowMs)};
}

AlarmMonitor::Events AlarmMonitor::check(qint64 nowMs, bool watching, NoReadingCause cause)
{
    if (!watching) {
        m_watchStartMs.reset();
        for (Watch& w : m_watches) {
            w.pending = false;
            w.returning = false;
        }
        return clearNoReading(nowMs);
    }
    if (!m_watchStartMs)
        m_watchStartMs = nowMs;
    if (m_settings.noReadingSeconds == 0)
        return {};
    const qint64 quietSinceMs =
        m_lastFrameMs ? std::max(*m_lastFrameMs, *m_watchStartMs) : *m_watchStartMs;
    if (m_noReading) {
        const double silent = secondsBetween(quietSinceMs, nowMs);
        m_noReading->value = silent;
        m_noReading->worst = std::max(m_noReading->worst, silent);
        m_noReading->cause = cause;
        return {};
    }
    if (nowMs - quietSinceMs < qint64(m_settings.noReadingSeconds) * 1000)
        return {};
    return raiseNoReading(nowMs, quietSinceMs, cause);
}

AlarmMonitor::Events AlarmMonitor::lineEnded(qint64 nowMs, NoReadingCause cause)
{
    if (m_noReading)
        m_noReading->cause = cause;
    if (m_settings.noReadingSeconds == 0 || m_noReading)
        return {};
    const qint64 watchStart = m_watchStartMs.value_or(nowMs);
    return raiseNoReading(nowMs, m_lastFrameMs ? std::max(*m_lastFrameMs, watchStart) : watchStart,
                          cause);
}

AlarmMonitor::Events AlarmMonitor::raiseNoReading(qint64 nowMs, qint64 quietSinceMs,
                                                  NoReadingCause cause)
{
    const double silent = secondsBetween(quietSinceMs, nowMs);
    ActiveAlarm alarm;
    alarm.side = AlarmSide::NoReading;
    alarm.value = silent;
    alarm.limit = m_settings.noReadingSeconds;
    alarm.worst = silent;
    alarm.sinceMs = quietSinceMs;
    alarm.raisedMs = nowMs;
    alarm.utcOffsetSec = localOffsetAt(quietSinceMs);
    alarm.cause = cause;
    m_noReading = alarm;
    return {event(AlarmChange::Raise, alarm, nowMs)};
}

AlarmMonitor::Events AlarmMonitor::setSettings(const AlarmSettings& settings, qint64 nowMs)
{
    Events events;
    for (AlarmParameter p : AllAlarmParameters) {
        const AlarmLimit& limit = settings.limit(p);
        if (limit == m_settings.limit(p))
            continue;
        Watch& w = m_watches[indexOf(p)];
        w.pending = false;
        w.returning = false;
        if (!w.up)
            continue;
        const std::optional<double>& moved =
            w.alarm.side == AlarmSide::Below ? limit.low : limit.high;
        if (moved) {
            w.alarm.limit = *moved;
        } else {
            w.up = false;
            events.push_back(event(AlarmChange::Clear, w.alarm, nowMs));
        }
    }
    m_settings = settings;
    m_delayMs = qint64(settings.delaySeconds) * 1000;
    if (m_noReading) {
        if (settings.noReadingSeconds == 0)
            for (const AlarmEvent& e : clearNoReading(nowMs))
                events.push_back(e);
        else
            m_noReading->limit = settings.noReadingSeconds;
    }
    return events;
}

std::vector<ActiveAlarm> AlarmMonitor::active() const
{
    std::vector<ActiveAlarm> alarms;
    for (const Watch& w : m_watches)
        if (w.up)
            alarms.push_back(w.alarm);
    if (m_noReading)
        alarms.push_back(*m_noReading);
    return alarms;
}

bool AlarmMonitor::anyActive() const
{
    return m_noReading ||
           std::any_of(m_watches.begin(), m_watches.end(), [](const Watch& w) { return w.up; });
}

QString alarmSideWord(AlarmSide side)
{
    switch (side) {
    case AlarmSide::Below:
        return QStringLiteral("below");
    case AlarmSide::Above:
        return QStringLiteral("above");
    case AlarmSide::NoReading:
        break;
    }
    return QStringLiteral("silent");
}

} // namespace pexumo
