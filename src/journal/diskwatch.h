#pragma once

#include "alarm/alarmmonitor.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace pexumo {

/// The disk alarm: watches the free space of the file system that holds the journal, so that a
/// filling disk is heard of long before the journal goes off for want of space. The alarm
/// "Disk" rises at the first look that finds less than MinFreeMB megabytes (of 1024 x 1024
/// bytes, as df -m counts them) free, and clears at the first look that finds at least
/// clearAtMB() free again; the margin keeps a disk at the edge, where the journal's log grows
/// and shrinks, from raising it again and again.
///
/// Asking the file system is a disk call that may wait (a slow or hung network share): each
/// look runs on a thread of its own, never on the caller's, and its answer comes back through
/// the event loop. A look that cannot be answered changes nothing.
class DiskWatch : public QObject
{
    Q_OBJECT
public:
    /// How often the free space is looked at.
    static constexpr int CheckIntervalMs = 30000;

    /// The free bytes of the file system that holds \a folder; none when it cannot be told.
    using Measure = std::function<std::optional<qint64>(const QString& folder)>;
    /// Milliseconds since 1970 UTC.
    using Clock = std::function<qint64()>;

    /// Watches the file system of \a folder against \a minFreeMB (above 0), with the file
    /// system's own answer (QStorageInfo) and the system clock.
    DiskWatch(const QString& folder, int minFreeMB, QObject* parent = nullptr);
    DiskWatch(const QString& folder, int minFreeMB, Measure measure, Clock clock,
              QObject* parent = nullptr);
    /// Answers still on their way are dropped; a look in progress ends on its own.
    ~DiskWatch() override;

    /// Looks now, then every \a intervalMs (0: only when check() is called).
    void start(int intervalMs = CheckIntervalMs);
    /// Looks now, unless a look is still waiting for its answer.
    void check();

    /// Takes the answer of a look at \a nowMs, \a freeBytes free (none: no answer), and returns
    /// the rise or clear it causes.
    std::optional<AlarmEvent> take(std::optional<qint64> freeBytes, qint64 nowMs);

    /// The disk alarm while it is up.
    const std::optional<ActiveAlarm>& active() const { return m_alarm; }
    int minFreeMB() const { return m_minFreeMB; }
    /// The free megabytes that clear the alarm: \a minFreeMB and a twentieth (at least 1) more.
    static qint64 clearAtMB(int minFreeMB);

signals:
    /// The disk alarm rose or cleared.
    void alarmChanged(const pexumo::AlarmEvent& event);

private:
    struct Probe;
    void answered(std::optional<qint64> freeBytes);

    QString m_folder;
    int m_minFreeMB;
    Measure m_measure;
    Clock m_clock;
    QTimer m_timer;
    std::shared_ptr<Probe> m_probe;
    bool m_waiting = false; ///< a look is out and its answer not yet taken
    std::optional<ActiveAlarm> m_alarm;
};

} // namespace pexumo
