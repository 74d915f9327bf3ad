#include "journal/diskwatch.h"

#include <QDateTime>
#include <QStorageInfo>

#include <algorithm>
#include <mutex>
#include <thread>

namespace pexumo {

namespace {

constexpr qint64 BytesPerMB = 1024 * 1024;

std::optional<qint64> freeBytesOf(const QString& folder)
{
    const QStorageInfo storage(folder);
    if (!storage.isValid() || !storage.isReady())
        return std::nullopt;
    return storage.bytesAvailable();
}

qint32 offsetAt(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc();
}

} // namespace

/// What a look's thread shares with the watch: the watch while it lives. The thread asks the
/// file system without it, then hands the answer over under the lock, so the watch never goes
/// away in the middle of that.
struct DiskWatch::Probe
{
    std::mutex mutex;
    DiskWatch* watch = nullptr;
};

DiskWatch::DiskWatch(const QString& folder, int minFreeMB, QObject* parent)
    : DiskWatch(folder, minFreeMB, freeBytesOf, &QDateTime::currentMSecsSinceEpoch, parent)
{
}

DiskWatch::DiskWatch(const QString& folder, int minFreeMB, Measure measure, Clock clock,
                     QObject* parent)
    : QObject(parent), m_folder(folder), m_minFreeMB(minFreeMB), m_measure(std::move(measure)),
      m_clock(std::move(clock)), m_probe(std::make_shared<Probe>())
{
    m_probe->watch = this;
    connect(&m_timer, &QTimer::timeout, this, &DiskWatch::check);
}

DiskWatch::~DiskWatch()
{
    std::lock_guard lock(m_probe->mutex);
    m_probe->watch = nullptr;
}

void DiskWatch::start(int intervalMs)
{
    if (intervalMs > 0)
        m_timer.start(intervalMs);
    check();
}

void DiskWatch::check()
{
    if (m_waiting)
        return;
    m_waiting = true;
    // A thread per look: a look that hangs (a dead network share) holds up no other work and
    // no exit; the next look waits for its answer.
    std::thread([probe = m_probe, measure = m_measure, folder = m_folder] {
        const std::optional<qint64> freeBytes = measure(folder);
        std::lock_guard lock(probe->mutex);
        if (DiskWatch* watch = probe->watch)
            QMetaObject::invokeMethod(
                watch, [watch, freeBytes] { watch->answered(freeBytes); }, Qt::QueuedConnection);
    }).detach();
}

void DiskWatch::answered(std::optional<qint64> freeBytes)
{
    m_waiting = false;
    if (const std::optional<AlarmEvent> event = take(freeBytes, m_clock()))
        emit alarmChanged(*event);
}

qint64 DiskWatch::clearAtMB(int minFreeMB)
{
    return qint64(minFreeMB) + std::max(1, minFreeMB / 20);
}

std::optional<AlarmEvent> DiskWatch::take(std::optional<qint64> freeBytes, qint64 nowMs)
{
    if (!freeBytes)
        return std::nullopt;
    const double freeMB = double(std::max<qint64>(*freeBytes, 0) / BytesPerMB);
    const qint32 offset = offsetAt(nowMs);
    if (!m_alarm) {
        if (freeMB >= m_minFreeMB)
            return std::nullopt;
        ActiveAlarm alarm;
        alarm.disk = true;
        alarm.side = AlarmSide::Below;
        alarm.value = alarm.worst = freeMB;
        alarm.limit = m_minFreeMB;
        alarm.sinceMs = alarm.raisedMs = nowMs;
        alarm.utcOffsetSec = offset;
        m_alarm = alarm;
        return AlarmEvent{AlarmChange::Raise, alarm, nowMs, offset};
    }
    m_alarm->value = freeMB;
    m_alarm->worst = std::min(m_alarm->worst, freeMB);
    if (freeMB < double(clearAtMB(m_minFreeMB)))
        return std::nullopt;
    const AlarmEvent cleared{AlarmChange::Clear, *m_alarm, nowMs, offset};
    m_alarm.reset();
    return cleared;
}

} // namespace pexumo
