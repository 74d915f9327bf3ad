#pragma once

#include "web/journalviews.h"
#include "web/seriescache.h"
#include "web/serieswarmer.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QThread>
#include <QThreadPool>

#include <functional>
#include <memory>

class QTimer;

namespace pexumo {

/// The journal files to show: the files named, and the *.sqlite files of the folders named
/// (looked at again while running, so a new logger's journal shows up without a restart).
QList<JournalEntry> scanJournals(const QStringList& files, const QStringList& folders);

/// The reader of this thread for the journal at \a path, opened on first use and kept; opened
/// again when the file was replaced or a writer started on a file read as unchanging. Null with
/// \a error set when the file cannot be read (tried again after two seconds).
const JournalReader* threadReader(const QString& path, QString* error);

/// Watches the journals on a thread of its own: every 250 ms it asks each file's data_version
/// (a read of SQLite's shared index, no lock kept) and reports the journals that changed; every
/// 2 s it looks at the folders for new files, and reports all journals every 5 s, so that what
/// changes with the clock alone (a logger that was killed) reaches the pages as well.
class JournalWatch : public QObject
{
    Q_OBJECT
public:
    JournalWatch(QStringList files, QStringList folders, int pollMs = 250);
    /// Starts the timers; called on the watch's thread.
    void start();

Q_SIGNALS:
    /// The journals (\a entries, all of them) and the ids of those that changed.
    void changed(const QList<pexumo::JournalEntry>& entries, const QStringList& ids);

private:
    void poll();

    QStringList m_files;
    QStringList m_folders;
    int m_pollMs;
    QTimer* m_timer = nullptr;
    QList<JournalEntry> m_entries;
    QHash<QString, qint64> m_versions;
    int m_ticks = 0;
};

/// Where the requests read the journals: a pool of two threads, each with its own read-only
/// connections, the watch, and the warmer that reads the newest runs' charts ahead (whenever
/// the watch reports a change). Lives on the server's thread; answers come back to it.
class JournalDesk : public QObject
{
    Q_OBJECT
public:
    JournalDesk(const QStringList& files, const QStringList& folders, QObject* parent = nullptr);
    ~JournalDesk() override;

    /// The journals as the watch saw them last.
    const QList<JournalEntry>& entries() const { return m_entries; }
    /// The journal of \a id; none for an id of no listed journal.
    std::optional<JournalEntry> entry(const QString& id) const;

    SeriesCache& series() { return m_series; }
    SeriesWarmer& warmer() { return *m_warmer; }

    /// Runs \a work on the pool and hands its result to \a done on this object's thread (not
    /// when this object is gone by then).
    template <typename Work, typename Done>
    void read(Work work, Done done)
    {
        QPointer<JournalDesk> self(this);
        m_pool.start([self, work = std::move(work), done = std::move(done)]() mutable {
            auto result = work();
            if (self)
                QMetaObject::invokeMethod(
                    self.data(),
                    [self, result = std::move(result), done = std::move(done)]() mutable {
                        if (self)
                            done(std::move(result));
                    },
                    Qt::QueuedConnection);
        });
    }

Q_SIGNALS:
    /// Journals \a ids changed (all of them at the watch's regular look).
    void changed(const QStringList& ids);

private:
    QList<JournalEntry> m_entries;
    SeriesCache m_series;
    std::unique_ptr<SeriesWarmer> m_warmer; ///< reads into m_series, so goes before it
    QThreadPool m_pool;
    QThread m_watchThread;
};

} // namespace pexumo
