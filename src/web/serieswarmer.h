#pragma once

#include "results/listid.h"
#include "web/journalviews.h"
#include "web/seriescache.h"

#include <QList>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace pexumo {

class JournalReader;

/// A list worth reading before anyone asks for its chart.
struct WarmTarget
{
    QString path;
    qint64 session = 0;
    ListId list = ListId::PH;
    qint64 rows = 0;      ///< rows the journal counts in the list
    qint64 startedMs = 0; ///< when its session began: the newest are read first

    friend bool operator==(const WarmTarget&, const WarmTarget&) = default;
};

/// The lists the site page leads to in the journal at \a path: per port the newest session (the
/// one its tile shows), each chart list of it that has rows. Empty with \a error set when the
/// sessions cannot be read.
std::vector<WarmTarget> warmTargets(const QString& path, const JournalReader& reader,
                                    QString* error = nullptr);

/// Reads the charts' lists into a SeriesCache ahead of the first look, so that the first chart
/// of a long run is reduced in memory instead of waiting for a million rows. Works on a thread
/// of its own at a lower priority than the requests, never on the server's event loop; reads
/// the targets of every journal newest session first, as far as the cache has free room
/// (SeriesCache::warm()), and afterwards only the rows added since.
class SeriesWarmer
{
public:
    explicit SeriesWarmer(SeriesCache& cache);
    /// Stops after the list being read.
    ~SeriesWarmer();
    SeriesWarmer(const SeriesWarmer&) = delete;
    SeriesWarmer& operator=(const SeriesWarmer&) = delete;

    /// Reads ahead in \a entries (the journals as listed now). Calls while a pass runs are
    /// merged: one more pass follows, over the newest list of journals.
    void warm(QList<JournalEntry> entries);
    /// Waits until no pass runs or waits (for tests and the bench).
    void waitIdle();
    /// Passes done so far.
    int passes() const;

private:
    void run();
    void pass(const QList<JournalEntry>& entries);

    SeriesCache& m_cache;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::optional<QList<JournalEntry>> m_pending;
    bool m_busy = false;
    bool m_stop = false;
    int m_passes = 0;
    std::thread m_thread;
};

} // namespace pexumo
