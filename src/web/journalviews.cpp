#include "web/journalviews.h"

#include "acquire/sampleroute.h"
#include "alarm/alarmmonitor.h"
#include "history/minmaxreduce.h"
#include "web/seriescache.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <map>

namespace pexumo {

namespace {

QDateTime localAt(qint64 ms, qint32 offsetSec)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, offsetSec);
}

/// An alarm of the journal as the window's bar shows it while it is up.
ActiveAlarm activeAlarmOf(const JournalAlarm& a)
{
    ActiveAlarm alarm;
    alarm.setName(a.parameter);
    alarm.side = a.side;
    alarm.value = a.raisedValue;
    alarm.limit = a.limit;
    alarm.worst = a.worst;
    alarm.sinceMs = a.since.toMSecsSinceEpoch();
    alarm.raisedMs = a.raised.toMSecsSinceEpoch();
    alarm.utcOffsetSec = a.since.offsetFromUtc();
    alarm.cause = a.cause;
    return alarm;
}

QJsonObject rowObject(ListId list, const ResultRecord& row)
{
    QJsonObject o;
    o[QStringLiteral("list")] = listName(list);
    o[QStringLiteral("time")] = row.TimeOrNo;
    o[QStringLiteral("type")] = row.Type;
    o[QStringLiteral("value")] = row.Value;
    o[QStringLiteral("unit")] = row.Unit;
    o[QStringLiteral("temp")] = row.Temp;
    o[QStringLiteral("temp_unit")] = row.TempUnit;
    putTime(o, "at", row.StampMs, row.UtcOffsetSec);
    return o;
}

} // namespace

QString journalIdOf(const QString& path)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(12));
}

void putTime(QJsonObject& object, const char* key, qint64 ms, qint32 utcOffsetSec)
{
    const QString name = QString::fromLatin1(key);
    object[name] = localAt(ms, utcOffsetSec).toString(Qt::ISODate);
    object[name + QStringLiteral("_ms")] = double(ms);
}

std::optional<qint64> sampleStepMs(const JournalReader& reader, qint64 session)
{
    std::vector<qint64> stamps = reader.recentSampleStamps(session, 9);
    if (stamps.size() < 2)
        return std::nullopt;
    std::vector<qint64> gaps;
    for (std::size_t i = 1; i < stamps.size(); ++i)
        gaps.push_back(std::abs(stamps[i - 1] - stamps[i]));
    std::nth_element(gaps.begin(), gaps.begin() + qsizetype(gaps.size() / 2), gaps.end());
    return std::max<qint64>(gaps[gaps.size() / 2], 1000);
}

QJsonObject siteJournal(const JournalEntry& entry, const JournalReader* reader,
                        const QString& error)
{
    QJsonObject journal;
    journal[QStringLiteral("id")] = entry.id;
    journal[QStringLiteral("file")] = entry.path;
    QString problem = error;
    std::vector<JournalSession> sessions;
    if (problem.isEmpty() && reader)
        sessions = reader->sessions(&problem);
    if (!problem.isEmpty() || !reader) {
        journal[QStringLiteral("error")] = problem;
        return journal;
    }
    // One meter per port: its newest session.
    std::map<QString, const JournalSession*> newest;
    for (const JournalSession& s : sessions)
        if (s.totalRows() > 0 || !s.ended)
            newest[s.port] = &s; // sessions come oldest first
    QJsonArray meters;
    for (const auto& [port, s] : newest) {
        QJsonObject m;
        m[QStringLiteral("port")] = port;
        m[QStringLiteral("session")] = double(s->id);
        m[QStringLiteral("program")] = s->program;
        putTime(m, "started", s->started.toMSecsSinceEpoch(), s->started.offsetFromUtc());
        const bool running = !s->ended && journalSessionMayRun(s->writer);
        m[QStringLiteral("running")] = running;
        if (const std::optional<qint64> step = sampleStepMs(*reader, s->id))
            m[QStringLiteral("step_ms")] = double(*step);
        QString readError;
        const auto latest = reader->latestRows(*s, &readError);
        QJsonArray params;
        for (ListId list : AllLists) {
            const std::optional<ResultRecord>& row = latest[indexOf(list)];
            if (list == ListId::Records || !row)
                continue;
            params.append(rowObject(list, *row));
        }
        m[QStringLiteral("params")] = params;
        m[QStringLiteral("records")] = double(s->rows[indexOf(ListId::Records)]);
        QJsonArray lists;
        for (ListId list : AllLists)
            if (s->rows[indexOf(list)] > 0)
                lists.append(listName(list));
        m[QStringLiteral("lists")] = lists;
        QJsonArray alarms;
        if (!s->ended)
            for (const JournalAlarm& a : reader->alarms(s->id, &readError))
                if (!a.cleared) {
                    QJsonObject o;
                    o[QStringLiteral("parameter")] = a.parameter;
                    o[QStringLiteral("text")] = alarmNote(activeAlarmOf(a));
                    alarms.append(o);
                }
        m[QStringLiteral("alarms")] = alarms;
        if (!readError.isEmpty())
            m[QStringLiteral("error")] = readError;
        meters.append(m);
    }
    journal[QStringLiteral("meters")] = meters;
    return journal;
}

QString chartUnit(ListId list)
{
    switch (list) {
    case ListId::PH:
        return QStringLiteral("pH");
    case ListId::ORP:
        return QStringLiteral("mV");
    case ListId::COND:
        return QStringLiteral("µS");
    case ListId::TDS:
    case ListId::Salt:
        return QStringLiteral("ppm");
    case ListId::DO:
        return QStringLiteral("mg/L");
    case ListId::O2:
        return QStringLiteral("%");
    case ListId::Records:
        break;
    }
    return {};
}

QJsonObject meterView(const JournalEntry& entry, const JournalReader& reader, qint64 session,
                      const AlarmSettings& limits, QString* error)
{
    QJsonObject view;
    view[QStringLiteral("id")] = entry.id;
    view[QStringLiteral("file")] = entry.path;
    const std::vector<JournalSession> sessions = reader.sessions(error);
    const auto it = std::find_if(sessions.begin(), sessions.end(),
                                 [&](const JournalSession& s) { return s.id == session; });
    if (it == sessions.end())
        return {};
    const JournalSession& s = *it;
    view[QStringLiteral("session")] = double(s.id);
    view[QStringLiteral("port")] = s.port;
    view[QStringLiteral("program")] = s.program;
    putTime(view, "started", s.started.toMSecsSinceEpoch(), s.started.offsetFromUtc());
    if (s.ended)
        putTime(view, "ended", s.ended->toMSecsSinceEpoch(), s.ended->offsetFromUtc());
    view[QStringLiteral("running")] = !s.ended && journalSessionMayRun(s.writer);
    QJsonArray lists;
    for (ListId list : AllLists) {
        QJsonObject l;
        l[QStringLiteral("list")] = listName(list);
        l[QStringLiteral("rows")] = double(s.rows[indexOf(list)]);
        if (const std::optional<Parameter> p = parameterOf(list)) {
            l[QStringLiteral("unit")] = chartUnit(list);
            const AlarmLimit& limit = limits.limit(alarmParameterOf(*p));
            if (limit.low)
                l[QStringLiteral("low")] = *limit.low;
            if (limit.high)
                l[QStringLiteral("high")] = *limit.high;
        }
        lists.append(l);
    }
    view[QStringLiteral("lists")] = lists;
    QJsonArray others;
    for (auto o = sessions.rbegin(); o != sessions.rend(); ++o) {
        QJsonObject j;
        j[QStringLiteral("session")] = double(o->id);
        j[QStringLiteral("port")] = o->port;
        j[QStringLiteral("program")] = o->program;
        j[QStringLiteral("rows")] = double(o->totalRows());
        putTime(j, "started", o->started.toMSecsSinceEpoch(), o->started.offsetFromUtc());
        others.append(j);
    }
    view[QStringLiteral("sessions")] = others;
    return view;
}

QJsonObject seriesView(SeriesCache& cache, const JournalEntry& entry, const JournalReader& reader,
                       qint64 session, ListId list, qint64 fromMs, qint64 toMs, int columns,
                       QString* error)
{
    QJsonObject view;
    view[QStringLiteral("list")] = listName(list);
    view[QStringLiteral("unit")] = chartUnit(list);
    QJsonArray x, v, lo, hi;
    const QString problem =
        cache.with(entry.path, reader, session, list,
                   [&](const HistorySeries& series, const SeriesCache::Rows&) {
                       if (series.isEmpty())
                           return;
                       view[QStringLiteral("first_ms")] = double(series.stampAt(0));
                       view[QStringLiteral("last_ms")] = double(series.stampAt(series.size() - 1));
                       view[QStringLiteral("samples")] = double(series.size());
                       const Reduction r = reduceMinMax(series, fromMs, toMs, columns);
                       const auto point = [&](qsizetype i, double value, double low, double high) {
                           x.append(double(series.stampAt(i)));
                           v.append(value);
                           lo.append(low);
                           hi.append(high);
                       };
                       const auto gap = [&](qint64 atMs) {
                           x.append(double(atMs));
                           v.append(QJsonValue::Null);
                           lo.append(QJsonValue::Null);
                           hi.append(QJsonValue::Null);
                       };
                       // The line runs in from the sample before the span, and out to the one after
                       // it.
                       if (r.before >= 0)
                           point(r.before, series.valueAt(r.before), series.valueAt(r.before),
                                 series.valueAt(r.before));
                       for (std::size_t k = 0; k < r.pieces.size(); ++k) {
                           const ReducedColumn& p = r.pieces[k];
                           if (!p.joined && (k > 0 || r.before >= 0))
                               gap((series.stampAt(p.first) +
                                    (x.isEmpty() ? 0 : qint64(x.last().toDouble()))) /
                                   2);
                           point(p.first, p.firstY, p.minY, p.maxY);
                           if (p.last != p.first)
                               point(p.last, p.lastY, p.minY, p.maxY);
                       }
                       if (r.after >= 0)
                           point(r.after, series.valueAt(r.after), series.valueAt(r.after),
                                 series.valueAt(r.after));
                   });
    if (!problem.isEmpty() && error)
        *error = problem;
    view[QStringLiteral("x")] = x;
    view[QStringLiteral("v")] = v;
    view[QStringLiteral("lo")] = lo;
    view[QStringLiteral("hi")] = hi;
    return view;
}

QJsonObject rowView(SeriesCache& cache, const JournalEntry& entry, const JournalReader& reader,
                    qint64 session, ListId list, qint64 atMs, QString* error)
{
    qint64 n = -1;
    QString problem =
        cache.with(entry.path, reader, session, list,
                   [&](const HistorySeries& series, const SeriesCache::Rows& rows) {
                       const qsizetype i = series.indexNear(atMs);
                       if (i >= 0)
                           n = rows[std::size_t(i)];
                   });
    QJsonObject view;
    if (n >= 0)
        if (const auto row = reader.row(session, n, &problem))
            view = rowObject(row->first, row->second);
    if (!problem.isEmpty() && error)
        *error = problem;
    return view;
}

bool NewestEvents::newer(const Kept& a, const Kept& b)
{
    return a.timeMs != b.timeMs ? a.timeMs > b.timeMs : a.order < b.order;
}

bool NewestEvents::wants(qint64 timeMs) const
{
    // Among equal times a later event is the older: it must be strictly newer than the top.
    return m_heap.size() < m_limit || (!m_heap.empty() && timeMs > m_heap.front().timeMs);
}

void NewestEvents::add(qint64 timeMs, QJsonObject event)
{
    const qint64 order = m_seen++;
    if (!wants(timeMs))
        return;
    // A heap ordered by newer(): the oldest kept is on top, the first to give way.
    if (m_heap.size() == m_limit) {
        std::pop_heap(m_heap.begin(), m_heap.end(), newer);
        m_heap.pop_back();
    }
    m_heap.push_back({timeMs, order, std::move(event)});
    std::push_heap(m_heap.begin(), m_heap.end(), newer);
}

QJsonArray NewestEvents::newestFirst() const
{
    std::vector<const Kept*> sorted;
    for (const Kept& k : m_heap)
        sorted.push_back(&k);
    std::sort(sorted.begin(), sorted.end(), [](const Kept* a, const Kept* b) { return newer(*a, *b); });
    QJsonArray out;
    for (const Kept* k : sorted)
        out.append(k->event);
    return out;
}

void alarmEvents(const JournalEntry& entry, const JournalReader& reader,
                 const QString& parameter, NewestEvents& into, QString* error)
{
    for (const JournalSession& s : reader.sessions(error)) {
        for (const JournalAlarm& a : reader.alarms(s.id, error)) {
            if (!parameter.isEmpty() && a.parameter != parameter)
                continue;
            const ActiveAlarm alarm = activeAlarmOf(a);
            QJsonObject base;
            base[QStringLiteral("journal")] = entry.id;
            base[QStringLiteral("file")] = entry.path;
            base[QStringLiteral("session")] = double(s.id);
            base[QStringLiteral("port")] = s.port;
            base[QStringLiteral("parameter")] = a.parameter;
            base[QStringLiteral("side")] = alarmSideWord(a.side);
            const qint64 raisedMs = a.raised.toMSecsSinceEpoch();
            if (into.wants(raisedMs)) {
                QJsonObject rise = base;
                rise[QStringLiteral("event")] = a.side == AlarmSide::NoReading
                                                    ? QStringLiteral("no reading")
                                                    : QStringLiteral("rise");
                putTime(rise, "time", raisedMs, a.raised.offsetFromUtc());
                rise[QStringLiteral("local")] =
                    a.raised.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
                rise[QStringLiteral("text")] = alarmEventText(
                    {AlarmChange::Raise, alarm, alarm.raisedMs, a.raised.offsetFromUtc()});
                rise[QStringLiteral("result")] = a.raiseResult;
                into.add(raisedMs, std::move(rise));
            } else {
                into.add(raisedMs, {});
            }
            if (!a.cleared)
                continue;
            const qint64 clearedMs = a.cleared->toMSecsSinceEpoch();
            if (!into.wants(clearedMs)) {
                into.add(clearedMs, {});
                continue;
            }
            ActiveAlarm cleared = alarm;
            cleared.value = a.clearedValue.value_or(a.worst);
            QJsonObject clear = base;
            clear[QStringLiteral("event")] = QStringLiteral("clear");
            putTime(clear, "time", clearedMs, a.cleared->offsetFromUtc());
            clear[QStringLiteral("local")] =
                a.cleared->toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
            clear[QStringLiteral("text")] = alarmEventText(
                {AlarmChange::Clear, cleared, clearedMs, a.cleared->offsetFromUtc()});
            clear[QStringLiteral("result")] = a.clearResult;
            into.add(clearedMs, std::move(clear));
        }
    }
}

} // namespace pexumo
