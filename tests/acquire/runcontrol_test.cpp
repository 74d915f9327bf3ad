#include "acquire/interval.h"
#include "acquire/runcontrol.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>

namespace pexumo {

void PrintTo(const RunState& s, std::ostream* os)
{
    *os << "{timer " << (s.timerEnabled ? "on" : "off") << ", " << s.periodMs << " ms, Button2 \""
        << s.runCaption.toStdString() << "\" " << (s.runEnabled ? "enabled" : "disabled")
        << ", btnConn \"" << s.connCaption.toStdString() << "\"}";
}

namespace {

using TimerEffect = FrameEvent::TimerEffect;

RunState state(bool timerEnabled, int periodMs, const char* runCaption, bool runEnabled,
               const char* connCaption)
{
    return RunState{timerEnabled, periodMs, QString::fromLatin1(runCaption), runEnabled,
                    QString::fromLatin1(connCaption)};
}

std::string outcome(RunControl::StopGo r)
{
    switch (r) {
    case RunControl::StopGo::Stopped:
        return "Stopped";
    case RunControl::StopGo::Resumed:
        return "Resumed";
    case RunControl::StopGo::RefusedPortClosed:
        return "RefusedPortClosed";
    }
    return "?";
}

std::string outcome(RunControl::Tick r)
{
    switch (r) {
    case RunControl::Tick::PortClosed:
        return "PortClosed";
    case RunControl::Tick::Paused:
        return "Paused";
    case RunControl::Tick::Sample:
        return "Sample";
    }
    return "?";
}

// The run states as the user sees them, each reached the way the program reaches it, with a
// period of 1 s.
void start(RunControl&) {}
void running(RunControl& rc)
{
    rc.connectSucceeded(1);
}
void paused(RunControl& rc)
{
    running(rc);
    rc.stopOrGo(true);
}
void downloading(RunControl& rc)
{
    running(rc);
    rc.frameArrived(TimerEffect::Disable, false); // a memory record
}
// After a Disconnect and the tick that finds the port closed.
void disconnectedAndTicked(RunControl& rc)
{
    running(rc);
    rc.disconnected(1);
    rc.tick(false);
}

struct Transition
{
    const char* name;
    void (*from)(RunControl&);
    std::string (*event)(RunControl&); ///< returns the outcome, "" for events that have none
    std::string outcome;
    RunState to;
};

void PrintTo(const Transition& t, std::ostream* os)
{
    *os << t.name;
}

class TransitionTest : public ::testing::TestWithParam<Transition>
{
};

TEST_P(TransitionTest, LeadsToItsState)
{
    const Transition& t = GetParam();
    RunControl rc;
    t.from(rc);
    EXPECT_EQ(t.event(rc), t.outcome);
    EXPECT_EQ(rc.state(), t.to);
    EXPECT_EQ(rc.paused(), rc.state().runCaption == QLatin1String("Go"));
}

INSTANTIATE_TEST_SUITE_P(
    RunControl, TransitionTest,
    ::testing::Values(
        Transition{"ProgramStart", start, [](RunControl&) { return std::string(); }, "",
                   state(false, 1000, "Stop", false, "Connect")},

        Transition{"ConnectSucceeds", start,
                   [](RunControl& rc) {
                       rc.connectSucceeded(5);
                       return std::string();
                   },
                   "", state(true, 5000, "Stop", true, "Disconnect")},
        Transition{"ConnectFailsTakesOnlyThePeriod", start,
                   [](RunControl& rc) {
                       rc.connectFailed(3);
                       return std::string();
                   },
                   "", state(false, 3000, "Stop", false, "Connect")},

        Transition{"DisconnectFromRunningLeavesTimerAndCaption", running,
                   [](RunControl& rc) {
                       rc.disconnected(2);
                       return std::string();
                   },
                   "", state(true, 2000, "Stop", false, "Connect")},
        Transition{"DisconnectFromPaused", paused,
                   [](RunControl& rc) {
                       rc.disconnected(2);
                       return std::string();
                   },
                   "", state(false, 2000, "Go", false, "Connect")},
        Transition{"DisconnectFromDownloading", downloading,
                   [](RunControl& rc) {
                       rc.disconnected(2);
                       return std::string();
                   },
                   "", state(false, 2000, "Stop", false, "Connect")},
        Transition{"FirstTickAfterDisconnect", running,
                   [](RunControl& rc) {
                       rc.disconnected(2);
                       return outcome(rc.tick(false));
                   },
                   "PortClosed", state(false, 2000, "Go", false, "Connect")},

        Transition{"StopFromRunning", running,
                   [](RunControl& rc) { return outcome(rc.stopOrGo(true)); }, "Stopped",
                   state(false, 1000, "Go", true, "Disconnect")},
        Transition{"StopFromDownloading", downloading,
                   [](RunControl& rc) { return outcome(rc.stopOrGo(true)); }, "Stopped",
                   state(false, 1000, "Go", true, "Disconnect")},
        Transition{"GoFromPaused", paused,
                   [](RunControl& rc) { return outcome(rc.stopOrGo(true)); }, "Resumed",
                   state(true, 1000, "Stop", true, "Disconnect")},
        Transition{"GoRefusedWithThePortClosed", disconnectedAndTicked,
                   [](RunControl& rc) { return outcome(rc.stopOrGo(false)); },
                   "RefusedPortClosed", state(false, 1000, "Go", false, "Connect")},

        Transition{"SetConnectedFromRunning", running,
                   [](RunControl& rc) { return std::to_string(rc.set(5, true)); }, "1",
                   state(true, 5000, "Stop", true, "Disconnect")},
        Transition{"SetConnectedFromPausedResumes", paused,
                   [](RunControl& rc) { return std::to_string(rc.set(5, true)); }, "1",
                   state(true, 5000, "Stop", true, "Disconnect")},
        Transition{"SetConnectedFromDownloading", downloading,
                   [](RunControl& rc) { return std::to_string(rc.set(5, true)); }, "1",
                   state(true, 5000, "Stop", true, "Disconnect")},
        Transition{"SetNotConnectedAtStart", start,
                   [](RunControl& rc) { return std::to_string(rc.set(5, false)); }, "0",
                   state(false, 1000, "Stop", false, "Connect")},
        Transition{"SetNotConnectedAfterDisconnect", disconnectedAndTicked,
                   [](RunControl& rc) { return std::to_string(rc.set(5, false)); }, "0",
                   state(false, 1000, "Go", false, "Connect")},

        Transition{"MemoryRecordInRunningStartsDownloading", running,
                   [](RunControl& rc) {
                       rc.frameArrived(TimerEffect::Disable, false);
                       return outcome(rc.tick(true));
                   },
                   "Sample", state(false, 1000, "Stop", true, "Disconnect")},
        Transition{"MemoryRecordInPausedStaysPaused", paused,
                   [](RunControl& rc) {
                       rc.frameArrived(TimerEffect::Enable, false);
                       rc.frameArrived(TimerEffect::Disable, false);
                       return outcome(rc.tick(true));
                   },
                   "Paused", state(false, 1000, "Go", true, "Disconnect")},
        Transition{"LiveFrameInDownloadingRuns", downloading,
                   [](RunControl& rc) {
                       rc.frameArrived(TimerEffect::Enable, false);
                       return outcome(rc.tick(true));
                   },
                   "Sample", state(true, 1000, "Stop", true, "Disconnect")},
        Transition{"LiveFrameInPausedKeepsThePause", paused,
                   [](RunControl& rc) {
                       rc.frameArrived(TimerEffect::Enable, false);
                       return outcome(rc.tick(true));
                   },
                   "Paused", state(true, 1000, "Go", true, "Disconnect")},
        Transition{"DroppedFrameChangesNothing", running,
                   [](RunControl& rc) {
                       rc.frameArrived(TimerEffect::None, false);
                       return outcome(rc.tick(true));
                   },
                   "Sample", state(true, 1000, "Stop", true, "Disconnect")},

        // The port is still open after a halt, so btnConn goes on offering "Disconnect".
        Transition{"HaltFromRunning", running,
                   [](RunControl& rc) {
                       rc.frameArrived(TimerEffect::Disable, true);
                       return outcome(rc.tick(true));
                   },
                   "Paused", state(false, 1000, "Go", true, "Disconnect")},
        Transition{"HaltFromDownloading", downloading,
                   [](RunControl& rc) {
                       rc.frameArrived(TimerEffect::Disable, true);
                       return outcome(rc.tick(true));
                   },
                   "Paused", state(false, 1000, "Go", true, "Disconnect")},
        Transition{"HaltStopsTheTimerWhateverItsTimerEffect", running,
                   [](RunControl& rc) {
                       rc.frameArrived(TimerEffect::Enable, true);
                       return std::string();
                   },
                   "", state(false, 1000, "Go", true, "Disconnect")},
        Transition{"GoAfterHaltResumes", running,
                   [](RunControl& rc) {
                       rc.frameArrived(TimerEffect::Disable, true);
                       return outcome(rc.stopOrGo(true));
                   },
                   "Resumed", state(true, 1000, "Stop", true, "Disconnect")},

        Transition{"CablePullFromRunning", running,
                   [](RunControl& rc) {
                       rc.connectionLost();
                       return std::string();
                   },
                   "", state(false, 1000, "Go", false, "Connect")},
        Transition{"CablePullFromDownloading", downloading,
                   [](RunControl& rc) {
                       rc.connectionLost();
                       return std::string();
                   },
                   "", state(false, 1000, "Go", false, "Connect")},
        Transition{"CablePullFromPausedWithLiveFrames", paused,
                   [](RunControl& rc) {
                       rc.frameArrived(TimerEffect::Enable, false);
                       rc.connectionLost();
                       return std::string();
                   },
                   "", state(false, 1000, "Go", false, "Connect")},
        Transition{"GoRefusedAfterCablePull", running,
                   [](RunControl& rc) {
                       rc.connectionLost();
                       return outcome(rc.stopOrGo(false));
                   },
                   "RefusedPortClosed", state(false, 1000, "Go", false, "Connect")},
        Transition{"ConnectAfterCablePullRuns", running,
                   [](RunControl& rc) {
                       rc.connectionLost();
                       rc.connectSucceeded(1);
                       return outcome(rc.tick(true));
                   },
                   "Sample", state(true, 1000, "Stop", true, "Disconnect")}),
    [](const ::testing::TestParamInfo<Transition>& info) { return std::string(info.param.name); });

TEST(RunControlTest, PauseHoldsWhileLiveFramesReenableTheTimer)
{
    RunControl rc;
    running(rc);
    ASSERT_EQ(rc.stopOrGo(true), RunControl::StopGo::Stopped);
    for (int i = 0; i < 3; ++i) {
        rc.frameArrived(TimerEffect::Enable, false);
        EXPECT_EQ(rc.tick(true), RunControl::Tick::Paused) << "tick " << i;
        EXPECT_EQ(rc.state(), state(true, 1000, "Go", true, "Disconnect"));
    }
    EXPECT_EQ(rc.stopOrGo(true), RunControl::StopGo::Resumed);
    EXPECT_EQ(rc.tick(true), RunControl::Tick::Sample);
    EXPECT_EQ(rc.state(), state(true, 1000, "Stop", true, "Disconnect"));
}

TEST(RunControlTest, DisconnectThenConnectSamplesWithoutGo)
{
    RunControl rc;
    running(rc);
    rc.disconnected(1);
    ASSERT_EQ(rc.tick(false), RunControl::Tick::PortClosed);
    ASSERT_TRUE(rc.paused());
    rc.connectSucceeded(4);
    EXPECT_EQ(rc.state(), state(true, 4000, "Stop", true, "Disconnect"));
    EXPECT_EQ(rc.tick(true), RunControl::Tick::Sample);
}

TEST(RunControlTest, ConnectFailureKeepsThePeriodForTheNextConnect)
{
    RunControl rc;
    rc.connectFailed(7);
    EXPECT_FALSE(rc.set(9, false));
    EXPECT_EQ(rc.state(), state(false, 7000, "Stop", false, "Connect"));
    rc.connectSucceeded(7);
    EXPECT_EQ(rc.state(), state(true, 7000, "Stop", true, "Disconnect"));
}

// Intervals come checked, but a value outside 1..MaxIntervalSeconds must still give a period
// that ticks and fits an int (no signed overflow under the sanitizers).
struct PeriodCase
{
    const char* name;
    int seconds;
    int periodMs;
};

void PrintTo(const PeriodCase& c, std::ostream* os)
{
    *os << c.name;
}

class PeriodTest : public ::testing::TestWithParam<PeriodCase>
{
};

TEST_P(PeriodTest, EveryEntryTakesTheSamePeriod)
{
    const PeriodCase& c = GetParam();
    {
        RunControl rc;
        rc.connectSucceeded(c.seconds);
        EXPECT_EQ(rc.state().periodMs, c.periodMs) << "connect";
    }
    {
        RunControl rc;
        rc.connectFailed(c.seconds);
        EXPECT_EQ(rc.state().periodMs, c.periodMs) << "failed connect";
    }
    {
        RunControl rc;
        running(rc);
        rc.disconnected(c.seconds);
        EXPECT_EQ(rc.state().periodMs, c.periodMs) << "disconnect";
    }
    {
        RunControl rc;
        running(rc);
        ASSERT_TRUE(rc.set(c.seconds, true));
        EXPECT_EQ(rc.state().periodMs, c.periodMs) << "set";
    }
}

INSTANTIATE_TEST_SUITE_P(
    RunControl, PeriodTest,
    ::testing::Values(PeriodCase{"One", 1, 1000}, PeriodCase{"Sixty", 60, 60000},
                      PeriodCase{"Longest", MaxIntervalSeconds, 2147483000},
                      PeriodCase{"ZeroClampedToOne", 0, 1000},
                      PeriodCase{"NegativeClampedToOne", -5, 1000},
                      PeriodCase{"IntMinClampedToOne", INT_MIN, 1000},
                      PeriodCase{"JustTooLongClamped", MaxIntervalSeconds + 1, 2147483000},
                      PeriodCase{"IntMaxClamped", INT_MAX, 2147483000}),
    [](const ::testing::TestParamInfo<PeriodCase>& info) { return std::string(info.param.name); });

// A lost line while the window waits for the meter: the run state at the loss comes back with
// the meter, whatever ticks or clicks came in between.
struct LineLossCase
{
    const char* name;
    void (*from)(RunControl&);
    void (*beforeTheReport)(RunControl&); ///< after the port closed, before the loss is reported
    void (*meanwhile)(RunControl&);
    RunState waiting;
    RunState back;
};

void PrintTo(const LineLossCase& c, std::ostream* os)
{
    *os << c.name;
}

class LineLossTest : public ::testing::TestWithParam<LineLossCase>
{
};

TEST_P(LineLossTest, RunGoesOnAsItWas)
{
    const LineLossCase& c = GetParam();
    RunControl rc;
    c.from(rc);
    c.beforeTheReport(rc);
    rc.lineLost();
    EXPECT_EQ(rc.state(), c.waiting);
    c.meanwhile(rc);
    EXPECT_EQ(rc.state(), c.waiting);
    rc.lineBack();
    EXPECT_EQ(rc.state(), c.back);
}

void nothing(RunControl&) {}
void tickWithPortClosed(RunControl& rc)
{
    EXPECT_EQ(rc.tick(false), RunControl::Tick::PortClosed);
}
void clicksWithPortClosed(RunControl& rc)
{
    EXPECT_EQ(rc.stopOrGo(false), RunControl::StopGo::RefusedPortClosed);
    EXPECT_FALSE(rc.set(7, false));
}
void fiveSeconds(RunControl& rc)
{
    rc.connectSucceeded(5);
}

INSTANTIATE_TEST_SUITE_P(
    RunControl, LineLossTest,
    ::testing::Values(
        LineLossCase{"SamplingResumes", running, nothing, nothing,
                     state(false, 1000, "Go", false, "Disconnect"),
                     state(true, 1000, "Stop", true, "Disconnect")},
        LineLossCase{"SamplingResumesAfterATickFoundThePortClosed", running, nothing,
                     tickWithPortClosed, state(false, 1000, "Go", false, "Disconnect"),
                     state(true, 1000, "Stop", true, "Disconnect")},
        LineLossCase{"PausedStaysPaused", paused, nothing, tickWithPortClosed,
                     state(false, 1000, "Go", false, "Disconnect"),
                     state(false, 1000, "Go", true, "Disconnect")},
        LineLossCase{"ClicksWhileAwayChangeNothing", running, nothing, clicksWithPortClosed,
                     state(false, 1000, "Go", false, "Disconnect"),
                     state(true, 1000, "Stop", true, "Disconnect")},
        LineLossCase{"ATickBeforeTheReportDoesNotPauseTheRun", running, tickWithPortClosed, nothing,
                     state(false, 1000, "Go", false, "Disconnect"),
                     state(true, 1000, "Stop", true, "Disconnect")},
        LineLossCase{"ATickBeforeTheReportKeepsAPause", paused, tickWithPortClosed, nothing,
                     state(false, 1000, "Go", false, "Disconnect"),
                     state(false, 1000, "Go", true, "Disconnect")},
        LineLossCase{"ThePeriodIsKept", fiveSeconds, nothing, nothing,
                     state(false, 5000, "Go", false, "Disconnect"),
                     state(true, 5000, "Stop", true, "Disconnect")}),
    [](const ::testing::TestParamInfo<LineLossCase>& info) {
        return std::string(info.param.name);
    });

TEST(RunControlTest, DisconnectWhileWaitingLeavesThePortClosedAndPaused)
{
    RunControl rc;
    running(rc);
    rc.lineLost();
    rc.disconnected(1);
    EXPECT_EQ(rc.state(), state(false, 1000, "Go", false, "Connect"));
}

} // namespace
} // namespace pexumo
