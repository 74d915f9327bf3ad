#pragma once

#include "publish/outbox.h"

#include <QString>

#include <chrono>
#include <memory>
#include <mutex>

namespace pexumo {

/// The journal as the publisher's outbox: the rows to publish are the journal's rows, in the
/// order of their sessions and within a session of their number (seq = reading.n + 1), and how
/// far the broker acknowledged them is kept in the journal itself (table mqtt_acked, per
/// session), so that neither a broker away for hours nor a killed program loses a row: what was
/// not acknowledged is sent again, in order, after a reconnect or at the next start. The
/// alarms' rises and clears are read from the table alarm and marked there once acknowledged.
///
/// - The sessions published are this program's own (\a ownSession given to the constructor)
///   and, before it, the earlier runs of the same program (the same \a writer: the window, or
///   the logger of the same port) that ended, or whose process is gone, with rows the broker
///   has not acknowledged. A run another program writes, or wrote, is published by that
///   program or not at all; so is a run of the same program still going on in another
///   process. The own session is never left, so its rows go out as they come.
/// - A journal that was never published starts at the own session: the runs before
///   publishing was set up are not sent to a new broker. That start is stored at the first
///   attach().
/// - A session that restored an earlier one begins with copies of its rows; those went out
///   under the earlier session, so the session's own rows start after them (seq k + 1 for k
///   restored rows).
/// - The acknowledged position is written at most every SaveInterval and at detach(): after a
///   kill the rows of the last second may be sent again, never skipped.
///
/// All calls but rowsCommitted() come from the publisher's thread, as Outbox says: attach()
/// opens a connection of its own to the file there.
class JournalOutbox final : public Outbox
{
public:
    /// How often the acknowledged position is written while it moves.
    static constexpr std::chrono::milliseconds SaveInterval{1000};

    /// The program whose runs an outbox publishes: the session's "program" and, for a logger,
    /// the port it reads ("" for any port, as the window's runs go from port to port).
    struct Writer
    {
        QString program;
        QString port;
    };

    /// Nothing is opened before attach().
    JournalOutbox(const QString& path, qint64 ownSession, Writer writer);
    ~JournalOutbox() override;
    JournalOutbox(const JournalOutbox&) = delete;
    JournalOutbox& operator=(const JournalOutbox&) = delete;

    /// New rows may be in the file: wakes the publisher while one is attached. Any thread;
    /// the journal's commit hook (Journal::setCommitHook).
    void rowsCommitted();

    QString attach(std::function<void()> wake) override;
    void detach() override;
    std::vector<OutboxRow> after(OutboxPosition from, int limit) override;
    qint64 countAfter(OutboxPosition from) override;
    void acknowledged(OutboxPosition upTo) override;
    OutboxPosition acknowledgedPosition() override;
    std::vector<OutboxAlarm> alarmsWaiting(const std::vector<OutboxAlarm>& skip,
                                           int limit) override;
    void alarmAcknowledged(const OutboxAlarm& alarm) override;
    QString problem() override { return m_problem; }

private:
    struct Connection;
    bool save();
    /// The session published after \a session; 0 after the own one.
    qint64 nextSession(qint64 session) const;
    bool publishes(qint64 session) const;

    const QString m_path;
    const qint64 m_ownSession;
    const Writer m_writer;
    std::vector<qint64> m_sessions; ///< the sessions published, oldest first, the own one last
    std::vector<OutboxAlarm> m_alarmAcks; ///< acknowledged alarms not yet marked in the file
    std::unique_ptr<Connection> m_db;
    OutboxPosition m_acked; ///< the latest acknowledgement
    OutboxPosition m_saved; ///< the latest one written to the file
    std::chrono::steady_clock::time_point m_lastSave;
    QString m_problem;

    std::mutex m_wakeMutex; ///< held while the wake runs, so that detach() can wait it out
    std::function<void()> m_wake;
};

} // namespace pexumo
