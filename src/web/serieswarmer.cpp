#include "web/serieswarmer.h"

#include "journal/journalreader.h"
#include "web/journaldesk.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <map>

namespace pexumo {

std::vector<WarmTarget> warmTargets(const QString& path, const JournalReader& reader,
                                    QString* error)
{
    QString problem;
    const std::vector<JournalSession> sessions = reader.sessions(&problem);
    if (error)
        *error = problem;
    // As the site page: one meter per port, its newest session (sessions come oldest first).
    std::map<QString, const JournalSession*> newest;
    for (const JournalSession& s : sessions)
        if (s.totalRows() > 0 || !s.ended)
            newest[s.port] = &s;
    std::vector<WarmTarget> targets;
    for (const auto& [port, s] : newest)
        for (ListId list : AllLists) {
            const qint64 rows = s->rows[indexOf(list)];
            if (list != ListId::Records && rows > 0)
                targets.push_back({path, s->id, list, rows, s->started.toMSecsSinceEpoch()});
        }
    return targets;
}

SeriesWarmer::SeriesWarmer(SeriesCache& cache) : m_cache(cache)
{
    m_thread = std::thread([this] { run(); });
}

SeriesWarmer::~SeriesWarmer()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void SeriesWarmer::warm(QList<JournalEntry> entries)
{
    {
        const std::lock_guard lock(m_mutex);
        m_pending = std::move(entries);
    }
    m_wake.notify_all();
}

void SeriesWarmer::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_stop || (!m_busy && !m_pending); });
}

int SeriesWarmer::passes() const
{
    const std::lock_guard lock(m_mutex);
    return m_passes;
}

void SeriesWarmer::run()
{
    // Below the requests: a look at a chart never waits for a read ahead. Linux gives each
    // thread a nice value of its own.
    ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), 10);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_pending; });
        if (m_stop)
            break;
        const QList<JournalEntry> entries = std::move(*m_pending);
        m_pending.reset();
        m_busy = true;
        lock.unlock();
        pass(entries);
        lock.lock();
        m_busy = false;
        ++m_passes;
        m_idle.notify_all();
    }
    m_idle.notify_all();
}

void SeriesWarmer::pass(const QList<JournalEntry>& entries)
{
    std::vector<WarmTarget> targets;
    for (const JournalEntry& entry : entries) {
        // A journal that cannot be read is shown with its reason by the site page.
        if (const JournalReader* reader = threadReader(entry.path, nullptr)) {
            const std::vector<WarmTarget> more = warmTargets(entry.path, *reader);
            targets.insert(targets.end(), more.begin(), more.end());
        }
    }
    std::stable_sort(targets.begin(), targets.end(), [](const WarmTarget& a, const WarmTarget& b) {
        return a.startedMs > b.startedMs;
    });
    for (const WarmTarget& t : targets) {
        {
            const std::lock_guard lock(m_mutex);
            if (m_stop)
                return;
        }
        if (const JournalReader* reader = threadReader(t.path, nullptr))
            m_cache.warm(t.path, *reader, t.session, t.list, t.rows);
    }
}

} // namespace pexumo
