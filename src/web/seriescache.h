#pragma once

#include "history/historyseries.h"
#include "journal/journalreader.h"
#include "results/listid.h"

#include <QString>

#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

namespace pexumo {

/// The lists the charts draw, kept as the window's history keeps them (HistorySeries, 12 bytes a
/// sample, plus the row's number in the journal: 16 bytes), so that a chart of a million rows is
/// reduced in memory instead of read again, and each later look only reads the rows added
/// since. Shared by the threads that answer requests and the one that warms it.
///
/// At most \a maxSamples samples are kept. A look (with()) forgets the lists used longest ago to
/// make room; a warm-up (warm()) fills only the room that is free and forgets nothing for a list
/// it does not keep yet, so that warming the newest runs never pushes out what someone looks at.
class SeriesCache
{
public:
    /// 2 million samples: 32 MB, the newest runs of a few loggers at a row a second for a week.
    static constexpr qsizetype DefaultMaxSamples = 2'000'000;

    explicit SeriesCache(qsizetype maxSamples = DefaultMaxSamples) : m_maxSamples(maxSamples) {}

    using Rows = std::deque<quint32>;
    using Use = std::function<void(const HistorySeries& series, const Rows& rows)>;

    /// Brings the copy of \a list of \a session in the journal at \a path up to date through
    /// \a reader and hands it to \a use, with rows[i] the journal's number (reading.n) of sample
    /// i. The line breaks where two samples lie more than three steps of the session apart
    /// (the meter was away, or measured something else). Returns "" or why the rows could not
    /// be read.
    QString with(const QString& path, const JournalReader& reader, qint64 session, ListId list,
                 const Use& use);

    /// Brings the copy of \a list of \a session up to date before anyone asks for it; \a rows is
    /// how many rows the journal counts in the list. A list not kept yet is read only when its
    /// rows fit in the room that is free, and is then the first to go when a look needs room;
    /// a kept one keeps its place. Returns "" or why the rows could not be read.
    QString warm(const QString& path, const JournalReader& reader, qint64 session, ListId list,
                 qint64 rows);

    /// Samples kept, over all lists.
    qsizetype samples() const;
    /// The copy of \a list of \a session of \a path is kept.
    bool keeps(const QString& path, qint64 session, ListId list) const;

private:
    struct Entry
    {
        std::mutex mutex;
        HistorySeries series;
        Rows rows;
        qint64 lastN = -1;   ///< reading.n counts from 0
        qint64 stepMs = 0;   ///< 0 until the session has two samples
        qsizetype counted = 0; ///< the samples added to m_samples for it (under m_mutex)
    };
    using Key = std::tuple<QString, qint64, int>;

    /// The entry of \a key, made when missing; moved to the front of the recent ones.
    std::shared_ptr<Entry> take(const Key& key);
    /// Reads the rows the copy lacks. Called with the entry's lock held.
    static QString fill(Entry& entry, const JournalReader& reader, qint64 session, ListId list);
    /// Counts \a entry's \a size samples, then forgets the lists used longest ago (never
    /// \a key itself) until the samples fit. A copy without samples is not kept.
    void settle(const Key& key, const std::shared_ptr<Entry>& entry, qsizetype size);

    mutable std::mutex m_mutex;
    std::map<Key, std::shared_ptr<Entry>> m_entries;
    std::list<Key> m_recent; ///< most recent first
    qsizetype m_samples = 0;
    qsizetype m_maxSamples;
};

} // namespace pexumo
