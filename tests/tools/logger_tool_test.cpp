// Runs the built pexumo-logger as a service would, with a home of its own and no display,
// against pexumo-meter-sim behind a pseudo-terminal, and reads back the journal it wrote.

#include "journal/journalreader.h"
#include "support/blackhole.h"
#include "support/journalsql.h"
#include "support/metersim.h"
#include "support/mqttrig.h"
#include "support/programrun.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <iostream>

#include <sys/stat.h>
#include <unistd.h>

using namespace pexumo;

namespace {

/// pexumo-logger as a child process; its status lines are read as they come.
struct LoggerProcess
{
    LoggerProcess(const QTemporaryDir& home, const QStringList& args)
        : LoggerProcess(home, QStringLiteral(PEXUMO_LOGGER_PATH), args)
    {
    }
    /// The logger started by \a program (a shell that sets a limit first, say).
    LoggerProcess(const QTemporaryDir& home, const QString& program, const QStringList& args)
    {
        process.setProcessEnvironment(test::privateHome(home.path(), test::Display::None));
        process.setWorkingDirectory(home.path());
        process.setReadChannel(QProcess::StandardError); // for waitForReadyRead()
        process.start(program, args);
    }
    /// The status lines so far, each without its date and time.
    QStringList lines()
    {
        static const QRegularExpression stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )");
        err += process.readAllStandardError();
        QStringList out = QString::fromUtf8(err).split(u'\n', Qt::SkipEmptyParts);
        for (QString& line : out)
            line.remove(stamp);
        return out;
    }
    bool waitForLine(const QString& start)
    {
        return waitForMatch(QRegularExpression(u'^' + QRegularExpression::escape(start)));
    }
    bool waitForMatch(const QRegularExpression& line)
    {
        const QDeadlineTimer deadline(20000);
        while (!lines().filter(line).size())
            if (!process.waitForReadyRead(int(deadline.remainingTime())))
                return false;
        return true;
    }
    /// The exit status; -1 when it did not end within 30 s or crashed.
    int status()
    {
        return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
                   ? process.exitCode()
                   : -1;
    }

    QProcess process; ///< killed by its destructor if still running
    QByteArray err;
};

bool waitUntil(const std::function<bool()>& done)
{
    for (const QDeadlineTimer deadline(20000); !done(); QThread::msleep(50))
        if (deadline.hasExpired())
            return false;
    return true;
}

std::vector<JournalSession> sessions(const QString& journal)
{
    JournalReader reader;
    return reader.open(journal).isEmpty() ? reader.sessions() : std::vector<JournalSession>{};
}

qint64 committedRows(const QString& journal)
{
    const auto all = sessions(journal);
    return all.empty() ? 0 : all[0].totalRows();
}

std::vector<std::pair<ListId, ResultRecord>> rows(const QString& journal)
{
    JournalReader reader;
    EXPECT_EQ(reader.open(journal), QString());
    std::vector<std::pair<ListId, ResultRecord>> out;
    reader.forEachRow(1, std::nullopt,
                      [&](ListId list, const ResultRecord& r) { out.emplace_back(list, r); });
    return out;
}

/// The times between two samples in a row, in milliseconds.
std::vector<qint64> sampleSpacing(const std::vector<std::pair<ListId, ResultRecord>>& rows)
{
    std::vector<qint64> spacing;
    qint64 last = 0;
    for (const auto& [list, row] : rows)
        if (list != ListId::Records) {
            if (last)
                spacing.push_back(row.StampMs - last);
            last = row.StampMs;
        }
    return spacing;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

/// An alarm command in \a home that appends its arguments as one line to {home}/told and says
/// "mail sent"; returns its path.
QString alarmScript(const QTemporaryDir& home)
{
    const QString command = home.filePath("alarm.sh");
    writeFile(command,
              "#!/bin/sh\necho \"$@\" >> " + home.filePath("told").toUtf8() + "\necho mail sent\n");
    QFile::setPermissions(command, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return command;
}

/// The lines the alarm command was run with so far.
QStringList told(const QTemporaryDir& home)
{
    QFile file(home.filePath("told"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

bool matches(const QString& pattern, const QString& text)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(text).hasMatch();
}

// The paced demo meter is pulled about three seconds in and comes back a second later; then
// SIGTERM. The logger waits for the meter and goes on by itself, raises the alarm of the demo's
// pH of about 7 and runs its command, ends with status 0 well within two seconds, and leaves
// one clean session holding a row for every tick it sampled, as many as it reported.
TEST(LoggerProgram, WaitsOutAPullAndClosesItsSessionWithEveryRowOnSigterm)
{
    QTemporaryDir home;
    const QString link = home.filePath("meter"), journal = home.filePath("j.sqlite");
    test::MeterSim sim;
    ASSERT_TRUE(sim.start({"--pty", "--link", link, "--fault", "unplug@10:1"}))
        << sim.errorString().toStdString();
    // The command keeps its arguments, as a mail script would send them.
    const QString command = home.filePath("alarm.sh"), told = home.filePath("told");
    writeFile(command, "#!/bin/sh\necho \"$@\" >> " + told.toUtf8() + "\necho mail sent\n");
    QFile::setPermissions(command, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString alarms = home.filePath("alarms.conf");
    writeFile(alarms, "[Alarms]\npH=8..9\nDelaySeconds=0\nNoReadingSeconds=0\nCommand=" +
                          command.toUtf8() + "\n");
    LoggerProcess logger(home, {"--port", link, "--journal", journal, "--settings", alarms});
    ASSERT_TRUE(logger.waitForLine("the meter is back on " + link));
    const qint64 atReturn = committedRows(journal);
    ASSERT_TRUE(waitUntil([&] { return committedRows(journal) >= atReturn + 2; }));
    QElapsedTimer stopping;
    stopping.start();
    logger.process.terminate();
    EXPECT_EQ(logger.status(), 0);
    EXPECT_LT(stopping.elapsed(), 2000);

    const QStringList lines = logger.lines();
    ASSERT_EQ(lines.size(), 7) << lines.join(u'\n').toStdString();
    EXPECT_EQ(lines[0], "logging " + link + " every 1 s into " + journal + ", session 1");
    EXPECT_EQ(lines[1], "connected to " + link);
    EXPECT_EQ(lines.filter(" Waiting for the meter to come back.").size(), 1);
    EXPECT_EQ(lines.filter(QRegularExpression(R"(^ALARM pH \d\.\d\d pH below 8\.0 since )")).size(),
              1);
    EXPECT_EQ(lines.count("alarm command: exit 0: mail sent"), 1);
    QFile arguments(told);
    ASSERT_TRUE(arguments.open(QIODevice::ReadOnly));
    EXPECT_TRUE(
        QRegularExpression(
            R"(^raise pH \d\.\d\d pH 8\.0 \d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(Z|[+-]\d\d:\d\d)\n$)")
            .match(QString::fromUtf8(arguments.readAll()))
            .hasMatch());
    const std::vector<JournalSession> all = sessions(journal);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].program, "pexumo-logger");
    // The journal keeps the alarm with its command's result; it was still up at the end.
    JournalReader reader;
    ASSERT_EQ(reader.open(journal), QString());
    const std::vector<JournalAlarm> alarmsKept = reader.alarms(1);
    ASSERT_EQ(alarmsKept.size(), 1u);
    EXPECT_EQ(alarmsKept[0].parameter, "pH");
    EXPECT_EQ(alarmsKept[0].side, AlarmSide::Below);
    EXPECT_EQ(alarmsKept[0].limit, 8.0);
    EXPECT_EQ(alarmsKept[0].raiseResult, "alarm command: exit 0: mail sent");
    EXPECT_FALSE(alarmsKept[0].cleared);
    EXPECT_TRUE(all[0].clean && all[0].ended);
    QString counts;
    for (ListId list : AllLists)
        counts += QStringLiteral(" %1=%2").arg(listName(list)).arg(all[0].rows[indexOf(list)]);
    EXPECT_EQ(lines[6],
              "stopped (SIGTERM); rows:" + counts + "; all in the journal, session 1 closed");
    const auto written = rows(journal);
    EXPECT_EQ(qint64(written.size()), all[0].totalRows());
    // One row a second while the meter is there, none while it is away: only the pull leaves
    // more than a second and a half between two rows.
    const std::vector<qint64> spacing = sampleSpacing(written);
    EXPECT_EQ(std::count_if(spacing.begin(), spacing.end(), [](qint64 ms) { return ms > 1500; }),
              1);
    EXPECT_GT(*std::min_element(spacing.begin(), spacing.end()), 500);
}

// A SIGKILL loses no row the logger had committed; its session did not close, and the window
// never offers it for restore. The rows it could not publish while the broker was away reach the
// broker when the next run finds it back: in order, before the next run's own.
TEST(LoggerProgram, LosesNoCommittedRowToAKillAndPublishesThemLater)
{
    test::MqttRig rig;
    ASSERT_TRUE(rig.start()) << rig.errorString().toStdString();
    rig.broker.stop();
    QTemporaryDir home;
    test::MeterSim sim;
    ASSERT_TRUE(sim.start({"--pty"})) << sim.errorString().toStdString();
    const QString journal = rig.journalPath();
    const QStringList args = {"--port", sim.portPath(), "--config", rig.configPath()};
    LoggerProcess logger(home, args);
    ASSERT_TRUE(waitUntil([&] { return committedRows(journal) >= 2; }));
    const auto before = rows(journal);
    logger.process.kill();
    logger.status();
    const auto after = rows(journal);
    ASSERT_GE(after.size(), before.size());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
    const std::vector<JournalSession> all = sessions(journal);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_FALSE(all[0].ended);
    EXPECT_FALSE(findRestoreOffer(all, 0, [](const JournalSession&) { return false; }));
    EXPECT_TRUE(rig.rows().empty());

    ASSERT_TRUE(rig.broker.start()) << rig.broker.errorString().toStdString();
    const qint64 killed = qint64(after.size());
    LoggerProcess next(home, args);
    ASSERT_TRUE(rig.waitForRows(std::size_t(killed) + 2));
    next.process.terminate();
    EXPECT_EQ(next.status(), 0);
    std::vector<test::RowId> arrived = rig.rows();
    ASSERT_GE(arrived.size(), std::size_t(killed) + 2);
    arrived.resize(std::size_t(killed) + 2);
    EXPECT_EQ(arrived, test::rowRange(2, 1, 2, test::rowRange(1, 1, killed)));
}

// A meter switched off while the cable stays in: frames stop, the port stays open. Its last
// reading is listed only while it is at most StaleSeconds old, the logger says so once, the
// journal gets no row from then on, and the no-reading alarm rises after NoReadingSeconds saying
// that the meter sends nothing; its command runs with the cause. A temperature beyond its limit
// raised the Temp alarm before, in C, as the command's arguments say. Then the cable is pulled
// (the terminal goes 10 s after the start, after a stray byte): the alarm stays up, the logger
// tells its new cause in one line, and the journal keeps it.
TEST(LoggerProgram, AMeterFallenSilentGetsNoInventedRowsAndRaisesTheAlarm)
{
    QTemporaryDir home;
    const QString journal = home.filePath("j.sqlite");
    test::MeterSim sim;
    ASSERT_TRUE(sim.startScript(home.filePath("meter.script"),
                                "wait 0.5\nlive 13 0712 0253\nwait 0.5\nlive 13 0713 0253\n"
                                "wait 0.5\nlive 13 0714 0253\nwait 0.5\nlive 13 0715 0253\n"
                                "wait 8\n00\nlive 13 0716 0253\n",
                                {"--fault", "unplug@4:60"}))
        << sim.errorString().toStdString();
    writeFile(home.filePath("config.ini"), "[Pexumo]\nStaleSeconds=2\n");
    const QString alarms = home.filePath("alarms.conf");
    writeFile(alarms, "[Alarms]\nTemp=..25\nDelaySeconds=0\nNoReadingSeconds=4\nCommand=" +
                          alarmScript(home).toUtf8() + "\n");
    LoggerProcess logger(home, {"--port", sim.portPath(), "--journal", journal, "--settings",
                                alarms, "--config", home.filePath("config.ini")});
    ASSERT_TRUE(logger.waitForLine("no new reading since "));
    const qint64 atStale = committedRows(journal);
    ASSERT_TRUE(logger.waitForLine("ALARM no reading since "));
    ASSERT_TRUE(waitUntil([&] { return told(home).size() == 2; }));
    ASSERT_TRUE(logger.waitForLine("no reading since "));
    logger.process.terminate();
    EXPECT_EQ(logger.status(), 0);

    const QStringList lines = logger.lines();
    EXPECT_EQ(lines.filter(QRegularExpression(R"(^ALARM Temp 25\.3 C above 25\.0 since )")).size(),
              1)
        << lines.join(u'\n').toStdString();
    EXPECT_EQ(lines
                  .filter(QRegularExpression(
                      R"(^no new reading since \d\d:\d\d:\d\d: no rows until the meter )"
                      R"(sends again$)"))
                  .size(),
              1);
    const QStringList rise = lines.filter(
        QRegularExpression(R"(^ALARM no reading since \d\d:\d\d:\d\d: the meter sends nothing$)"));
    ASSERT_EQ(rise.size(), 1);
    const QStringList change = lines.filter(QRegularExpression(R"(^no reading since )"));
    ASSERT_EQ(change.size(), 1);
    // Since the same last frame.
    EXPECT_EQ(change[0], rise[0].mid(6, 25) + ": now the line is lost");
    EXPECT_LT(lines.indexOf(rise[0]), lines.indexOf(change[0]));
    EXPECT_EQ(
        lines.filter(QRegularExpression(R"( was lost: .* Waiting for the meter to come back\.$)"))
            .size(),
        1);
    const QStringList commands = told(home);
    ASSERT_EQ(commands.size(), 2);
    EXPECT_TRUE(matches(R"(raise Temp 25\.3 C 25\.0 \S+)", commands[0]))
        << commands[0].toStdString();
    EXPECT_TRUE(matches(R"(raise NoReading [4-6](\.\d+)? s 4 \S+ silent)", commands[1]))
        << commands[1].toStdString();
    // Rows while the readings came, none after them, and all of them real: 7.12 .. 7.15.
    const auto written = rows(journal);
    EXPECT_EQ(qint64(written.size()), atStale);
    ASSERT_GE(written.size(), 3u);
    EXPECT_LE(written.size(), 6u);
    EXPECT_EQ(written.back().second.Value, "7.15");
    JournalReader reader;
    ASSERT_EQ(reader.open(journal), QString());
    const std::vector<JournalAlarm> kept = reader.alarms(1);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].parameter, "Temp");
    EXPECT_EQ(kept[0].cause, std::nullopt);
    EXPECT_EQ(kept[1].parameter, "NoReading");
    EXPECT_EQ(kept[1].cause, NoReadingCause::LineLost);
    EXPECT_FALSE(kept[1].cleared); // up at the end
}

// A meter that is not there when the logger starts: the logger keeps trying to open the port
// and the no-reading alarm rises after NoReadingSeconds, saying that the port does not open;
// when the meter comes, the logger connects and its frames clear the alarm.
TEST(LoggerProgram, AMeterMissingFromTheStartRaisesTheAlarmUntilItComes)
{
    QTemporaryDir home;
    const QString link = home.filePath("meter"), journal = home.filePath("j.sqlite");
    const QString alarms = home.filePath("alarms.conf");
    writeFile(alarms, "[Alarms]\nNoReadingSeconds=1\nCommand=" + alarmScript(home).toUtf8() + "\n");
    LoggerProcess logger(home, {"--port", link, "--journal", journal, "--settings", alarms});
    ASSERT_TRUE(logger.waitForLine("alarm command: exit 0: mail sent"));
    test::MeterSim sim;
    ASSERT_TRUE(sim.start({"--pty", "--link", link})) << sim.errorString().toStdString();
    ASSERT_TRUE(logger.waitForLine("CLEAR no reading from "));
    logger.process.terminate();
    EXPECT_EQ(logger.status(), 0);

    const QStringList lines = logger.lines();
    ASSERT_GE(lines.size(), 6) << lines.join(u'\n').toStdString();
    EXPECT_EQ(lines[1], "There is no port " + link + ": no such device. Trying again every 5 s.");
    EXPECT_TRUE(
        matches(R"(ALARM no reading since \d\d:\d\d:\d\d: the port does not open)", lines[2]))
        << lines[2].toStdString();
    EXPECT_EQ(lines[3], "alarm command: exit 0: mail sent");
    EXPECT_EQ(lines[4], "connected to " + link);
    const QStringList commands = told(home);
    ASSERT_GE(commands.size(), 1);
    EXPECT_TRUE(matches(R"(raise NoReading [1-3](\.\d+)? s 1 \S+ unopened)", commands[0]))
        << commands[0].toStdString();
    JournalReader reader;
    ASSERT_EQ(reader.open(journal), QString());
    const std::vector<JournalAlarm> kept = reader.alarms(1);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].parameter, "NoReading");
    EXPECT_TRUE(kept[0].cleared);
}

using Messages = std::vector<test::MqttSubscriber::Message>;

/// (session, seq) of the rows among \a messages, at their first arrival.
std::vector<test::RowId> rowsIn(const Messages& messages)
{
    std::vector<test::RowId> rows;
    for (const auto& m : messages) {
        if (m.topic.endsWith("/status") || m.topic.endsWith("/alarm"))
            continue;
        const QJsonObject row = QJsonDocument::fromJson(m.payload).object();
        const test::RowId id{row["session"].toInteger(), row["seq"].toInteger()};
        if (std::find(rows.begin(), rows.end(), id) == rows.end())
            rows.push_back(id);
    }
    return rows;
}

// One publishing logger's life, with the decimal comma set and no Topic: it announces itself
// "online" (retained) under a topic of its own port, goes on after the meter's halt frame, keeps
// every row through 15 s without a broker, has the backlog at the broker within 10 s of its
// return and says how many rows went, and at SIGTERM sends its last rows before "offline".
TEST(LoggerProgram, PublishesEveryRowThroughAnOutageAndEndsWithOffline)
{
    if (!test::MqttBroker::isInstalled())
        GTEST_SKIP() << "mosquitto is not installed";
    QTemporaryDir home;
    test::MqttBroker broker;
    ASSERT_TRUE(broker.start()) << broker.errorString().toStdString();
    test::MqttSubscriber subscriber;
    ASSERT_TRUE(subscriber.start(broker.port(), "pexumo/#"));
    const QString link = home.filePath("meter"), journal = home.filePath("j.sqlite");
    // A password every user can read works, and is warned of.
    writeFile(home.filePath("config.ini"),
              "[Pexumo]\nChangeDecimal=1\nJournalFile=j.sqlite\n[Mqtt]\nHost=127.0.0.1\nPort=" +
                  QByteArray::number(broker.port()) + "\nUser=meter\nPasswordFile=pw\n");
    writeFile(home.filePath("pw"), "s3cret\n");
    ASSERT_TRUE(QFile::setPermissions(home.filePath("pw"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    test::MeterSim sim;
    ASSERT_TRUE(sim.start({"--pty", "--link", link, "--fault", "halt@4"}))
        << sim.errorString().toStdString();
    LoggerProcess logger(home, {"--port", link});
    ASSERT_TRUE(logger.waitForLine("MQTT connected"));
    EXPECT_EQ(logger.lines().filter("MQTT: password file ").value(0),
              "MQTT: password file " + home.filePath("pw") +
                  " can be read by every user of this computer: chmod o-r " + home.filePath("pw"));
    ASSERT_TRUE(logger.waitForLine("live readings again: sampling goes on"));
    const QByteArray topic = "pexumo/" + QSysInfo::machineHostName().toUtf8() + "/meter";

    // A subscriber that comes later learns at once that the logger is there.
    test::MqttSubscriber late;
    ASSERT_TRUE(late.start(broker.port(), topic + "/status"));
    ASSERT_TRUE(late.waitFor([](const Messages& m) { return !m.empty(); }));
    EXPECT_EQ(late.messages().at(0).payload, R"({"status":"online","session":1})");
    EXPECT_TRUE(late.messages().at(0).retained);

    broker.stop();
    ASSERT_TRUE(logger.waitForMatch(
        QRegularExpression(R"(^MQTT(: \d+ rows? waiting| disconnected): connection )")));
    QThread::msleep(15000);
    const qint64 beforeReturn = committedRows(journal);
    ASSERT_TRUE(broker.start()) << broker.errorString().toStdString();
    QElapsedTimer back;
    back.start();
    ASSERT_TRUE(logger.waitForLine("MQTT connected, "));
    EXPECT_LE(back.elapsed(), 10000)
        << "the backlog reached the broker after " << back.elapsed() << " ms";
    const QStringList sentLines =
        logger.lines().filter(QRegularExpression(R"(^MQTT connected, \d+ rows sent$)"));
    ASSERT_EQ(sentLines.size(), 1) << logger.lines().join(u'\n').toStdString();
    EXPECT_GE(sentLines[0].section(u' ', 2, 2).toLongLong(), 10);
    // A row listed after the return goes the ordinary way.
    ASSERT_TRUE(waitUntil([&] { return committedRows(journal) > beforeReturn; }));

    logger.process.terminate();
    EXPECT_EQ(logger.status(), 0);
    EXPECT_TRUE(logger.lines().last().endsWith("; all in the journal, session 1 closed"));
    const qint64 total = committedRows(journal);
    ASSERT_TRUE(subscriber.waitFor([&](const Messages& m) {
        return qint64(rowsIn(m).size()) == total &&
               m.back().payload == R"({"status":"offline","session":1})";
    })) << rowsIn(subscriber.messages()).size()
        << " of " << total;

    const Messages messages = subscriber.messages();
    EXPECT_EQ(rowsIn(messages), test::rowRange(1, 1, total));
    EXPECT_EQ(test::journalPairs(journal, "SELECT session, seq FROM mqtt_acked"),
              (std::vector<test::RowId>{{1, total}}));
    const std::vector<JournalSession> all = sessions(journal);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].port, link);
    // Every row names the meter's port, its time to the millisecond and as a number, and its
    // numbers have "." whatever the lists show.
    int rows = 0;
    for (const auto& m : messages) {
        if (m.topic.endsWith("/status"))
            continue;
        ASSERT_TRUE(m.topic.startsWith(topic + "/")) << m.topic.toStdString();
        const QJsonObject row = QJsonDocument::fromJson(m.payload).object();
        ASSERT_FALSE(row.isEmpty()) << m.payload.toStdString();
        EXPECT_EQ(row["port"].toString(), link);
        EXPECT_TRUE(row["value"].isDouble()) << m.payload.toStdString();
        EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)")
                        .match(row["time"].toString())
                        .hasMatch())
            << m.payload.toStdString();
        EXPECT_EQ(
            QDateTime::fromString(row["time"].toString(), Qt::ISODateWithMs).toMSecsSinceEpoch(),
            row["ts"].toInteger());
        ++rows;
    }
    EXPECT_GE(rows, total);
    // The lists showed "7,12" and the like: the broker gets JSON numbers with ".".
    const QRegularExpression fraction(R"re("(value|temp)":-?\d+\.\d+[,}])re");
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [&](const auto& m) {
        return fraction.match(QString::fromUtf8(m.payload)).hasMatch();
    })) << messages.at(1).payload.toStdString();
}

// A logger that dies while the broker is up: the broker tells its subscribers with the logger's
// last will, "offline", retained for those that come later.
TEST(LoggerProgram, ItsLastWillTellsOfItsDeath)
{
    if (!test::MqttBroker::isInstalled())
        GTEST_SKIP() << "mosquitto is not installed";
    test::MqttRig rig;
    ASSERT_TRUE(rig.start()) << rig.errorString().toStdString();
    QTemporaryDir home;
    test::MeterSim sim;
    ASSERT_TRUE(sim.start({"--pty"})) << sim.errorString().toStdString();
    LoggerProcess logger(home, {"--port", sim.portPath(), "--config", rig.configPath()});
    ASSERT_TRUE(logger.waitForLine("MQTT connected"));
    logger.process.kill();
    logger.status();
    EXPECT_TRUE(rig.subscriber.waitFor([](const Messages& m) {
        return !m.empty() && m.back().payload == R"({"status":"offline","session":1})";
    }));
    test::MqttSubscriber late;
    ASSERT_TRUE(late.start(rig.broker.port(), "site/status"));
    ASSERT_TRUE(late.waitFor([](const Messages& m) { return !m.empty(); }));
    EXPECT_EQ(late.messages().at(0).payload, R"({"status":"offline","session":1})");
    EXPECT_TRUE(late.messages().at(0).retained);
}

// A journal that fails in the middle of the run (here a file-size limit, as a full disk): the
// logger says so, ends with status 1, and never claims that everything is in the journal.
TEST(LoggerProgram, AFailedJournalIsNeverReportedAsComplete)
{
    QTemporaryDir home;
    LoggerProcess logger(home, QStringLiteral("/bin/sh"),
                         {"-c", "ulimit -f 100 && exec \"$0\" --demo --journal \"$1\"",
                          QStringLiteral(PEXUMO_LOGGER_PATH), home.filePath("j.sqlite")});
    EXPECT_EQ(logger.status(), 1);
    const QStringList lines = logger.lines();
    ASSERT_GE(lines.size(), 3) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines[lines.size() - 2].startsWith("the journal stopped: "))
        << lines.join(u'\n').toStdString();
    EXPECT_TRUE(
        QRegularExpression(R"(^stopped \(the journal is the logger's only store\); rows: )"
                           R"(pH=\d+ .*; \d+ not written to the journal, session 1 left open$)")
            .match(lines.last())
            .hasMatch())
        << lines.last().toStdString();
    EXPECT_EQ(lines.filter("all in the journal").size(), 0);
}

// The network lets the logger down in three ways; SIGTERM still ends it within two seconds,
// every row in the journal:
// - a broker's name whose look-up never answers: the logger runs in a network and mount
//   namespace of its own whose only name server is a socket that reads and never answers
//   (needs root, unshare and python3; skipped without them);
// - an address that drops every packet (a black hole on the loopback);
// - a broker that hangs (stopped with SIGSTOP) after the logger connected.
TEST(LoggerProgram, EndsWithinTwoSecondsWhateverTheNetworkDoes)
{
    if (!test::MqttBroker::isInstalled())
        GTEST_SKIP() << "mosquitto is not installed";
    test::BlackHole hole;
    ASSERT_NE(hole.port(), 0);
    test::MqttBroker hanging;
    ASSERT_TRUE(hanging.start()) << hanging.errorString().toStdString();
    const bool namespaces =
        ::geteuid() == 0 && QFileInfo::exists("/usr/bin/unshare") &&
        QFileInfo::exists("/usr/bin/python3") &&
        test::runProgram("/usr/bin/unshare", {"-m", "-n", "true"}).exitCode == 0;
    struct Case
    {
        const char* name;
        QByteArray host;
        quint16 port;
        const char* seen; ///< the status line that shows the logger is at it
    };
    const Case cases[] = {
        {"silent name server", "broker.pexumo.test", 1883, "MQTT connecting"},
        {"black hole", "127.0.0.1", hole.port(), "MQTT connecting"},
        {"hanging broker", "127.0.0.1", hanging.port(), "MQTT connected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool silentDns = c.host == "broker.pexumo.test";
        if (silentDns && !namespaces) {
            std::cout << "[ SKIPPED  ] " << c.name
                      << ": no namespaces of its own (root, unshare, "
                         "python3)\n";
            continue;
        }
        QTemporaryDir home;
        writeFile(home.filePath("config.ini"),
                  "[Mqtt]\nHost=" + c.host + "\nPort=" + QByteArray::number(c.port) + "\n");
        writeFile(home.filePath("resolv.conf"), "nameserver 127.0.0.1\noptions timeout:30\n");
        const QString script =
            "ip link set lo up && mount --bind \"$1\" /etc/resolv.conf || exit 97\n"
            "/usr/bin/python3 -c 'import socket, time\n"
            "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
            "s.bind((\"127.0.0.1\", 53))\n"
            "time.sleep(60)' >/dev/null 2>&1 </dev/null &\n"
            "sleep 0.3\n"
            "exec \"$0\" --demo --config \"$2\"\n";
        LoggerProcess logger =
            silentDns ? LoggerProcess(home, "/usr/bin/unshare",
                                      {"-m", "-n", "/bin/sh", "-c", script, PEXUMO_LOGGER_PATH,
                                       home.filePath("resolv.conf"), home.filePath("config.ini")})
                      : LoggerProcess(home, {"--demo", "--config", home.filePath("config.ini")});
        ASSERT_TRUE(logger.waitForLine(c.seen)) << logger.lines().join(u'\n').toStdString();
        ASSERT_TRUE(logger.waitForLine("connected to Demo meter"));
        if (c.port == hanging.port())
            hanging.pause(true);
        QThread::msleep(1500); // rows wait, the look-up or the connection hangs
        QElapsedTimer stopping;
        stopping.start();
        logger.process.terminate();
        EXPECT_EQ(logger.status(), 0);
        std::cout << "[ MEASURED ] SIGTERM with " << c.name << ": " << stopping.elapsed()
                  << " ms\n";
        EXPECT_LT(stopping.elapsed(), 2000);
        EXPECT_TRUE(logger.lines().last().endsWith("; all in the journal, session 1 closed"))
            << logger.lines().join(u'\n').toStdString();
        hanging.pause(false);
    }
}

// No meter at the start: the reason once, then a new try every 5 s, so a meter plugged in
// later is found and read.
TEST(LoggerProgram, FindsAMeterPluggedInLater)
{
    QTemporaryDir home;
    const QString link = home.filePath("meter");
    LoggerProcess logger(home, {"--port", link});
    ASSERT_TRUE(logger.waitForLine("There is no port " + link));
    test::MeterSim sim;
    ASSERT_TRUE(sim.start({"--pty", "--link", link})) << sim.errorString().toStdString();
    ASSERT_TRUE(logger.waitForLine("connected to " + link));
    ASSERT_TRUE(
        waitUntil([&] { return committedRows(home.filePath("data/Pexumo/journal.sqlite")) > 0; }));
    logger.process.terminate();
    EXPECT_EQ(logger.status(), 0);
    const QStringList lines = logger.lines();
    EXPECT_EQ(lines.filter(" Trying again every 5 s.").size(), 1)
        << lines.join(u'\n').toStdString();
}

// Under systemd, standard error is the system journal's stream (JOURNAL_STREAM names it): each
// line starts with its priority instead of the time.
TEST(LoggerProgram, TellsTheSystemJournalEachLinesPriority)
{
    QTemporaryDir home;
    const QString log = home.filePath("stderr");
    writeFile(log, {});
    struct stat st = {};
    ASSERT_EQ(::stat(QFile::encodeName(log).constData(), &st), 0);
    QProcess process;
    QProcessEnvironment env = test::privateHome(home.path(), test::Display::None);
    env.insert("JOURNAL_STREAM",
               QStringLiteral("%1:%2").arg(quint64(st.st_dev)).arg(quint64(st.st_ino)));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(home.path());
    process.setStandardErrorFile(log);
    process.start(QStringLiteral(PEXUMO_LOGGER_PATH), {"--once", "--port", "ttyNONE9"});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 1);
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()),
              "<6>logging ttyNONE9 every 1 s into " + home.path() +
                  "/data/Pexumo/journal.sqlite, session 1\n"
                  "<4>There is no port ttyNONE9: no such device.\n"
                  "<5>stopped (the port did not open and --once was given); rows: pH=0 ORP=0 "
                  "COND=0 TDS=0 Salt=0 DO=0 O2=0 Records=0; all in the journal, session 1 "
                  "closed\n");
}

// A filling disk: with more free space asked for (MinFreeMB) than the journal's file system has,
// the disk alarm rises as any alarm does: a status line, the alarm command, the broker and the
// journal.
TEST(LoggerProgram, RaisesTheDiskAlarmWhenTheJournalsDiskRunsShort)
{
    test::MqttRig rig;
    ASSERT_TRUE(rig.start("MinFreeMB=1000000000\n")) << rig.errorString().toStdString();
    QTemporaryDir home;
    const QString command = home.filePath("alarm.sh"), told = home.filePath("told");
    writeFile(command, "#!/bin/sh\necho \"$@\" >> " + told.toUtf8() + "\n");
    QFile::setPermissions(command, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString alarms = home.filePath("alarms.conf");
    writeFile(alarms, "[Alarms]\nCommand=" + command.toUtf8() + "\n");
    LoggerProcess logger(home, {"--demo", "--config", rig.configPath(), "--settings", alarms});
    ASSERT_TRUE(logger.waitForLine("ALARM Disk ")) << logger.lines().join(u'\n').toStdString();
    const QStringList raised = logger.lines().filter(QRegularExpression(
        R"(^ALARM Disk (\d+) MB free, below 1000000000 MB since \d\d:\d\d:\d\d$)"));
    ASSERT_EQ(raised.size(), 1) << logger.lines().join(u'\n').toStdString();
    const QString free = raised[0].section(u' ', 2, 2);
    ASSERT_TRUE(waitUntil([&] { return rig.payloadsOn("alarm").size() == 1; }));
    const QByteArray payload = rig.payloadsOn("alarm")[0];
    EXPECT_TRUE(payload.contains(R"("event":"raise","parameter":"Disk","side":"below","value":)" +
                                 free.toUtf8() + R"(,"unit":"MB","limit":1000000000,)"))
        << payload.constData();
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(told).size() > 0; }));
    logger.process.terminate();
    EXPECT_EQ(logger.status(), 0);
    QFile arguments(told);
    ASSERT_TRUE(arguments.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QRegularExpression(R"(^raise Disk )" + free +
                                   R"( MB 1000000000 )"
                                   R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(Z|[+-]\d\d:\d\d)\n$)")
                    .match(QString::fromUtf8(arguments.readAll()))
                    .hasMatch());
    JournalReader reader;
    ASSERT_EQ(reader.open(rig.journalPath()), QString());
    const std::vector<JournalAlarm> kept = reader.alarms(1);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].parameter, "Disk");
    EXPECT_EQ(kept[0].side, AlarmSide::Below);
    EXPECT_EQ(kept[0].limit, 1000000000);
    EXPECT_EQ(kept[0].raisedValue, free.toDouble());
    EXPECT_EQ(kept[0].unit(), "MB");
    EXPECT_FALSE(kept[0].cleared); // the disk did not grow
}

// What a run starts with, and each way it ends at once: its status lines ("…" stands for any
// text) and exit status. "{home}" is its home and working folder, "{meter}" a simulated meter
// that is pulled about three seconds in.
struct StartCase
{
    const char* name;
    const char* args;    ///< separated by blanks
    QByteArray settings; ///< the user's own settings file; "{command}": the alarm command
    QByteArray config;   ///< config.ini in the working folder
    QString lines;       ///< separated by line ends
    int status;
    QString told = {}; ///< the alarm command's runs, as its arguments, separated by line ends
};

class LoggerStart : public ::testing::TestWithParam<StartCase>
{
};

TEST_P(LoggerStart, TellsWhatItRunsWithAndWhyItEnds)
{
    const StartCase& c = GetParam();
    QTemporaryDir home;
    const auto place = [&](QString text) {
        return text.replace("{home}", home.path()).replace("{meter}", home.filePath("meter"));
    };
    test::MeterSim sim;
    if (QString(c.args).contains("{meter}")) {
        ASSERT_TRUE(sim.start({"--pty", "--link", place("{meter}"), "--fault", "unplug@10:5"}));
    }
    writeFile(home.filePath("config/Pexumo/Pexumo.conf"),
              QByteArray(c.settings).replace("{command}", alarmScript(home).toUtf8()));
    writeFile(home.filePath("config.ini"), c.config);
    writeFile(home.filePath("notes.txt"), "not a journal\n");
    LoggerProcess logger(home, place(c.args).split(u' ', Qt::SkipEmptyParts));
    EXPECT_EQ(logger.status(), c.status);
    const QStringList lines = logger.lines(), expected = place(c.lines).split(u'\n');
    ASSERT_EQ(lines.size(), expected.size()) << lines.join(u'\n').toStdString();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QStringList parts = expected[i].split(u'…');
        EXPECT_TRUE(parts.size() == 1
                        ? lines[i] == parts[0]
                        : lines[i].startsWith(parts[0]) && lines[i].endsWith(parts[1]))
            << lines[i].toStdString() << "\n  expected " << expected[i].toStdString();
    }
    const QStringList runs = told(home);
    const QStringList expectedRuns = c.told.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(runs.size(), expectedRuns.size()) << runs.join(u'\n').toStdString();
    for (qsizetype i = 0; i < runs.size(); ++i) {
        QStringList parts = expectedRuns[i].split(u'…');
        for (QString& part : parts)
            part = QRegularExpression::escape(part);
        EXPECT_TRUE(matches(parts.join(".*"), runs[i])) << runs[i].toStdString();
    }
}

const char kOnceEnd[] = "stopped (the port did not open and --once was given); rows: pH=0 ORP=0 "
                        "COND=0 TDS=0 Salt=0 DO=0 O2=0 Records=0; all in the journal, session 1 "
                        "closed";
const QByteArray kRemembered = "[Port]\nName=ttyNONE7\n[Run]\nInterval=7\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(All, LoggerStart, ::testing::Values(
    StartCase{"Defaults", "--once", {}, {},
        "logging COM2 every 1 s into {home}/data/Pexumo/journal.sqlite, session 1\n"
        "There is no port COM2: no such device.\n" + QString(kOnceEnd), 1},
    StartCase{"WhatTheWindowRemembered", "--once", kRemembered, {},
        "logging ttyNONE7 every 7 s into {home}/data/Pexumo/journal.sqlite, session 1\n"
        "There is no port ttyNONE7: no such device.\n" + QString(kOnceEnd), 1},
    StartCase{"OptionsWinAndConfigNamesTheJournal",
        "--once --port COM2 --interval 3 --config {home}/config.ini --settings {home}/none.conf",
        kRemembered, "[Pexumo]\nJournalFile=j.sqlite\n",
        "alarm settings: {home}/none.conf: no such file\n"
        "logging COM2 every 3 s into {home}/j.sqlite, session 1\n"
        "There is no port COM2: no such device.\n" + QString(kOnceEnd), 1},
    StartCase{"NotAJournal", "--journal {home}/notes.txt", {}, {},
        "the journal cannot be used: {home}/notes.txt is not a Pexumo journal", 1},
    StartCase{"JournalOff", "", {}, "[Pexumo]\nJournal=0\n",
        "Journal=0 in {home}/config.ini turns off the journal, the logger's only store", 2},
    // The alarm of the lost line is raised and its command run before the end.
    StartCase{"AutoReconnectOff", "--port {meter}", "[Alarms]\nCommand={command}\n",
        "[Pexumo]\nAutoReconnect=0\n",
        "logging {meter} every 1 s into {home}/data/Pexumo/journal.sqlite, session 1\n"
        "connected to {meter}\n"
        "ALARM no reading since …: the line is lost\n"
        "The connection to {meter} was lost: …\n"
        "alarm command: exit 0: mail sent\n"
        "stopped (AutoReconnect=0 in config.ini: nobody is there to connect again); rows: pH=…; "
        "all in the journal, session 1 closed", 1,
        "raise NoReading … s 60 … lost"},
    StartCase{"BadInterval", "--interval 0", {}, {},
        "pexumo-logger: bad interval \"0\": Interval value must be from 1 to 2147483 seconds.", 2}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
