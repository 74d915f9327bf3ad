#include "publish/memoryoutbox.h"

#include <algorithm>

namespace pexumo {

OutboxPosition MemoryOutbox::add(qint64 session, ListId list, const ResultRecord& record)
{
    std::lock_guard lock(m_mutex);
    OutboxPosition position{session, 1};
    if (!m_rows.empty() && m_rows.back().position.session == session)
        position.seq = m_rows.back().position.seq + 1;
    Q_ASSERT(m_rows.empty() || m_rows.back().position < position);
    m_rows.push_back(OutboxRow{position, list, record, {}});
    // Called under the lock, so that detach() cannot return while a wake is running.
    if (m_wake)
        m_wake();
    return position;
}

OutboxAlarm MemoryOutbox::addAlarm(qint64 session, qint64 n, const AlarmEvent& event)
{
    std::lock_guard lock(m_mutex);
    m_alarms.push_back({session, n, event});
    if (m_wake)
        m_wake();
    return m_alarms.back();
}

std::vector<OutboxAlarm> MemoryOutbox::alarmsWaiting(const std::vector<OutboxAlarm>& skip,
                                                     int limit)
{
    std::lock_guard lock(m_mutex);
    std::vector<OutboxAlarm> waiting;
    for (const OutboxAlarm& alarm : m_alarms)
        if (std::ssize(waiting) < limit && std::find(skip.begin(), skip.end(), alarm) == skip.end())
            waiting.push_back(alarm);
    return waiting;
}

void MemoryOutbox::alarmAcknowledged(const OutboxAlarm& alarm)
{
    std::lock_guard lock(m_mutex);
    std::erase(m_alarms, alarm);
}

bool MemoryOutbox::waitAcknowledged(OutboxPosition position, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_acknowledgedChanged.wait_for(lock, timeout,
                                          [&] { return m_acknowledged >= position; });
}

QString MemoryOutbox::attach(std::function<void()> wake)
{
    std::lock_guard lock(m_mutex);
    m_wake = std::move(wake);
    return {};
}

void MemoryOutbox::detach()
{
    std::lock_guard lock(m_mutex);
    m_wake = nullptr;
}

std::vector<OutboxRow>::const_iterator MemoryOutbox::firstAfter(OutboxPosition from) const
{
    return std::upper_bound(
        m_rows.begin(), m_rows.end(), from,
        [](const OutboxPosition& p, const OutboxRow& row) { return p < row.position; });
}

std::vector<OutboxRow> MemoryOutbox::after(OutboxPosition from, int limit)
{
    std::lock_guard lock(m_mutex);
    const auto first = firstAfter(from);
    const auto last = first + std::min<std::ptrdiff_t>(limit, m_rows.end() - first);
    return {first, last};
}

qint64 MemoryOutbox::countAfter(OutboxPosition from)
{
    std::lock_guard lock(m_mutex);
    return m_rows.end() - firstAfter(from);
}

void MemoryOutbox::acknowledged(OutboxPosition upTo)
{
    {
        std::lock_guard lock(m_mutex);
        m_acknowledged = std::max(m_acknowledged, upTo);
    }
    m_acknowledgedChanged.notify_all();
}

OutboxPosition MemoryOutbox::acknowledgedPosition()
{
    std::lock_guard lock(m_mutex);
    return m_acknowledged;
}

} // namespace pexumo
