#pragma once

#include "history/historyseries.h"
#include "journal/journalreader.h"
#include "results/listid.h"

#include <QString>

#include <atomic>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

namespace pexumo {

/// The lists the charts were asked for, kept as the window's history keeps them (HistorySeries,
/// 12 bytes a sample, plus the row's number in the journal), so that a chart of a million rows
/// is reduced in memory instead of read again, and each later look only reads the rows added
/// since. Shared by the threads that answer requests; the least recently used lists go first
/// once more than \a maxSamples samples are kept.
class SeriesCache
{
public:
    explicit SeriesCache(qsizetype maxSamples = 2'000'000) : m_maxSamples(maxSamples) {}

    using Use = std::function<void(const HistorySeries& series, const std::vector<quint32>& rows)>;

    /// Brings the copy of \a list of \a session in the journal at \a path up to date through
    /// \a reader and hands it to \a use, with rows[i] the journal's number (reading.n) of sample
    /// i. The line breaks where two samples lie more than three steps of the session apart
    /// (the meter was away, or measured something else). Returns "" or why the rows could not
    /// be read.
    QString with(const QString& path, const JournalReader& reader, qint64 session, ListId list,
                 const Use& use);

    /// Samples kept, over all lists.
    qsizetype samples() const;

private:
    struct Entry
    {
        std::mutex mutex;
        HistorySeries series;
        std::vector<quint32> rows;
        qint64 lastN = -1; ///< reading.n counts from 0
        qint64 stepMs = 0;
        std::atomic<qsizetype> counted{0}; ///< the samples added to m_samples for it
    };
    using Key = std::tuple<QString, qint64, int>;

    mutable std::mutex m_mutex;
    std::map<Key, std::shared_ptr<Entry>> m_entries;
    std::list<Key> m_recent; ///< most recent first
    qsizetype m_samples = 0;
    qsizetype m_maxSamples;
};

} // namespace pexumo
