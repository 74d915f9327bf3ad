#include "acquire/runcontrol.h"

#include "acquire/interval.h"

#include <algorithm>

namespace pexumo {

namespace {

const QString kStop = QStringLiteral("Stop");
const QString kGo = QStringLiteral("Go");
const QString kConnect = QStringLiteral("Connect");
const QString kDisconnect = QStringLiteral("Disconnect");

} // namespace

const RunState& RunControl::state() const
{
    return m_state;
}

bool RunControl::paused() const
{
    return m_state.runCaption == kGo;
}

void RunControl::setPeriod(int seconds)
{
    // A period of 0 would never tick while the button says "Stop", and beyond MaxIntervalSeconds
    // the product with 1000 overflows an int.
    m_state.periodMs = std::clamp(seconds, 1, MaxIntervalSeconds) * 1000;
}

void RunControl::run()
{
    m_state.timerEnabled = true;
    m_state.runCaption = kStop;
    m_pausedByClosedPort = false;
}

void RunControl::pause()
{
    m_state.timerEnabled = false;
    m_state.runCaption = kGo;
    m_pausedByClosedPort = false;
}

void RunControl::connectSucceeded(int seconds)
{
    setPeriod(seconds);
    run();
    m_state.runEnabled = true;
    m_state.connCaption = kDisconnect;
}

void RunControl::connectFailed(int seconds)
{
    setPeriod(seconds);
}

void RunControl::disconnected(int seconds)
{
    setPeriod(seconds);
    m_state.runEnabled = false;
    m_state.connCaption = kConnect;
}

void RunControl::connectionLost()
{
    pause();
    m_state.runEnabled = false;
    m_state.connCaption = kConnect;
}

void RunControl::lineLost()
{
    m_pausedAtLoss = paused() && !m_pausedByClosedPort;
    connectionLost();
    m_state.connCaption = kDisconnect;
}

void RunControl::lineBack()
{
    if (m_pausedAtLoss)
        pause();
    else
        run();
    m_state.runEnabled = true;
    m_state.connCaption = kDisconnect;
}

bool RunControl::set(int seconds, bool portOpen)
{
    if (!portOpen)
        return false;
    setPeriod(seconds);
    run();
    return true;
}

RunControl::StopGo RunControl::stopOrGo(bool portOpen)
{
    if (!paused()) {
        pause();
        return StopGo::Stopped;
    }
    if (!portOpen)
        return StopGo::RefusedPortClosed;
    run();
    return StopGo::Resumed;
}

void RunControl::frameArrived(FrameEvent::TimerEffect effect, bool halt)
{
    switch (effect) {
    case FrameEvent::TimerEffect::Enable:
        m_state.timerEnabled = true;
        break;
    case FrameEvent::TimerEffect::Disable:
        m_state.timerEnabled = false;
        break;
    case FrameEvent::TimerEffect::None:
        break;
    }
    if (halt)
        pause();
}

RunControl::Tick RunControl::tick(bool portOpen)
{
    if (!portOpen) {
        const bool wasRunning = !paused();
        pause();
        m_pausedByClosedPort = wasRunning;
        return Tick::PortClosed;
    }
    return paused() ? Tick::Paused : Tick::Sample;
}

} // namespace pexumo
