#pragma once

#include "acquire/runcontrol.h"
#include "acquire/sampleroute.h"
#include "alarm/alarmmonitor.h"
#include "link/currentreading.h"
#include "link/framestream.h"
#include "link/meterframe.h"
#include "results/listid.h"
#include "results/resultrecord.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

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
/// The run also watches the alarm limits: every sample is checked against them, and while the
/// port is open or the meter is waited for, the line watch looks once a second whether frames
/// still come.
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

    /// On (the default): after a lost line, wait for the same meter and go on by itself. Off: the
    /// run goes to the disconnected state and the user connects again.
    void setAutoReconnect(bool on) { m_autoReconnect = on; }

    /// Off (the default, the window): the meter's halt frame pauses sampling until the user
    /// clicks Go. On (the logger, which has no user to click): the next live frame goes on as Go
    /// would, so a halt never ends an unattended run for good.
    void setGoOnLiveAfterHalt(bool on) { m_goOnLiveAfterHalt = on; }

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
    /// The end of the run: no more waiting, the port closed, the sampling timer off.
    void stop();

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

private:
    void applyRunState();
    /// The line watch runs while the port is open or the meter is waited for.
    void watch(bool on);
    void report(const AlarmMonitor::Events& events);
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
    QString m_lostAt; ///< "hh:mm:ss" of the last lost line
    QString m_lineNote;
    bool m_waiting = false;
    AlarmMonitor m_alarms;
    bool m_framedSinceWatch = false; ///< a frame arrived since the line watch last looked
    bool m_framedLastLook = false;   ///< the last look had seen a frame
};

} // namespace pexumo
