#pragma once

#include "link/meterframe.h"

#include <QString>

namespace pexumo {

/// What the window shows of the run: the sampling timer and the two buttons.
struct RunState
{
    bool timerEnabled = false;
    int periodMs = 1000;
    /// Button2: "Stop" while sampling runs, "Go" while it is paused.
    QString runCaption = QStringLiteral("Stop");
    /// Button2 is enabled only while the port is connected.
    bool runEnabled = false;
    /// btnConn.
    QString connCaption = QStringLiteral("Connect");
    friend bool operator==(const RunState&, const RunState&) = default;
};

/// The run-state rules of the main window, without the window: who switches the sampling timer,
/// its period and the captions of the run and connect buttons. The caption of the run button, not
/// the timer, holds a pause, because every live frame switches the timer back on; the tick reads
/// the caption before it samples.
///
/// Intervals arrive already checked (1 to MaxIntervalSeconds); a value outside that range is
/// clamped into it, so the period in milliseconds always fits an int.
class RunControl
{
public:
    const RunState& state() const;
    /// True while the run button reads "Go".
    bool paused() const;

    /// The port opened: period, timer on, run button enabled with "Stop", btnConn "Disconnect".
    void connectSucceeded(int seconds);
    /// The port did not open: only the period is taken.
    void connectFailed(int seconds);
    /// The user closed the port: period, btnConn "Connect", run button disabled. The timer and the
    /// caption are left for the next tick, which finds the port closed.
    void disconnected(int seconds);
    /// The port was lost (cable pulled): timer off, "Go", run button disabled, btnConn "Connect".
    void connectionLost();

    /// The port was lost and the window waits for the meter to come back: timer off, run button
    /// disabled with "Go" (a tick records nothing), btnConn "Disconnect" (a click ends the
    /// waiting). Whether the run was sampling or paused is kept for lineBack().
    void lineLost();
    /// The meter is back on an open port: the run goes on as it was at lineLost(), sampling
    /// (timer on, "Stop") or paused ("Go"), with the same period. A tick or a click in between
    /// does not change what is restored.
    void lineBack();

    /// "Set": false (nothing changes) when the port is closed; else period, timer on, "Stop".
    bool set(int seconds, bool portOpen);

    enum class StopGo
    {
        Stopped,          ///< was "Stop": timer off, now "Go"
        Resumed,          ///< was "Go" with the port open: timer on, now "Stop"
        RefusedPortClosed ///< was "Go" with the port closed: nothing changed, the user is told
    };
    /// A click on the run button, decided by its caption.
    StopGo stopOrGo(bool portOpen);

    /// A decoded frame's effect on the timer, and for the halt frame also timer off and "Go".
    /// btnConn keeps its caption on a halt: the port is still open.
    void frameArrived(FrameEvent::TimerEffect effect, bool halt);

    enum class Tick
    {
        PortClosed, ///< the port was closed: timer now off and "Go"
        Paused,     ///< the caption reads "Go": record nothing
        Sample      ///< go on and record the current reading
    };
    /// The first steps of a sampling tick.
    Tick tick(bool portOpen);

private:
    void setPeriod(int seconds);
    void run();
    void pause();

    RunState m_state;
    bool m_pausedAtLoss = false; ///< the run state lineBack() restores
    /// The caption reads "Go" only because a tick found the port closed: a lost line reports
    /// itself after the port closed, and a tick may come in between.
    bool m_pausedByClosedPort = false;
};

} // namespace pexumo
