#pragma once

#include "alarm/alarmsettings.h"

#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <array>
#include <optional>
#include <vector>

namespace pexumo {

/// Where an alarm's value lies: below the low limit, above the high one, or no frame at all.
enum class AlarmSide
{
    Below,
    Above,
    NoReading
};

/// Why no frame comes, as the no-reading alarm tells it.
enum class NoReadingCause
{
    Silent,   ///< the port is open, but the meter sends nothing (switched off, cable broken)
    LineLost, ///< the line was lost (a pulled cable) and the meter is waited for
    NotOpen   ///< the port does not open: no meter there yet
};

/// The cause as one word, for the alarm command, the journal and the broker: "silent", "lost",
/// "unopened".
QString noReadingCauseWord(NoReadingCause cause);
/// The other way round; none for any other text (a journal's empty cause, a hand-edited one).
std::optional<NoReadingCause> noReadingCauseFromWord(QStringView word);
/// The cause as the note says it: "the meter sends nothing", "the line is lost", "the port does
/// not open".
QString noReadingCauseText(NoReadingCause cause);

/// An alarm that is up, as the control bar's note shows it.
struct ActiveAlarm
{
    /// The parameter beyond its limit; none for the no-reading alarm and the disk alarm.
    std::optional<AlarmParameter> parameter;
    AlarmSide side = AlarmSide::Below;
    /// The latest value in alarmUnit(); for no reading the seconds since the last frame.
    double value = 0;
    /// The limit crossed; for no reading NoReadingSeconds.
    double limit = 0;
    /// The furthest beyond the limit since sinceMs: the lowest value below, the highest above,
    /// the longest silence.
    double worst = 0;
    /// The first sample beyond the limit; for no reading the last frame, or the start of the
    /// watch when no frame came since. Milliseconds since 1970 UTC, as every stamp here.
    qint64 sinceMs = 0;
    qint64 raisedMs = 0;     ///< when the alarm rose
    qint32 utcOffsetSec = 0; ///< the local offset from UTC at sinceMs, for the note's time
    /// For no reading: why no frame comes, as the line watch saw it last. None for the other
    /// alarms, and for a no-reading alarm read back from a journal that did not keep it.
    std::optional<NoReadingCause> cause = std::nullopt;
    /// The disk alarm (DiskWatch): the journal's file system has less free space than
    /// MinFreeMB. Side Below; value, limit and worst in MB.
    bool disk = false;

    /// "pH" ... "Temp", "NoReading", or "Disk".
    QString name() const;
    /// The other way round, for an alarm read back from where it was kept (the journal): sets
    /// the parameter and the disk flag by the name; any other name is taken for no reading.
    void setName(QStringView name);
    /// alarmUnit() of the parameter, "s" for no reading, "MB" for the disk.
    QString unit() const;

    friend bool operator==(const ActiveAlarm&, const ActiveAlarm&) = default;
};

enum class AlarmChange
{
    Raise,
    Clear
};

/// A rise or a clear. For a rise, alarm.value is the value that raised it; for a clear, the
/// value at the clear (back inside, or the last one when the limit went away) and alarm.worst
/// the worst value while it was up.
struct AlarmEvent
{
    AlarmChange change = AlarmChange::Raise;
    ActiveAlarm alarm;
    qint64 atMs = 0;         ///< when it happened
    qint32 utcOffsetSec = 0; ///< the local offset from UTC at atMs

    friend bool operator==(const AlarmEvent&, const AlarmEvent&) = default;
};

/// The side as the journal's readers write it: "below", "above", or "silent" for no reading.
QString alarmSideWord(AlarmSide side);

/// The bar's note of an alarm that is up, in the local time of its start:
/// "ALARM DO 3.10 mg/L below 4.0 since 02:13:07",
/// "ALARM no reading since 02:13:07: the meter sends nothing" ("ALARM no reading since
/// 02:13:07" when the cause is not known),
/// "ALARM Disk 150 MB free, below 200 MB since 02:13:07".
QString alarmNote(const ActiveAlarm& alarm, NumberFormat format = NumberFormat::current());

/// The line that tells of a new cause of the no-reading alarm while it is up:
/// "no reading since 17:20:03: now the line is lost".
QString noReadingCauseChangeText(const ActiveAlarm& alarm);

/// One line for an event, for notifications and logs: a rise as alarmNote(); a clear as
/// "CLEAR DO 4.25 mg/L, below 4.0 from 02:13:07 to 02:20:11, lowest 2.95",
/// "CLEAR no reading from 02:13:07 to 02:20:11" or
/// "CLEAR Disk 950 MB free, below 200 MB from 02:13:07 to 02:20:11, lowest 120 MB".
QString alarmEventText(const AlarmEvent& event, NumberFormat format = NumberFormat::current());

/// The alarm rules, without a clock or a timer: every call brings its time as milliseconds
/// since 1970 UTC and returns the events it caused, oldest first (usually none). The window
/// and a headless logger drive it alike:
///
///     for (const AlarmEvent& e : monitor.sample(plan.target, plan.y, nowMs)) ...
///     if (plan.hasTemp) monitor.temperature(plan.tempY, plan.row.TempUnit, nowMs);
///     monitor.frameArrived(nowMs);                 // every decoded frame
///     monitor.check(nowMs, connectedOrWaiting, cause); // at least once a second while
///                                                  // watching, once with false when the user
///                                                  // disconnects
///
/// The rules:
/// - A value is beyond a limit when it is below low or above high; equal is inside.
/// - Delay: an excursion starts at the first sample beyond a limit; the alarm rises at the
///   first sample still beyond it DelaySeconds or more after that start. Once up, it clears at
///   the first sample inside DelaySeconds or more after the first sample back inside; a sample
///   beyond again in between starts that count anew. Only samples decide, and only samples of
///   the alarm's own parameter: an alarm stays up while the meter measures something else.
///   With a delay of 0 the first sample beyond raises, the first inside clears.
/// - The first sample after start, or after a watch ended, starts an excursion like any other:
///   a value already beyond its limit rises after the delay, never at once.
/// - A value that jumps from below low to above high (or back) while the alarm is up was never
///   inside: the alarm of the old side clears and the other side's rises at the same sample,
///   since then. Before the rise, such a jump keeps the excursion's start.
/// - Stamps that go backwards (the clock was set back) start the count anew from there.
/// - No reading: while watching, an alarm when no frame came for NoReadingSeconds (counted
///   from the last frame, or from the start of the watch when none came since); the next frame
///   clears it at once, as does the end of the watch (check() with watching false, the user
///   disconnected) and NoReadingSeconds 0. The end of a watch also forgets excursions that have
///   not risen yet and clears that are still counting; limit alarms that are up stay up. The
///   alarm tells why no frame comes (NoReadingCause), as the latest look saw it: a look with
///   another cause changes the cause of the alarm that is up (no event; the caller compares
///   active() before and after). A run that ends with its line (lineEnded()) raises it at once,
///   without waiting for NoReadingSeconds, and leaves it up; one that is up already takes the
///   cause of the end.
/// - New settings at any time: an alarm whose side lost its limit clears at once; one whose
///   limit moved stays up with the new limit and clears by the samples that follow. Excursions
///   of a parameter whose limits changed start anew.
/// - Temperature limits are in C; a Fahrenheit reading is converted, a reading in any other
///   unit is ignored.
class AlarmMonitor
{
public:
    explicit AlarmMonitor(const AlarmSettings& settings = AlarmSettings());

    using Events = std::vector<AlarmEvent>;

    /// A routed sample of \a parameter (SamplePlan::y: COND in us, TDS and Salt in ppm).
    Events sample(Parameter parameter, double routedValue, qint64 stampMs);
    /// The temperature of a reading, in \a unit "C" or "F".
    Events temperature(double value, QStringView unit, qint64 stampMs);
    /// A frame came from the meter (any frame: live, record or halt).
    Events frameArrived(qint64 stampMs);
    /// The no-reading rule. \a watching: the port is connected, or the meter or the port is
    /// waited for; \a cause says which.
    Events check(qint64 nowMs, bool watching, NoReadingCause cause = NoReadingCause::Silent);
    /// The line is gone and the run ends with it (nobody will connect again): no frame will
    /// come, so the no-reading alarm rises now, unless NoReadingSeconds is 0; one that is up
    /// already takes \a cause.
    Events lineEnded(qint64 nowMs, NoReadingCause cause);
    /// Takes new settings; the rules above say what happens to alarms that are up.
    Events setSettings(const AlarmSettings& settings, qint64 nowMs);

    const AlarmSettings& settings() const { return m_settings; }
    /// The alarms that are up, the parameters in their order, then no reading.
    std::vector<ActiveAlarm> active() const;
    bool anyActive() const;

private:
    // One parameter's state. While not up, an excursion may be counting (pending); while up, a
    // return inside may be counting (returning).
    struct Watch
    {
        bool up = false;
        bool pending = false;
        bool returning = false;
        qint64 countSinceMs = 0; ///< start of the pending excursion or of the return
        ActiveAlarm alarm;       ///< the alarm while up; side and worst of the excursion before
    };

    Events observe(AlarmParameter parameter, double value, qint64 stampMs);
    Events raiseNoReading(qint64 nowMs, qint64 quietSinceMs, NoReadingCause cause);
    Events clearNoReading(qint64 nowMs);
    static AlarmEvent event(AlarmChange change, const ActiveAlarm& alarm, qint64 atMs);

    AlarmSettings m_settings;
    qint64 m_delayMs = 0;
    std::array<Watch, AlarmParameterCount> m_watches{};
    std::optional<qint64> m_lastFrameMs;
    std::optional<qint64> m_watchStartMs; ///< set while watching
    std::optional<ActiveAlarm> m_noReading;
};

} // namespace pexumo
