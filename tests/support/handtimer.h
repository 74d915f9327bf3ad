#pragma once

#include "acquire/runtimer.h"

namespace pexumo::test {

/// A RunTimer that never fires by itself: the test delivers its timeouts. It counts how often it
/// was started, so that a test can tell a timer left on its schedule from one started over.
class HandTimer final : public RunTimer
{
public:
    void setInterval(int ms) override
    {
        // As QTimer does: a new period starts a running timer over.
        m_interval = ms;
        if (m_active)
            ++starts;
    }
    int interval() const override { return m_interval; }
    void start() override
    {
        m_active = true;
        ++starts;
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }

    int starts = 0;

private:
    int m_interval = 0;
    bool m_active = false;
};

} // namespace pexumo::test
