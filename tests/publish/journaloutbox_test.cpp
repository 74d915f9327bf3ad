// The journal as the publisher's outbox, through a Station as the window and the logger set it
// up, against a real broker the test starts; the journal is a real file.
#include "app/station.h"
#include "journal/journal.h"
#include "journal/journaloutbox.h"
#include "journal/journalreader.h"
#include "publish/mqttpublisher.h"

#include "support/journalsql.h"
#include "support/mqttrig.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

#include <memory>

namespace pexumo {
namespace {

using namespace std::chrono_literals;
using test::MqttBroker;
using test::MqttRig;
using test::rowRange;

// Short waits between attempts, so that a broker's return is noticed within half a second.
constexpr MqttTiming Fast{100ms, 400ms, 10000ms, 5000ms, 30};

const ResultRecord Row{"14:03:07", "pH", "7.12", "pH", "25.3", "C", 0, 1796821387000, 3600};

/// Waits for the state, the rows waiting and the reason of \a status (not the rows sent).
bool waitForStatus(const Station& station, MqttStatus status)
{
    return QTest::qWaitFor(
        [&] {
            status.sent = station.publishingStatus().sent;
            return station.publishingStatus() == status;
        },
        30000);
}

void addRows(Station& station, int count)
{
    for (int i = 0; i < count; ++i)
        station.book().add(ListId::PH, Row);
}

const QString Acknowledged = QStringLiteral("SELECT session, seq FROM mqtt_acked ORDER BY session");

class JournalPublishing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!MqttBroker::isInstalled())
            GTEST_SKIP() << "mosquitto is not installed";
        ASSERT_TRUE(rig.start()) << rig.errorString().toStdString();
        setup.configPath = rig.configPath();
        setup.mqttTiming = Fast;
    }

    MqttRig rig;
    Station::Setup setup;
};

TEST_F(JournalPublishing, AStationPublishesEveryRowAndAlarmAndJournalsTheAlarm)
{
    // 1796778787000 ms is 2026-12-09 02:13:07 at +01:00, 1796778847000 02:14:07,
    // 1796779211000 02:20:11.
    const ActiveAlarm low{AlarmParameter::DO, AlarmSide::Below, 3.1, 4.0, 3.05,
                          1796778787000,      1796778847000,    3600};
    ActiveAlarm back = low;
    back.value = 4.25;
    back.worst = 2.95;
    int commandRuns = 0;
    {
        Station station(setup);
        ASSERT_EQ(station.startJournal(), "");
        AlarmSettings alarms;
        alarms.command = R"(sh -c "echo $0 $1")"; // prints "raise DO" or "clear DO"
        station.applyAlarmSettings(alarms);
        QObject::connect(&station, &Station::alarmCommandFinished, [&] { ++commandRuns; });
        EXPECT_EQ(station.startPublishing(), (MqttStatus{MqttState::Connecting, 0, "", 0}));

        station.book().add(ListId::DO,
                           {"14:03:07", "DO", "3,10", "mg/L", "25.3", "C", 0, 1796821387000, 3600});
        addRows(station, 39);
        emit station.run().alarmChanged({AlarmChange::Raise, low, 1796778847000, 3600});
        // Up for a while: the rise is at the broker before the clear comes.
        ASSERT_TRUE(rig.subscriber.waitFor([](const auto& m) {
            return std::any_of(m.begin(), m.end(),
                               [](const auto& one) { return one.topic == "site/alarm"; });
        }));
        emit station.run().alarmChanged({AlarmChange::Clear, back, 1796779211000, 3600});
        ASSERT_TRUE(rig.waitForRows(40));
        ASSERT_TRUE(waitForStatus(station, {MqttState::Connected, 0, "", 0}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return commandRuns == 2; }, 30000));
        // More rows after the alarms were acknowledged: the alarms do not go again.
        addRows(station, 5);
        ASSERT_TRUE(rig.waitForRows(45));
        station.stop();
    }
    {
        // Nor at the next start.
        Station next(setup);
        ASSERT_EQ(next.startJournal(), "");
        next.startPublishing();
        addRows(next, 1);
        ASSERT_TRUE(rig.waitForRows(46));
        next.stop();
    }
    EXPECT_EQ(rig.rows(), rowRange(2, 1, 1, rowRange(1, 1, 45)));
    EXPECT_EQ(rig.payloadsOn("DO").at(0),
              R"({"session":1,"seq":1,"port":"","time":"2026-12-09T14:03:07.000+01:00",)"
              R"("ts":1796821387000,"type":"DO","value":3.1,"unit":"mg/L","temp":25.3,)"
              R"("temp_unit":"C"})");
    rig.subscriber.waitFor(
        [](const auto& m) { return m.back().payload == R"({"status":"offline","session":2})"; });
    EXPECT_EQ(rig.payloadsOn("alarm"),
              (std::vector<QByteArray>{
                  R"({"session":1,"event":"raise","parameter":"DO","side":"below","value":3.1,)"
                  R"("unit":"mg/L","limit":4,"worst":3.05,)"
                  R"("since":"2026-12-09T02:13:07.000+01:00",)"
                  R"("raised":"2026-12-09T02:14:07.000+01:00",)"
                  R"("time":"2026-12-09T02:14:07.000+01:00","ts":1796778847000})",
                  R"({"session":1,"event":"clear","parameter":"DO","side":"below","value":4.25,)"
                  R"("unit":"mg/L","limit":4,"worst":2.95,)"
                  R"("since":"2026-12-09T02:13:07.000+01:00",)"
                  R"("raised":"2026-12-09T02:14:07.000+01:00",)"
                  R"("time":"2026-12-09T02:20:11.000+01:00","ts":1796779211000})"}));

    JournalReader reader;
    ASSERT_EQ(reader.open(rig.journalPath()), "");
    const auto at = [](qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC); };
    JournalAlarm kept;
    kept.parameter = "DO";
    kept.limit = 4.0;
    kept.since = at(1796778787000);
    kept.raised = at(1796778847000);
    kept.raisedValue = 3.1;
    kept.cleared = at(1796779211000);
    kept.clearedValue = 4.25;
    kept.worst = 2.95;
    kept.raiseResult = "alarm command: exit 0: raise DO";
    kept.clearResult = "alarm command: exit 0: clear DO";
    EXPECT_EQ(reader.alarms(1), std::vector<JournalAlarm>{kept});
}

TEST_F(JournalPublishing, NoRowIsLostWhileTheBrokerIsAwayNorAcrossARestart)
{
    {
        // Journaled before publishing was set up: history a new broker does not get.
        Journal before;
        ASSERT_EQ(before.open(rig.journalPath(), 30), "");
        for (int i = 0; i < 5; ++i)
            before.add(ListId::PH, Row);
        before.close(true);
    }
    {
        Station station(setup); // session 2
        ASSERT_EQ(station.startJournal(), "");
        station.startPublishing();
        addRows(station, 200);
        ASSERT_TRUE(rig.waitForRows(200));

        // Three seconds without a broker while the run goes on, ten rows every 100 ms.
        rig.broker.stop();
        for (int i = 0; i < 30; ++i) {
            addRows(station, 10);
            QTest::qWait(100);
        }
        EXPECT_TRUE(
            waitForStatus(station, {MqttState::Disconnected, 300, "connection refused", 0}));
        ASSERT_TRUE(rig.broker.start()) << rig.broker.errorString().toStdString();
        ASSERT_TRUE(rig.waitForRows(500));
        ASSERT_TRUE(waitForStatus(station, {MqttState::Connected, 0, "", 0}));

        // Gone again, and the program ends before it comes back.
        rig.broker.stop();
        addRows(station, 50);
        EXPECT_TRUE(waitForStatus(station, {MqttState::Disconnected, 50, "connection refused", 0}));
        station.stop();
    }
    EXPECT_EQ(test::journalPairs(rig.journalPath(), Acknowledged),
              (std::vector<test::RowId>{{2, 500}}));
    ASSERT_TRUE(rig.broker.start()) << rig.broker.errorString().toStdString();
    {
        // The next start restores the run that ended: its 550 rows are the new session's first.
        Station station(setup); // session 3
        ASSERT_EQ(station.startJournal(), "");
        station.journal()->adopt(2, 550);
        station.startPublishing();
        addRows(station, 10);
        ASSERT_TRUE(rig.waitForRows(560));
        EXPECT_TRUE(waitForStatus(station, {MqttState::Connected, 0, "", 0}));
    }
    // The restored rows went out as session 2's; session 3's own follow them.
    EXPECT_EQ(rig.rows(), rowRange(3, 551, 560, rowRange(2, 1, 550)));
    EXPECT_EQ(test::journalPairs(rig.journalPath(), Acknowledged),
              (std::vector<test::RowId>{{2, 550}, {3, 560}}));
}

TEST_F(JournalPublishing, AJournalThatCannotBeReadIsReportedAndReadAgain)
{
    Journal first;
    ASSERT_EQ(first.open(rig.journalPath(), 30), "");
    JournalOutbox outbox(rig.journalPath(), first.session(), {"pexumo", ""});
    first.setCommitHook([&] { outbox.rowsCommitted(); });
    MqttPublisher publisher(outbox, Fast);
    publisher.start(readMqttConfig(rig.configPath()));
    for (int i = 0; i < 3; ++i)
        first.add(ListId::PH, Row);
    ASSERT_TRUE(rig.waitForRows(3));

    test::journalPairs(rig.journalPath(), "ALTER TABLE reading RENAME TO reading_away");
    outbox.rowsCommitted();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const MqttStatus s = publisher.status();
            return s.state == MqttState::Connected && s.waiting == 0 &&
                   s.reason == "cannot read the rows to publish: no such table: reading";
        },
        30000));
    // Read again within a second, without a wake.
    test::journalPairs(rig.journalPath(), "ALTER TABLE reading_away RENAME TO reading");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const MqttStatus s = publisher.status();
            return s.state == MqttState::Connected && s.waiting == 0 && s.reason.isEmpty();
        },
        30000));
    for (int i = 0; i < 2; ++i)
        first.add(ListId::PH, Row);
    ASSERT_TRUE(rig.waitForRows(5));
    EXPECT_EQ(rig.rows(), rowRange(1, 1, 5));
    publisher.stop(); // before the journal's hook goes
}

// A logger and the window share one journal; the window does not publish. The logger's rows
// all reach the broker while the window writes its own session beside it, and the journal
// never says the broker has more of them than it acknowledged. The window's rows are published
// by the window or not at all: neither while it runs nor by the logger's next run.
TEST_F(JournalPublishing, EachPublisherKeepsToItsOwnRuns)
{
    setup.program = QString::fromLatin1(LoggerProgram);
    setup.mqttInstance = "ttyA";
    PortSettings portA;
    portA.name = "ttyA";
    {
        Station logger(setup); // session 1
        logger.port().setSettings(portA);
        ASSERT_EQ(logger.startJournal(), "");
        logger.startPublishing();
        addRows(logger, 3);
        ASSERT_TRUE(rig.waitForRows(3));

        Journal window; // session 2, beside it
        ASSERT_EQ(window.open(rig.journalPath(), 30), "");
        for (int i = 0; i < 5; ++i)
            window.add(ListId::PH, Row);
        ASSERT_TRUE(window.flush());
        // The logger's session has no new rows when its next ones come: it stays with it.
        addRows(logger, 4);
        ASSERT_TRUE(rig.waitForRows(7));
        EXPECT_TRUE(waitForStatus(logger, {MqttState::Connected, 0, "", 0}));
        window.close(true);
        addRows(logger, 1);
        ASSERT_TRUE(rig.waitForRows(8));
        logger.stop();
    }
    EXPECT_EQ(test::journalPairs(rig.journalPath(), Acknowledged),
              (std::vector<test::RowId>{{1, 8}}));
    {
        Station logger(setup); // session 3: the window's ended run is not the logger's to send
        logger.port().setSettings(portA);
        ASSERT_EQ(logger.startJournal(), "");
        logger.startPublishing();
        addRows(logger, 2);
        ASSERT_TRUE(rig.waitForRows(10));
        logger.stop();
    }
    EXPECT_EQ(rig.rows(), rowRange(3, 1, 2, rowRange(1, 1, 8)));
    EXPECT_EQ(test::journalPairs(rig.journalPath(), Acknowledged),
              (std::vector<test::RowId>{{1, 8}, {3, 2}}));
}

// Which earlier runs a logger's next start sends: those of its own port that ended with rows
// the broker lacks; not another port's, nor a run of its own program still going on elsewhere.
TEST_F(JournalPublishing, ALoggerSendsTheEarlierRunsOfItsPortOnly)
{
    const auto run = [&](const char* port, int rows, bool end) {
        auto journal = std::make_unique<Journal>();
        EXPECT_EQ(journal->open(rig.journalPath(), 30, QDateTime::currentDateTime(),
                                QString::fromLatin1(LoggerProgram)),
                  "");
        journal->setPort(port);
        for (int i = 0; i < rows; ++i)
            journal->add(ListId::PH, Row);
        EXPECT_TRUE(journal->flush());
        if (end)
            journal->close(true);
        return journal;
    };
    {
        Journal start; // session 1: the journal is published from here on
        ASSERT_EQ(start.open(rig.journalPath(), 30), "");
        JournalOutbox outbox(rig.journalPath(), 1, {"pexumo", ""});
        ASSERT_EQ(outbox.attach([] {}), "");
        outbox.detach();
        start.close(true);
    }
    const auto ownEnded = run("ttyA", 3, true);    // session 2: sent
    const auto otherPort = run("ttyB", 4, true);   // session 3: not
    const auto stillGoing = run("ttyA", 5, false); // session 4: another logger of ttyA runs on
    setup.program = QString::fromLatin1(LoggerProgram);
    setup.mqttInstance = "ttyA";
    PortSettings portA;
    portA.name = "ttyA";
    {
        Station logger(setup); // session 5
        logger.port().setSettings(portA);
        ASSERT_EQ(logger.startJournal(), "");
        logger.startPublishing();
        addRows(logger, 2);
        ASSERT_TRUE(rig.waitForRows(5));
        logger.stop();
    }
    EXPECT_EQ(rig.rows(), rowRange(5, 1, 2, rowRange(2, 1, 3)));
}

// The rows and the alarm of the last moments before a stop reach the broker before "offline".
TEST_F(JournalPublishing, TheLastRowsAndAlarmsBeforeAStopAreSent)
{
    const ActiveAlarm low{AlarmParameter::DO, AlarmSide::Below, 3.1, 4.0, 3.1,
                          1796778787000,      1796778847000,    3600};
    {
        Station station(setup);
        ASSERT_EQ(station.startJournal(), "");
        station.startPublishing();
        ASSERT_TRUE(waitForStatus(station, {MqttState::Connected, 0, "", 0}));
        addRows(station, 50);
        emit station.run().alarmChanged({AlarmChange::Raise, low, 1796778847000, 3600});
        station.stop();
    }
    ASSERT_TRUE(rig.subscriber.waitFor(
        [](const auto& m) { return m.back().payload == R"({"status":"offline","session":1})"; }));
    EXPECT_EQ(rig.rows(), rowRange(1, 1, 50));
    EXPECT_EQ(rig.payloadsOn("alarm").size(), 1u);
    EXPECT_EQ(test::journalPairs(rig.journalPath(), Acknowledged),
              (std::vector<test::RowId>{{1, 50}}));
    EXPECT_EQ(test::journalPairs(rig.journalPath(), "SELECT raise_sent, clear_sent FROM alarm"),
              (std::vector<test::RowId>{{1, 0}}));
}

// The no-reading alarm tells the broker why no frame came, as the journal has it: the rise the
// cause at the rise, the clear the latest one. A new cause while it is up is no message of its
// own, and no run of the alarm command.
TEST_F(JournalPublishing, TheNoReadingAlarmCarriesItsCauseAsTheJournalHasIt)
{
    // 1796781600000 ms is 2026-12-09 03:00:00 at +01:00.
    ActiveAlarm silence{
        std::nullopt, AlarmSide::NoReading,  60, 60, 60, 1796781600000, 1796781660000,
        3600,         NoReadingCause::Silent};
    QStringList commands;
    {
        Station station(setup);
        ASSERT_EQ(station.startJournal(), "");
        AlarmSettings alarms;
        alarms.command = R"(sh -c "echo $0")"; // prints "raise" or "clear"
        station.applyAlarmSettings(alarms);
        QObject::connect(&station, &Station::alarmCommandFinished,
                         [&](const QString& result) { commands << result; });
        station.startPublishing();
        emit station.run().alarmChanged({AlarmChange::Raise, silence, 1796781660000, 3600});
        ASSERT_TRUE(rig.subscriber.waitFor([](const auto& m) {
            return std::count_if(m.begin(), m.end(),
                                 [](const auto& one) { return one.topic == "site/alarm"; }) == 1;
        }));
        silence.cause = NoReadingCause::LineLost; // the cable pulled
        emit station.run().noReadingCauseChanged(silence);
        ASSERT_TRUE(station.journal()->flush());
        EXPECT_EQ(test::journalPairs(rig.journalPath(), "SELECT n, cause = 'lost' FROM alarm"),
                  (std::vector<test::RowId>{{0, 1}}));
        ActiveAlarm back = silence;
        back.value = back.worst = 330;
        emit station.run().alarmChanged({AlarmChange::Clear, back, 1796781930000, 3600});
        ASSERT_TRUE(rig.subscriber.waitFor([](const auto& m) {
            return std::count_if(m.begin(), m.end(),
                                 [](const auto& one) { return one.topic == "site/alarm"; }) == 2;
        }));
        // The commands run in order: one for the cause would come before the clear's.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !commands.isEmpty() && commands.last().endsWith("clear"); }, 30000));
        station.stop();
    }
    EXPECT_EQ(commands,
              QStringList({"alarm command: exit 0: raise", "alarm command: exit 0: clear"}));
    EXPECT_EQ(rig.payloadsOn("alarm"),
              (std::vector<QByteArray>{
                  R"({"session":1,"event":"raise","parameter":"NoReading","side":"silent",)"
                  R"("cause":"silent","value":60,"unit":"s","limit":60,"worst":60,)"
                  R"("since":"2026-12-09T03:00:00.000+01:00",)"
                  R"("raised":"2026-12-09T03:01:00.000+01:00",)"
                  R"("time":"2026-12-09T03:01:00.000+01:00","ts":1796781660000})",
                  R"({"session":1,"event":"clear","parameter":"NoReading","side":"silent",)"
                  R"("cause":"lost","value":330,"unit":"s","limit":60,"worst":330,)"
                  R"("since":"2026-12-09T03:00:00.000+01:00",)"
                  R"("raised":"2026-12-09T03:01:00.000+01:00",)"
                  R"("time":"2026-12-09T03:05:30.000+01:00","ts":1796781930000})"}));
}

// A rise that waits for the broker tells the cause the journal has when it is read; one that is
// on its way when the cause changes is still the same rise, never sent twice.
TEST(JournalOutboxAlarms, ARiseIsNamedByItsPlaceNotByWhatItSays)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("j.sqlite");
    ActiveAlarm silence{
        std::nullopt, AlarmSide::NoReading,  60, 60, 60, 1796781600000, 1796781660000,
        3600,         NoReadingCause::Silent};
    Journal journal;
    ASSERT_EQ(journal.open(path, 30), "");
    JournalOutbox outbox(path, journal.session(), {"pexumo", ""});
    ASSERT_EQ(outbox.attach([] {}), "");
    journal.alarmRaised({AlarmChange::Raise, silence, silence.raisedMs, 3600});
    ASSERT_TRUE(journal.flush());
    const std::vector<OutboxAlarm> sent = outbox.alarmsWaiting({}, 10);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].event.alarm.cause, NoReadingCause::Silent);

    silence.cause = NoReadingCause::LineLost;
    journal.alarmCauseChanged(silence);
    ASSERT_TRUE(journal.flush());
    EXPECT_TRUE(outbox.alarmsWaiting(sent, 10).empty());
    const std::vector<OutboxAlarm> again = outbox.alarmsWaiting({}, 10);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].event.alarm.cause, NoReadingCause::LineLost);
    outbox.detach();
    journal.close(true);
}

// Publishing reads the journal: with Journal=0 it stays off and says why.
TEST_F(JournalPublishing, NeedsTheJournal)
{
    QFile ini(rig.configPath());
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly) &&
                ini.write("[Pexumo]\nJournal=0\n[Mqtt]\nHost=127.0.0.1\n") > 0);
    ini.close();
    Station station(setup);
    EXPECT_FALSE(station.startJournal().isEmpty());
    EXPECT_EQ(station.startPublishing(), (MqttStatus{MqttState::Off, 0, "the journal is off", 0}));
}

// Another program holds the journal locked when publishing starts (a backup): publishing says
// why it waits and starts once the lock is gone, with the rows listed meanwhile.
TEST_F(JournalPublishing, StartsOnceTheJournalIsNoLongerLocked)
{
    Station station(setup);
    ASSERT_EQ(station.startJournal(), "");
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "test-lock");
    db.setDatabaseName(rig.journalPath());
    ASSERT_TRUE(db.open());
    QSqlQuery lock(db);
    ASSERT_TRUE(lock.exec("BEGIN IMMEDIATE")) << lock.lastError().text().toStdString();
    station.startPublishing();
    addRows(station, 3);
    EXPECT_TRUE(waitForStatus(station, {MqttState::Disconnected, 0,
                                        "cannot read the rows to publish: " + rig.journalPath() +
                                            " is locked by another program",
                                        0}))
        << station.publishingStatus().reason.toStdString();
    ASSERT_TRUE(lock.exec("COMMIT"));
    ASSERT_TRUE(rig.waitForRows(3));
    EXPECT_EQ(rig.rows(), rowRange(1, 1, 3));
    station.stop();
    lock = QSqlQuery();
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase("test-lock");
}

} // namespace
} // namespace pexumo
