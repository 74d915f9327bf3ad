#pragma once

#include "publish/outbox.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace pexumo {

/// An outbox in memory, for tests and measurements: rows are added from any thread, and it
/// outlives publishers, so a new publisher on it behaves as one after a restart.
class MemoryOutbox final : public Outbox
{
public:
    /// Adds a row to \a session, numbered one after the session's last row; returns its
    /// position. Sessions come in increasing order. Any thread.
    OutboxPosition add(qint64 session, ListId list, const ResultRecord& record);
    /// Adds an alarm's rise or clear; returns its name in the outbox. Any thread.
    OutboxAlarm addAlarm(qint64 session, qint64 n, const AlarmEvent& event);
    /// Waits until the publisher acknowledged \a position; false when \a timeout passed first.
    /// Any thread.
    bool waitAcknowledged(OutboxPosition position, std::chrono::milliseconds timeout);

    QString attach(std::function<void()> wake) override;
    void detach() override;
    std::vector<OutboxRow> after(OutboxPosition from, int limit) override;
    qint64 countAfter(OutboxPosition from) override;
    void acknowledged(OutboxPosition upTo) override;
    OutboxPosition acknowledgedPosition() override;
    std::vector<OutboxAlarm> alarmsWaiting(const std::vector<OutboxAlarm>& skip,
                                           int limit) override;
    void alarmAcknowledged(const OutboxAlarm& alarm) override;

private:
    std::vector<OutboxRow>::const_iterator firstAfter(OutboxPosition from) const;

    std::mutex m_mutex;
    std::condition_variable m_acknowledgedChanged;
    std::vector<OutboxRow> m_rows;     ///< in position order
    std::vector<OutboxAlarm> m_alarms; ///< not acknowledged, in order of adding
    OutboxPosition m_acknowledged;
    std::function<void()> m_wake;
};

} // namespace pexumo
