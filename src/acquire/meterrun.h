#pragma once

#include "acquire/runcontrol.h"
#include "acquire/sampleroute.h"
#include "alarm/alarmmonitor.h"
#include "base/config.h"
#include "link/currentreading.h"
#include "link/framestream.h"
#include "link/meterframe.h"
#include "results/listid.h"
#include "results/resultrecord.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <algorithm>
#include <functional>
#include <optional>

namespace pexumo {

class ResultBook;
class RunTimer;
class TComPort;

/// One run of the meter, whatever shows it: bytes from the port become frames, a live frame
/// becomes the current reading, every tick of the sampling timer turns the current reading into a
/// stamped row of its list, a memory record becomes a row of the records list, and a pulled cable
/// is waited out. The window and the logger feed it what happens (the user's requests, the port's
/// bytes and losses, the timers' ticks) and draw or print what it signals.
///
/// A tick samples a reading only while it is fresh: one that arrived more than StaleSeconds ago
/// (a meter switched off while the port stays open) is no measurement of now, and the tick lists
/// nothing until the meter sends again.
///
/// The run also watches the alarm limits: every sample is checked against them, and while the
/// port is open, or the meter or the port is waited for, the line watch looks once a second
/// whether frames still come.
///
/// The run switches the sampling timer and the line watch timer itself; their owner delivers
/// their timeouts to tick() and watchLine(). Rows go into the ResultBook, which hands them on to
/// the journal. Everything happens on the thread that owns the run; nothing waits.
class MeterRun : public QObject
{
    Q_OBJECT
public:
    /// \a sampleTimer paces the samples; \a watchTimer watches the line once a second. None of
    /// the four is owned.
    MeterRun(TComPort& port, ResultBook& book, RunTimer& sampleTimer, RunTimer& watchTimer,
             QObject* parent = nullptr);

    /// The instant a sample or an arriving memory record is stamped with; its local time of day
    /// is the Time column's text. Default: now, in the local time zone.
    std::function<QDateTime()> clock;
    /// Milliseconds on a clock that is never set (the age of a reading is measured on it, so
    /// that a change of the system's time neither ages nor freshens readings). Default: since
    /// the run was made.
    std::function<qint64()> monotonicMs;

    /// On (the default): after a lost line, wait for the same meter and go on by itself. Off: the
    /// run goes to the disconnected state and the user connects again.
    void setAutoReconnect(bool on) { m_autoReconnect = on; }

    /// Off (the default, the window): the meter's halt frame pauses sampling until the user
    /// clicks Go. On (the logger, which has no user to click): the next live frame goes on as Go
    /// would, so a halt never ends an unattended run for good.
    void setGoOnLiveAfterHalt(bool on) { m_goOnLiveAfterHalt = on; }

    /// A tick samples the reading only when it arrived at most \a seconds ago (config.ini's
    /// StaleSeconds, default 10); 0 samples any reading, however old.
    void setStaleSeconds(int seconds) { m_staleMs = qint64(std::max(seconds, 0)) * 1000; }
    /// True from a tick that found the reading stale to the next tick that samples.
    bool readingStale() const { return m_stale; }
    /// When the stale reading arrived, while readingStale().
    QDateTime staleSince() const { return m_staleSince; }

    /// Off (the default, the window): a lost line that is not waited for (AutoReconnect off)
    /// ends the watch like a Disconnect, and a no-reading alarm clears. On (the logger, whose
    /// run ends with the line): the no-reading alarm rises at once and stays up, so that it is
    /// told, and its command run, before the end.
    void setAlarmWhenLineEnds(bool on) { m_alarmWhenLineEnds = on; }

    /// The alarm limits, delay and no-reading time from now on; alarms whose limit went away
    /// clear at once.
    void setAlarmSettings(const AlarmSettings& settings);
    /// The alarm rules and the alarms that are up.
    const AlarmMonitor& alarms() const { return m_alarms; }

    const RunState& state() const { return m_control.state(); }
    const CurrentReading& reading() const { return m_reading; }
    TComPort& port() const { return m_port; }
    /// Bytes of the line discarded as damaged since the user last connected. Bytes before the
    /// first frame after the port opens are the tail of a frame sent before the port listened,
    /// not damage.
    qint64 skippedBytes() const { return m_skippedBytes; }
    /// True while the run waits for the meter of a lost line to come back.
    bool waitingForMeter() const { return m_waiting; }
    /// The note on the lost line, such as "Line lost 02:13:07, back 02:13:19"; empty while no
    /// line was lost.
    QString lineNote() const { return m_lineNote; }

    // --- What the user asks for; intervals arrive checked (see checkInterval).
    enum class ConnectResult
    {
        Opened,         ///< the port opened: the run samples
        Closed,         ///< the port was open and is closed now
        StoppedWaiting, ///< the run was waiting for a lost meter and no longer does
        OpenFailed      ///< the port did not open; port().errorString() says why
    };
    /// The Connect/Disconnect button: the port's state decides, not the caption.
    ConnectResult connectOrDisconnect(int seconds);
    /// "Set": false when nothing changed (the port is closed).
    bool set(int seconds);
    /// The run button, decided by its caption.
    RunControl::StopGo stopOrGo();
    /// The port took other settings while it was (\a wasConnected) open: a port that would not
    /// open under them ends the sampling.
    void portSettingsChanged(bool wasConnected);
    /// The end of the run: no more waiting, the port closed, the sampling timer off. Alarms that
    /// are up stay up: the run ended, nothing cleared them.
    void stop();
    /// The owner keeps trying to open the port (a logger started before its meter is there):
    /// the line watch runs meanwhile, so that the no-reading alarm tells of a meter that never
    /// came. Ends when the port opens, or with stop().
    void awaitPort();

    // --- What the line and the timers bring.
    /// Bytes are waiting on the port: reads them all and applies every whole frame.
    void receive();
    /// Applies what one frame means to the reading, the records list and the run state.
    void applyFrame(const FrameEvent& event);
    /// A tick of the sampling timer.
    void tick();
    /// The port was closed because the device went away.
    void connectionLost(const QString& reason);
    /// A tick of the watch timer: opens the port again when its meter is back, and looks whether
    /// frames still come.
    void watchLine();

signals:
    /// The sampling timer, the run button or the connect button changed.
    void runStateChanged();
    /// A tick recorded \a row (already in the book) from \a plan on \a parameter's charts.
    void sampled(Parameter parameter, const SamplePlan& plan, const ResultRecord& row);
    /// readingStale() changed: a tick found the reading stale (nothing listed from now on until
    /// a fresh one), or sampled again.
    void staleChanged(bool stale);
    /// A memory record arrived and was added to the records list.
    void recordReceived(const ResultRecord& row);
    /// lineNote() or skippedBytes() changed.
    void linkNoteChanged();
    /// The line was lost; \a waiting tells whether the run waits for the meter to come back.
    void lineLost(const QString& reason, bool waiting);
    /// The meter of a lost line is back and the run goes on.
    void lineBack();
    /// The port opened by the user's Connect, under \a name.
    void portOpened(const QString& name);
    /// An alarm rose or cleared.
    void alarmChanged(const AlarmEvent& event);
    /// The no-reading alarm is still up, with another cause: \a alarm as it reads now (the
    /// meter fell silent, then the cable was pulled). No rise, no clear: the alarm command does
    /// not run for it.
    void noReadingCauseChanged(const pexumo::ActiveAlarm& alarm);

private:
    void applyRunState();
    /// The line watch runs while the port is open, or the meter or the port is waited for.
    void watch(bool on);
    /// True when the current reading arrived too long ago to be sampled.
    bool isStale() const;
    void setStale(bool stale);
    void report(const AlarmMonitor::Events& events);
    /// The no-reading alarm that is up; none while it is not.
    std::optional<ActiveAlarm> noReadingAlarm() const;
    /// Emits noReadingCauseChanged() when the no-reading alarm was up with \a before and is up
    /// with another cause now.
    void reportCauseChange(const std::optional<ActiveAlarm>& before);
    QDateTime stampRow(ResultRecord& row) const;
    QString timeOfDay() const;

    TComPort& m_port;
    ResultBook& m_book;
    RunTimer& m_sampleTimer;
    RunTimer& m_watchTimer;
    RunControl m_control;
    CurrentReading m_reading;
    FrameStream m_stream;
    quint64 m_streamSession = 0;      ///< the port session whose bytes m_stream holds
    bool m_framedThisSession = false; ///< a frame header was seen since the port opened
    quint64 m_readingSession = 0;     ///< the port session m_reading arrived on
    qint64 m_skippedBytes = 0;
    bool m_autoReconnect = true;
    bool m_goOnLiveAfterHalt = false;
    bool m_alarmWhenLineEnds = false;
    qint64 m_staleMs = qint64(DefaultStaleSeconds) * 1000;
    qint64 m_readingAtMs = 0; ///< monotonicMs() when m_reading arrived
    bool m_stale = false;
    QDateTime m_staleSince;
    bool m_awaitingPort = false; ///< the owner tries to open the port
    QString m_lostAt; ///< "hh:mm:ss" of the last lost line
    QString m_lineNote;
    bool m_waiting = false;
    AlarmMonitor m_alarms;
    bool m_framedSinceWatch = false; ///< a frame arrived since the line watch last looked
    bool m_framedLastLook = false;   ///< the last look had seen a frame
};

} // namespace pexumo
