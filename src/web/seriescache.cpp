#include "web/seriescache.h"

#include "acquire/sampleroute.h"
#include "web/journalviews.h"

#include <algorithm>

namespace pexumo {

QString SeriesCache::with(const QString& path, const JournalReader& reader, qint64 session,
                          ListId list, const Use& use)
{
    const Key key{path, session, int(indexOf(list))};
    std::shared_ptr<Entry> entry;
    {
        const std::lock_guard lock(m_mutex);
        auto it = m_entries.find(key);
        if (it == m_entries.end())
            it = m_entries.emplace(key, std::make_shared<Entry>()).first;
        entry = it->second;
        m_recent.remove(key);
        m_recent.push_front(key);
    }
    QString error;
    qsizetype added = 0;
    {
        const std::lock_guard lock(entry->mutex);
        if (entry->stepMs == 0)
            entry->stepMs = sampleStepMs(reader, session).value_or(1000);
        const qint64 gapMs = 3 * entry->stepMs;
        qint64 lastStamp = entry->series.isEmpty()
                               ? 0
                               : entry->series.stampAt(entry->series.size() - 1);
        const SessionRead read = reader.forEachRowAfter(
            session, list, entry->lastN, [&](qint64 n, const ResultRecord& row) {
                if (!entry->series.isEmpty() && row.StampMs - lastStamp > gapMs)
                    entry->series.breakLine();
                const std::optional<SamplePlan> plan = replanRow(row);
                // A row that does not plan (a hand-edited journal) keeps the numbering.
                entry->series.append(row.StampMs, plan ? plan->y : 0.0,
                                     plan && plan->hasTemp ? std::optional<double>(plan->tempY)
                                                           : std::nullopt,
                                     row.UtcOffsetSec);
                entry->rows.push_back(quint32(n));
                entry->lastN = n;
                lastStamp = row.StampMs;
            });
        error = read.error;
        added = entry->series.size() - entry->counted;
        entry->counted = entry->series.size();
        use(entry->series, entry->rows);
    }
    const std::lock_guard lock(m_mutex);
    m_samples += added;
    // Forget the lists looked at longest ago; one in use stays alive with its user.
    while (m_samples > m_maxSamples && m_recent.size() > 1) {
        const Key old = m_recent.back();
        m_recent.pop_back();
        const auto it = m_entries.find(old);
        if (it == m_entries.end())
            continue;
        m_samples -= it->second->counted;
        m_entries.erase(it);
    }
    return error;
}

qsizetype SeriesCache::samples() const
{
    const std::lock_guard lock(m_mutex);
    return m_samples;
}

} // namespace pexumo
