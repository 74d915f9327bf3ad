// The run without a window: a port fed by the test, timers the test fires, a clock the test
// sets. What the window shows of it is tested with the window.
#include "acquire/meterrun.h"

#include "alarm/alarmcommand.h"
#include "link/comport.h"
#include "results/resultbook.h"
#include "support/feeddevice.h"
#include "support/handtimer.h"

#include <QCoreApplication>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace pexumo {
namespace {

using test::FeedDevice;
using test::HandTimer;

MeterFrame live(int value, int temp, int mode, bool negative = false)
{
    return encodeFrame(0, value, temp, mode, negative, false, false);
}

MeterFrame record(int number, int value, int temp, int mode)
{
    return encodeFrame(std::uint8_t(number), value, temp, mode, false, false, false);
}

/// A run on a line the test feeds, connected at 10:00:00 UTC+1 with a period of 1 s; every
/// stamp is one second after the one before.
struct Rig
{
    Rig(bool connect = true)
    {
        port.setDevice(&line);
        PortSettings settings;
        settings.name = QStringLiteral("meter");
        port.setSettings(settings);
        run.clock = [this] { return now = now.addSecs(1); };
        // No-reading alarms would ask the clock at every look of the line watch.
        AlarmSettings quiet;
        quiet.noReadingSeconds = 0;
        run.setAlarmSettings(quiet);
        now = start;
        QObject::connect(&port, &TComPort::OnRxChar, &run, [this] { run.receive(); });
        QObject::connect(&port, &TComPort::connectionLost, &run, &MeterRun::connectionLost);
        QObject::connect(&run, &MeterRun::lineLost, &run,
                         [this](const QString&, bool waiting) { losses << waiting; });
        if (connect) {
            EXPECT_EQ(run.connectOrDisconnect(1), MeterRun::ConnectResult::Opened);
        }
    }

    /// Rows of \a list, oldest first, as "time value".
    QStringList rows(ListId list) const
    {
        QStringList out;
        const ResultListModel& model = *book.list(list);
        for (qsizetype i = 0; i < model.size(); ++i) {
            const ResultRecord r = model.recordInOrder(i);
            out << r.TimeOrNo + u' ' + r.Value;
        }
        return out;
    }
    /// Lets queued reports of the port (a loss) arrive.
    static void settle() { QCoreApplication::processEvents(); }

    FeedDevice line;
    TComPort port;
    ResultBook book;
    HandTimer sampleTimer, watchTimer;
    MeterRun run{port, book, sampleTimer, watchTimer};
    const QDateTime start{QDate(2026, 12, 9), QTime(10, 0, 0), QTimeZone(3600)};
    QDateTime now = start;
    QList<bool> losses;
};

TEST(MeterRunTest, TicksRecordTheReadingAsItStandsWithTheirOwnInstant)
{
    Rig rig;
    QList<Parameter> sampled;
    QObject::connect(&rig.run, &MeterRun::sampled, &rig.run,
                     [&](Parameter p, const SamplePlan&, const ResultRecord&) { sampled << p; });
    rig.run.tick();                    // no reading yet: nothing
    rig.line.feed(live(712, 253, 13)); // pH 7.12 at 25.3 C
    rig.run.tick();
    rig.run.tick();                           // a stalled meter is recorded again
    rig.line.feed(live(1205, 250, 14, true)); // pH in mV goes to the ORP list, signed
    rig.run.tick();
    EXPECT_EQ(rig.rows(ListId::PH), QStringList({"10:00:01 7.12", "10:00:02 7.12"}));
    EXPECT_EQ(rig.rows(ListId::ORP), QStringList({"10:00:03 -120.5"}));
    EXPECT_EQ(sampled, QList<Parameter>({Parameter::PH, Parameter::PH, Parameter::ORP}));
    const ResultRecord first = rig.book.list(ListId::PH)->recordInOrder(0);
    EXPECT_EQ(first.StampMs, Q_INT64_C(1796806801000)); // 2026-12-09 09:00:01 UTC
    EXPECT_EQ(first.UtcOffsetSec, 3600);
    EXPECT_EQ(first.Temp, QStringLiteral("25.3"));
    EXPECT_EQ(rig.book.list(ListId::ORP)->recordInOrder(0).Temp, QString());
}

TEST(MeterRunTest, RecordsAreStampedOnArrivalAndHoldTheTimerOff)
{
    Rig rig;
    rig.line.feed(live(712, 253, 13));
    rig.line.feed(record(1, 712, 250, 13));
    EXPECT_FALSE(rig.sampleTimer.isActive());
    rig.line.feed(record(2, 100, 250, 21)); // undefined mode: no row
    EXPECT_EQ(rig.rows(ListId::Records), QStringList({"1 7.12"}));
    EXPECT_EQ(rig.book.list(ListId::Records)->recordInOrder(0).StampMs, Q_INT64_C(1796806801000));
    rig.line.feed(live(713, 253, 0)); // undefined mode, live: timer on, reading kept
    EXPECT_TRUE(rig.sampleTimer.isActive());
    EXPECT_EQ(rig.run.reading().FMeasValue, QStringLiteral("7.12"));
}

TEST(MeterRunTest, SetKeepsAnUnchangedScheduleAndStartsANewPeriodAfresh)
{
    Rig rig;
    const int starts = rig.sampleTimer.starts;
    EXPECT_TRUE(rig.run.set(1));
    EXPECT_EQ(rig.sampleTimer.starts, starts); // same period: the next tick stays where it was
    rig.run.stopOrGo();
    EXPECT_TRUE(rig.run.set(5)); // out of a pause, with a new period
    EXPECT_EQ(rig.sampleTimer.interval(), 5000);
    EXPECT_TRUE(rig.sampleTimer.isActive());
    EXPECT_GT(rig.sampleTimer.starts, starts);
    EXPECT_EQ(rig.run.state().runCaption, QStringLiteral("Stop"));
}

TEST(MeterRunTest, DisconnectLetsTheNextTickStopAndConnectSamplesAgain)
{
    Rig rig;
    rig.line.feed(live(712, 253, 13));
    rig.run.tick();
    EXPECT_EQ(rig.run.connectOrDisconnect(1), MeterRun::ConnectResult::Closed);
    EXPECT_TRUE(rig.sampleTimer.isActive()); // left running until the next tick
    EXPECT_FALSE(rig.run.set(5));            // "Set" waits for the next Connect
    rig.run.tick();
    EXPECT_FALSE(rig.sampleTimer.isActive());
    EXPECT_EQ(rig.run.state().runCaption, QStringLiteral("Go"));
    EXPECT_EQ(rig.run.stopOrGo(), RunControl::StopGo::RefusedPortClosed);
    EXPECT_EQ(rig.run.connectOrDisconnect(5), MeterRun::ConnectResult::Opened);
    EXPECT_EQ(rig.run.state().runCaption, QStringLiteral("Stop"));
    EXPECT_EQ(rig.sampleTimer.interval(), 5000);
    rig.run.tick(); // the reading from before the Disconnect is not listed with a new time
    EXPECT_EQ(rig.rows(ListId::PH), QStringList({"10:00:01 7.12"}));
    rig.line.feed(live(714, 253, 13));
    rig.run.tick();
    EXPECT_EQ(rig.rows(ListId::PH), QStringList({"10:00:01 7.12", "10:00:02 7.14"}));
}

TEST(MeterRunTest, AHaltKeepsThePortOpenAndOneClickClosesIt)
{
    Rig rig;
    rig.line.feed(haltFrame());
    EXPECT_FALSE(rig.sampleTimer.isActive());
    EXPECT_EQ(rig.run.state().runCaption, QStringLiteral("Go"));
    EXPECT_TRUE(rig.port.Connected());
    EXPECT_EQ(rig.run.connectOrDisconnect(1), MeterRun::ConnectResult::Closed);
    EXPECT_FALSE(rig.port.Connected());
}

// The logger has nobody to click Go: the meter's next live frame ends the halt's pause.
TEST(MeterRunTest, WithoutAUserTheNextLiveFrameEndsAHalt)
{
    Rig rig;
    rig.run.setGoOnLiveAfterHalt(true);
    rig.line.feed(live(712, 253, 13));
    rig.run.tick();
    rig.line.feed(haltFrame());
    rig.run.tick(); // paused: no row
    EXPECT_EQ(rig.run.state().runCaption, QStringLiteral("Go"));
    rig.line.feed(live(715, 253, 13));
    EXPECT_EQ(rig.run.state().runCaption, QStringLiteral("Stop"));
    EXPECT_TRUE(rig.sampleTimer.isActive());
    rig.run.tick();
    EXPECT_EQ(rig.rows(ListId::PH), QStringList({"10:00:01 7.12", "10:00:02 7.15"}));
}

TEST(MeterRunTest, DamagedBytesAreCountedAndAStubOfAnotherLineIsNot)
{
    Rig rig;
    QByteArray bytes = QByteArray::fromHex("0FFF0007120253 0D000FFD");
    bytes += "\x01\x02\x0f";
    rig.line.feed(bytes);
    MeterFrame damaged = live(712, 253, 13);
    damaged[3] = 0xA7; // a value digit above 9: the whole frame counts
    rig.line.feed(damaged);
    EXPECT_EQ(rig.run.skippedBytes(), 3 + 11);
    // Half a frame, then the user picks another port: the stub is no damage on the new line.
    rig.line.feed(QByteArray::fromHex("0FFF000712"));
    PortSettings other = rig.port.settings();
    other.name = QStringLiteral("other meter");
    EXPECT_TRUE(rig.port.setSettings(other));
    rig.line.feed(live(713, 253, 13));
    EXPECT_EQ(rig.run.skippedBytes(), 14);
    EXPECT_EQ(rig.run.reading().FMeasValue, QStringLiteral("7.13"));
}

TEST(MeterRunTest, TheTailOfAFrameSentBeforeConnectIsNoNoise)
{
    Rig rig(false);
    rig.line.feed(live(700, 250, 13)); // waits in the line: the meter sends before we listen
    EXPECT_EQ(rig.run.connectOrDisconnect(1), MeterRun::ConnectResult::Opened);
    rig.line.feed(QByteArray::fromHex("53 0D 00 0F FD") +
                  QByteArray::fromHex("0FFF00071202530D000FFD"));
    EXPECT_EQ(rig.run.skippedBytes(), 0);
    EXPECT_EQ(rig.run.reading().FMeasValue, QStringLiteral("7.12"));
    rig.line.feed(QByteArray("\x01\x02", 2) + QByteArray::fromHex("0FFF00071302530D000FFD"));
    EXPECT_EQ(rig.run.skippedBytes(), 2); // noise once the line is framed
    // The note goes away at the next Connect, and the first bytes then are a tail again.
    rig.run.connectOrDisconnect(1);
    EXPECT_EQ(rig.run.connectOrDisconnect(1), MeterRun::ConnectResult::Opened);
    EXPECT_EQ(rig.run.skippedBytes(), 0);
    rig.line.feed(QByteArray::fromHex("00 0F FD 0FFF00071402530D000FFD"));
    EXPECT_EQ(rig.run.skippedBytes(), 0);
}

TEST(MeterRunTest, SamplesAndTheLineWatchRaiseAndClearAlarms)
{
    Rig rig;
    QStringList events;
    QObject::connect(&rig.run, &MeterRun::alarmChanged, &rig.run, [&](const AlarmEvent& e) {
        events << QStringLiteral("%1 %2 %3")
                      .arg(e.change == AlarmChange::Raise ? "raise" : "clear", e.alarm.name())
                      .arg(e.alarm.value);
    });
    AlarmSettings settings;
    settings.limits[indexOf(AlarmParameter::TDS)].high = 1500; // ppm
    settings.delaySeconds = 1;
    settings.noReadingSeconds = 3;
    rig.run.setAlarmSettings(settings);
    rig.line.feed(live(200, 250, 7)); // TDS 2.00 ppt: 2000 ppm
    rig.run.tick();
    rig.run.tick();                   // a second later: up
    rig.line.feed(live(100, 250, 7)); // 1000 ppm
    rig.run.tick();
    rig.run.tick();
    EXPECT_EQ(events, QStringList({"raise TDS 2000", "clear TDS 1000"}));
    // The meter falls silent: the line watch looks once a second, and the silence counts from
    // its first look without a frame (within a second of the last frame).
    events.clear();
    for (int i = 0; i < 5; ++i)
        rig.run.watchLine();
    ASSERT_EQ(events.size(), 1);
    EXPECT_TRUE(events[0].startsWith("raise NoReading"));
    rig.line.feed(live(100, 250, 7));
    rig.run.watchLine();
    EXPECT_EQ(events.size(), 2);
    EXPECT_TRUE(events[1].startsWith("clear NoReading"));
    EXPECT_FALSE(rig.run.alarms().anyActive());
}

// A pulled cable with the run sampling or paused: the run waits, records nothing meanwhile, and
// goes on as it was when the same meter is back.
class MeterRunLineLossTest : public ::testing::TestWithParam<bool>
{
};

TEST_P(MeterRunLineLossTest, TheRunWaitsAndGoesOnAsItWas)
{
    const bool paused = GetParam();
    Rig rig;
    rig.line.feed(live(712, 253, 13));
    rig.run.tick();
    if (paused)
        rig.run.stopOrGo();
    rig.line.unplug();
    Rig::settle();
    EXPECT_EQ(rig.losses, QList<bool>({true}));
    EXPECT_TRUE(rig.run.waitingForMeter());
    EXPECT_FALSE(rig.sampleTimer.isActive());
    EXPECT_EQ(rig.run.state().connCaption, QStringLiteral("Disconnect"));
    EXPECT_EQ(rig.run.lineNote(), QStringLiteral("Line lost 10:00:02, waiting for the meter"));
    rig.run.tick();      // a tick while away records nothing
    rig.run.watchLine(); // not back yet
    EXPECT_TRUE(rig.run.waitingForMeter());
    rig.line.plugBack();
    rig.run.watchLine();
    EXPECT_FALSE(rig.run.waitingForMeter());
    EXPECT_TRUE(rig.port.Connected());
    EXPECT_EQ(rig.run.lineNote(), QStringLiteral("Line lost 10:00:02, back 10:00:03"));
    EXPECT_EQ(rig.run.state().runCaption, paused ? QStringLiteral("Go") : QStringLiteral("Stop"));
    EXPECT_EQ(rig.sampleTimer.isActive(), !paused);
    // The reading from before the loss is not recorded again: the next row is a new frame's.
    rig.run.tick();
    EXPECT_EQ(rig.rows(ListId::PH), QStringList({"10:00:01 7.12"}));
    rig.line.feed(live(800, 253, 13));
    if (paused)
        rig.run.stopOrGo();
    rig.run.tick();
    EXPECT_EQ(rig.rows(ListId::PH), QStringList({"10:00:01 7.12", "10:00:04 8"}));
}

INSTANTIATE_TEST_SUITE_P(RunState, MeterRunLineLossTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "paused" : "sampling"; });

// Ways the waiting ends without the meter: Disconnect, the end of the run, and no waiting at all
// with AutoReconnect off. The meter coming back then opens nothing.
class MeterRunNoWaitingTest : public ::testing::TestWithParam<int>
{
};

TEST_P(MeterRunNoWaitingTest, TheMeterComingBackOpensNothing)
{
    enum
    {
        Disconnect,
        Stop,
        AutoReconnectOff
    };
    Rig rig;
    if (GetParam() == AutoReconnectOff)
        rig.run.setAutoReconnect(false);
    rig.line.feed(live(712, 253, 13));
    rig.run.tick();
    rig.line.unplug();
    Rig::settle();
    switch (GetParam()) {
    case Disconnect:
        EXPECT_EQ(rig.run.connectOrDisconnect(1), MeterRun::ConnectResult::StoppedWaiting);
        EXPECT_EQ(rig.run.lineNote(), QStringLiteral("Line lost 10:00:02"));
        EXPECT_EQ(rig.run.state().connCaption, QStringLiteral("Connect"));
        break;
    case Stop:
        rig.run.stop();
        break;
    case AutoReconnectOff:
        EXPECT_EQ(rig.losses, QList<bool>({false}));
        EXPECT_TRUE(rig.run.lineNote().isEmpty());
        EXPECT_EQ(rig.run.state().connCaption, QStringLiteral("Connect"));
        break;
    }
    EXPECT_FALSE(rig.run.waitingForMeter());
    EXPECT_FALSE(rig.run.state().runEnabled);
    rig.line.plugBack();
    rig.run.watchLine();
    EXPECT_FALSE(rig.port.Connected());
    // Connect works again without a restart, and lists only what the meter sends from now on.
    EXPECT_EQ(rig.run.connectOrDisconnect(1), MeterRun::ConnectResult::Opened);
    EXPECT_EQ(rig.run.state().runCaption, QStringLiteral("Stop"));
    rig.run.tick();
    EXPECT_EQ(rig.rows(ListId::PH), QStringList({"10:00:01 7.12"}));
}

// A reading is sampled only while it is at most StaleSeconds old (measured on the monotonic
// clock); 0 samples any reading.
struct StaleCase
{
    const char* name;
    int staleSeconds;
    qint64 ageMs; ///< of the reading at the tick
    bool listed;
};

class MeterRunStaleTest : public ::testing::TestWithParam<StaleCase>
{
};

TEST_P(MeterRunStaleTest, ListsOnlyAFreshReading)
{
    const StaleCase& c = GetParam();
    Rig rig;
    qint64 mono = 5000;
    rig.run.monotonicMs = [&] { return mono; };
    rig.run.setStaleSeconds(c.staleSeconds);
    rig.line.feed(live(712, 253, 13));
    mono += c.ageMs;
    rig.run.tick();
    EXPECT_EQ(rig.rows(ListId::PH).size(), c.listed ? 1 : 0);
    EXPECT_EQ(rig.run.readingStale(), !c.listed);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Ages, MeterRunStaleTest, ::testing::Values(
    StaleCase{"ten_seconds_old_is_fresh", 10, 10000, true},
    StaleCase{"a_moment_more_is_stale", 10, 10001, false},
    StaleCase{"one_second", 1, 1001, false},
    StaleCase{"zero_lists_an_hour_old_one", 0, 3600000, true}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// A meter that falls silent with the port open: the ticks list nothing once its reading is
// stale, say so once with the instant it came, and list again from its next reading.
TEST(MeterRunTest, AStaleReadingIsToldOnceAndTheNextOneListsAgain)
{
    Rig rig;
    qint64 mono = 0;
    rig.run.monotonicMs = [&] { return mono; };
    rig.run.clock = [&] { return rig.start.addMSecs(mono); };
    QList<bool> told;
    QObject::connect(&rig.run, &MeterRun::staleChanged, &rig.run,
                     [&](bool stale) { told << stale; });
    rig.line.feed(live(712, 253, 13)); // at 10:00:00
    for (const qint64 at : {1000, 10000, 10001, 20000}) {
        mono = at;
        rig.run.tick();
    }
    EXPECT_EQ(told, QList<bool>({true}));
    EXPECT_EQ(rig.run.staleSince(), rig.start);
    mono = 21000;
    rig.line.feed(live(715, 253, 13));
    mono = 22000;
    rig.run.tick();
    EXPECT_EQ(told, QList<bool>({true, false}));
    EXPECT_FALSE(rig.run.readingStale());
    EXPECT_EQ(rig.rows(ListId::PH),
              QStringList({"10:00:01 7.12", "10:00:10 7.12", "10:00:22 7.15"}));
}

// The no-reading alarm says why no frame comes, as the line watch sees it.
TEST(MeterRunTest, TheNoReadingAlarmSaysWhy)
{
    Rig rig(false);
    QStringList notes;
    QObject::connect(&rig.run, &MeterRun::alarmChanged, &rig.run, [&](const AlarmEvent& e) {
        notes << (e.change == AlarmChange::Raise ? alarmNote(e.alarm) : alarmEventText(e));
    });
    AlarmSettings settings;
    settings.noReadingSeconds = 2;
    rig.run.setAlarmSettings(settings);
    // No meter at the start: the owner keeps trying, and the watch runs meanwhile.
    rig.line.unplug();
    EXPECT_EQ(rig.run.connectOrDisconnect(1), MeterRun::ConnectResult::OpenFailed);
    rig.run.awaitPort();
    EXPECT_TRUE(rig.watchTimer.isActive());
    for (int i = 0; i < 4; ++i)
        rig.run.watchLine(); // 10:00:01 .. 10:00:04; the watch started at the first look
    // Alarms tell the time in the machine's own zone: 10:00:02 at +01:00 is 09:00:02 UTC.
    const auto local = [&rig](int second) {
        return rig.start.addSecs(second).toLocalTime().toString(QStringLiteral("HH:mm:ss"));
    };
    ASSERT_EQ(notes.size(), 1);
    EXPECT_EQ(notes[0], "ALARM no reading since " + local(2) + ": the port does not open");
    // The meter comes; its first frame clears the alarm.
    rig.line.plugBack();
    EXPECT_EQ(rig.run.connectOrDisconnect(1), MeterRun::ConnectResult::Opened);
    rig.line.feed(live(712, 253, 13));
    rig.run.watchLine();
    ASSERT_EQ(notes.size(), 2);
    EXPECT_EQ(notes[1], "CLEAR no reading from " + local(2) + " to " + local(6));
    // It falls silent with the port open, then the cable is pulled: the alarm that rose for the
    // silence says the line is lost while the meter is waited for.
    for (int i = 0; i < 4; ++i)
        rig.run.watchLine();
    ASSERT_EQ(notes.size(), 3);
    EXPECT_TRUE(notes[2].endsWith(": the meter sends nothing")) << notes[2].toStdString();
    QStringList changes;
    QObject::connect(&rig.run, &MeterRun::noReadingCauseChanged, &rig.run,
                     [&](const ActiveAlarm& a) { changes << noReadingCauseChangeText(a); });
    rig.run.watchLine();
    EXPECT_EQ(changes, QStringList());
    rig.line.unplug();
    Rig::settle();
    rig.run.watchLine();
    rig.run.watchLine(); // still lost: told once
    EXPECT_EQ(changes, QStringList({"no reading since " + local(6) + ": now the line is lost"}));
    ASSERT_EQ(notes.size(), 3); // no rise, no clear
    ASSERT_EQ(rig.run.alarms().active().size(), 1u);
    EXPECT_TRUE(alarmNote(rig.run.alarms().active()[0]).endsWith(": the line is lost"));
    // Disconnect ends the waiting, and with it the alarm.
    EXPECT_EQ(rig.run.connectOrDisconnect(1), MeterRun::ConnectResult::StoppedWaiting);
    ASSERT_EQ(notes.size(), 4);
    EXPECT_TRUE(notes[3].startsWith("CLEAR no reading from ")) << notes[3].toStdString();
    EXPECT_FALSE(rig.run.alarms().anyActive());
}

// A run that ends with its line (the logger without AutoReconnect) raises the no-reading alarm
// at once and leaves it up; the window's run (off) clears it like a Disconnect.
TEST(MeterRunTest, ALineThatEndsTheRunRaisesTheAlarmAtOnce)
{
    for (const bool endsRun : {true, false}) {
        Rig rig;
        rig.run.setAutoReconnect(false);
        rig.run.setAlarmWhenLineEnds(endsRun);
        AlarmSettings settings;
        settings.noReadingSeconds = 60;
        rig.run.setAlarmSettings(settings);
        QStringList args;
        QObject::connect(&rig.run, &MeterRun::alarmChanged, &rig.run,
                         [&](const AlarmEvent& e) { args << alarmCommandArguments(e).join(' '); });
        rig.run.watchLine(); // 10:00:02: the watch starts
        rig.line.feed(live(712, 253, 13));
        rig.line.unplug();
        Rig::settle(); // 10:00:03, the meter sent up to the pull
        EXPECT_FALSE(rig.watchTimer.isActive());
        if (endsRun) {
            ASSERT_EQ(args.size(), 1);
            // 10:00:03 at +01:00, written in the machine's own zone.
            const QDateTime at = rig.start.addSecs(3);
            EXPECT_EQ(args[0],
                      "raise NoReading 0 s 60 " +
                          at.toOffsetFromUtc(at.toLocalTime().offsetFromUtc()).toString(Qt::ISODate) +
                          " lost");
            EXPECT_TRUE(rig.run.alarms().anyActive());
        } else {
            EXPECT_EQ(args, QStringList());
        }
    }
}

// A run that ends with its line while the no-reading alarm is up for a silent meter: the alarm
// stays up, now for the lost line; no second rise, so the command runs once.
TEST(MeterRunTest, ALineThatEndsTheRunTurnsASilenceIntoALostLine)
{
    Rig rig;
    rig.run.setAutoReconnect(false);
    rig.run.setAlarmWhenLineEnds(true);
    AlarmSettings settings;
    settings.noReadingSeconds = 2;
    rig.run.setAlarmSettings(settings); // 10:00:01
    QStringList args, changes;
    QObject::connect(&rig.run, &MeterRun::alarmChanged, &rig.run,
                     [&](const AlarmEvent& e) { args << alarmCommandArguments(e).join(' '); });
    QObject::connect(&rig.run, &MeterRun::noReadingCauseChanged, &rig.run,
                     [&](const ActiveAlarm& a) { changes << noReadingCauseChangeText(a); });
    for (int i = 0; i < 3; ++i)
        rig.run.watchLine(); // 10:00:02 .. 10:00:04: silent since the watch started at 02
    ASSERT_EQ(args.size(), 1);
    EXPECT_TRUE(args[0].startsWith("raise NoReading 2 s 2 ")) << args[0].toStdString();
    EXPECT_TRUE(args[0].endsWith(" silent")) << args[0].toStdString();
    rig.line.unplug();
    Rig::settle(); // 10:00:05
    EXPECT_EQ(args.size(), 1);
    const QString since =
        rig.start.addSecs(2).toLocalTime().toString(QStringLiteral("HH:mm:ss"));
    EXPECT_EQ(changes, QStringList({"no reading since " + since + ": now the line is lost"}));
    ASSERT_EQ(rig.run.alarms().active().size(), 1u);
    EXPECT_EQ(rig.run.alarms().active()[0].cause, NoReadingCause::LineLost);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, MeterRunNoWaitingTest, ::testing::Values(0, 1, 2), [](const auto& info) {
        return std::string(info.param == 0 ? "Disconnect" : info.param == 1 ? "Stop" : "Off");
    });

} // namespace
} // namespace pexumo
