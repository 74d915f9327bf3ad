#pragma once

#include <QTimer>

namespace pexumo {

/// A timer as the run switches it: a period in milliseconds, on and off. The run only steers it;
/// whoever owns the timer delivers its timeouts to the run (MeterRun::tick, MeterRun::watchLine).
/// Programs hand in Qt's timers; tests hand in timers they fire by hand.
class RunTimer
{
public:
    virtual ~RunTimer() = default;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    /// Starts the timer, or starts a running one over: the next timeout is a full period away.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

/// A QTimer as a RunTimer; the QTimer stays its owner's.
class QtRunTimer final : public RunTimer
{
public:
    explicit QtRunTimer(QTimer& timer) : m_timer(timer) {}
    void setInterval(int ms) override { m_timer.setInterval(ms); }
    int interval() const override { return m_timer.interval(); }
    void start() override { m_timer.start(); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer& m_timer;
};

} // namespace pexumo
