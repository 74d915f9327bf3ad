#pragma once

#include "alarm/alarmmonitor.h"
#include "journal/journalfile.h"
#include "results/resultbook.h"
#include "results/resultrecord.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

namespace pexumo {

/// The journal of one run: every listed row goes to an SQLite file, where it survives a crash,
/// a kill or a power cut. The calls below only queue their work and return at once; a writer
/// thread with its own connection commits the queue in batches, at least once every
/// BatchWindowMs, so the caller never waits for the disk. Once the file cannot be written (full
/// disk, read-only or damaged file) the journal is off for the rest of the run: failed() tells
/// why once, and later calls are dropped. While another program holds the file's lock the
/// writer keeps its batches and tries again (stallReason(), pendingRows()). Every wait of the
/// caller (flush(), close(), the destructor) is bounded. All calls must come from one thread.
class Journal : public QObject, public RowSink
{
    Q_OBJECT
public:
    /// Rows queued within this time after the first go into one commit.
    static constexpr int BatchWindowMs = 200;
    /// The longest one attempt to commit waits for another program's lock.
    static constexpr int LockWaitMs = 250;
    /// How long close() and the destructor wait for the writer unless told otherwise.
    static constexpr int DefaultCloseTimeoutMs = 5000;

    explicit Journal(QObject* parent = nullptr);
    /// Commits what is queued within DefaultCloseTimeoutMs and stops the writer. The session
    /// stays "did not close" unless close(true) was called.
    ~Journal() override;

    /// Opens (or creates) the file at \a path and starts a session that began at \a started,
    /// written by \a program (WindowProgram or LoggerProgram).
    /// Only a journal file is used: any other file stays as it is and the journal is off with
    /// "<path> is not a Pexumo journal". A damaged journal is first moved aside (see
    /// moveDamagedJournalAside) and a new one made.
    /// Sessions that ended more than \a keepDays days before \a started are removed in the
    /// background once each of their rows is kept elsewhere (OldSession::expires()). Waits for
    /// the file to open; returns "" when on, else the reason it is off.
    QString open(const QString& path, int keepDays,
                 const QDateTime& started = QDateTime::currentDateTime(),
                 const QString& program = QString::fromLatin1(WindowProgram));

    bool isOn() const { return m_on.load(); }
    /// Why the journal is off; "" while it is on or before open().
    QString offReason() const;
    /// The journal file, once open() was called.
    QString path() const { return m_path; }
    /// The id of this run's session; 0 until open() succeeded.
    qint64 session() const { return m_session; }
    /// Where open() moved a damaged file; "" when it did not.
    QString movedAside() const { return m_movedAside; }

    /// Queues a row added to \a list.
    void add(ListId list, const ResultRecord& record);
    /// Queues that the first \a rows rows of \a list are now saved in a file.
    void markSaved(ListId list, qint64 rows);

    // The rows and saves of a ResultBook whose sink this journal is.
    void rowAdded(ListId list, const ResultRecord& row) override { add(list, row); }
    void rowsSaved(ListId list, qint64 rows) override { markSaved(list, rows); }
    /// Queues the port this session reads from.
    void setPort(const QString& port);
    /// Queues that the user was asked to restore \a session, so it is not offered again.
    void markOffered(qint64 session);
    /// Queues an alarm that rose; its row in the journal is completed by alarmCleared().
    void alarmRaised(const AlarmEvent& event);
    /// Queues the clear of an alarm raised in this session: its clear time and value and the
    /// worst value while it was up.
    void alarmCleared(const AlarmEvent& event);
    /// Queues the new cause of the no-reading alarm \a alarm, which is up (see
    /// MeterRun::noReadingCauseChanged): the journal keeps the latest.
    void alarmCauseChanged(const ActiveAlarm& alarm);
    /// Queues the alarm command's one-line result (see AlarmCommand) for the rise or clear
    /// \a event.
    void alarmCommandFinished(const AlarmEvent& event, const QString& result);
    /// Queues a copy of all rows and saved counts of \a session into this one: the lists were
    /// restored from it. \a rows is its number of rows; rows added afterwards follow them.
    /// Must come before any add().
    void adopt(qint64 session, qint64 rows);
    /// Ends the session, \a clean for a normal close, commits everything and stops the writer.
    /// Returns within about \a timeoutMs (plus at most LockWaitMs), also while another program
    /// holds the file's lock; the session then stays "did not close". Returns the number of
    /// rows that never reached the file (0 normally): held out by a lock, or lost to a failure.
    qint64 close(bool clean, int timeoutMs = DefaultCloseTimeoutMs);

    /// Waits until everything queued so far is committed or dropped; false on timeout.
    bool flush(int timeoutMs = 30000);
    /// Rows committed to the file since open().
    qint64 committedRows() const;
    /// Rows handed to add() and not committed: waiting for the writer, held out by another
    /// program's lock, or lost when the journal went off.
    qint64 pendingRows() const;
    /// \a hook is called on the writer thread after each commit, so that a reader of the file
    /// (the outbox of the publisher) learns of new rows without asking; it must return at once.
    /// Once this returns with another hook (or none) the old one is no longer called. Only
    /// after open() succeeded; an empty function for none.
    void setCommitHook(std::function<void()> hook);

    /// Why commits fail at the moment while they are being retried, such as "<path> is locked
    /// by another program"; "" while they succeed.
    QString stallReason() const;

signals:
    /// The journal went off while running; emitted once, on the thread that owns the journal.
    void failed(const QString& reason);

private:
    struct Writer;
    void fail(const QString& reason);

    std::unique_ptr<Writer> m_writer;
    std::atomic<bool> m_on{false};
    QString m_path;
    QString m_movedAside;
    qint64 m_session = 0;
    qint64 m_nextRow = 0;   ///< the order number of the next row across all lists
    qint64 m_nextAlarm = 0; ///< the order number of the next alarm that rises
};

} // namespace pexumo
