#include "web/seriescache.h"

#include "acquire/sampleroute.h"
#include "web/journalviews.h"

#include <QByteArray>

#include <algorithm>

namespace pexumo {

std::shared_ptr<SeriesCache::Entry> SeriesCache::take(const Key& key)
{
    auto it = m_entries.find(key);
    if (it == m_entries.end())
        it = m_entries.emplace(key, std::make_shared<Entry>()).first;
    m_recent.remove(key);
    m_recent.push_front(key);
    return it->second;
}

QString SeriesCache::fill(Entry& entry, const JournalReader& reader, qint64 session, ListId list)
{
    // The step is learnt once the session has two samples; a copy begun before stays open to it.
    if (entry.stepMs == 0)
        entry.stepMs = sampleStepMs(reader, session).value_or(0);
    const qint64 gapMs = 3 * (entry.stepMs > 0 ? entry.stepMs : 1000);
    qint64 lastStamp = entry.series.isEmpty() ? 0 : entry.series.stampAt(entry.series.size() - 1);
    // A list keeps its type and unit for long runs: the route is worked out when they change.
    QByteArray type;
    QByteArray unit;
    std::optional<SampleRoute> route;
    bool routed = false;
    const SessionRead read = reader.forEachChartRowAfter(
        session, list, entry.lastN, [&](const JournalReader::ChartRow& row) {
            if (!routed || row.type != type || row.unit != unit) {
                type = row.type.toByteArray();
                unit = row.unit.toByteArray();
                route = routeOf(QUtf8StringView(type), QUtf8StringView(unit));
                routed = true;
            }
            // A row that does not route (a hand-edited journal) keeps the numbering at 0.
            const PlotPoint point =
                route ? plotPointOf(*route, QUtf8StringView(row.value.data(), row.value.size()),
                                    QUtf8StringView(row.temp.data(), row.temp.size()))
                      : PlotPoint{};
            if (!entry.series.isEmpty() && row.stampMs - lastStamp > gapMs)
                entry.series.breakLine();
            entry.series.append(row.stampMs, point.y, point.temp, row.utcOffsetSec);
            entry.rows.push_back(quint32(row.n));
            entry.lastN = row.n;
            lastStamp = row.stampMs;
        });
    return read.error;
}

void SeriesCache::settle(const Key& key, const std::shared_ptr<Entry>& entry, qsizetype size)
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(key);
    // Forgotten meanwhile: its samples no longer count.
    if (it == m_entries.end() || it->second != entry)
        return;
    // Nothing to keep (a session or list without rows, which a request may name at will).
    if (size == 0) {
        m_samples -= entry->counted;
        m_entries.erase(it);
        m_recent.remove(key);
        return;
    }
    m_samples += size - entry->counted;
    entry->counted = size;
    for (auto old = m_recent.end(); m_samples > m_maxSamples && old != m_recent.begin();) {
        --old;
        if (*old == key)
            continue;
        const auto gone = m_entries.find(*old);
        m_samples -= gone->second->counted;
        m_entries.erase(gone);
        old = m_recent.erase(old);
    }
}

QString SeriesCache::with(const QString& path, const JournalReader& reader, qint64 session,
                          ListId list, const Use& use)
{
    const Key key{path, session, int(indexOf(list))};
    std::shared_ptr<Entry> entry;
    {
        const std::lock_guard lock(m_mutex);
        entry = take(key);
    }
    QString error;
    qsizetype size = 0;
    {
        const std::lock_guard lock(entry->mutex);
        error = fill(*entry, reader, session, list);
        use(entry->series, entry->rows);
        size = entry->series.size();
    }
    settle(key, entry, size);
    return error;
}

QString SeriesCache::warm(const QString& path, const JournalReader& reader, qint64 session,
                          ListId list, qint64 rows)
{
    const Key key{path, session, int(indexOf(list))};
    std::shared_ptr<Entry> entry;
    {
        const std::lock_guard lock(m_mutex);
        auto it = m_entries.find(key);
        if (it == m_entries.end()) {
            if (m_samples + rows > m_maxSamples)
                return {};
            // Read ahead, not looked at: the first to go when a look needs room.
            it = m_entries.emplace(key, std::make_shared<Entry>()).first;
            m_recent.push_back(key);
        }
        entry = it->second;
    }
    QString error;
    qsizetype size = 0;
    {
        const std::lock_guard lock(entry->mutex);
        error = fill(*entry, reader, session, list);
        size = entry->series.size();
    }
    settle(key, entry, size);
    return error;
}

qsizetype SeriesCache::samples() const
{
    const std::lock_guard lock(m_mutex);
    return m_samples;
}

bool SeriesCache::keeps(const QString& path, qint64 session, ListId list) const
{
    const std::lock_guard lock(m_mutex);
    return m_entries.count({path, session, int(indexOf(list))}) > 0;
}

} // namespace pexumo
