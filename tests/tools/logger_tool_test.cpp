// Runs the built pexumo-logger as a service would, with a home of its own and no display,
// against pexumo-meter-sim behind a pseudo-terminal, and reads back the journal it wrote.

#include "journal/journalreader.h"
#include "support/metersim.h"
#include "support/mqttrig.h"
#include "support/programrun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace pexumo;

namespace {

/// pexumo-logger as a child process; its status lines are read as they come.
struct LoggerProcess
{
    LoggerProcess(const QTemporaryDir& home, const QStringList& args)
    {
        process.setProcessEnvironment(test::privateHome(home.path(), test::Display::None));
        process.setWorkingDirectory(home.path());
        process.setReadChannel(QProcess::StandardError); // for waitForReadyRead()
        process.start(QStringLiteral(PEXUMO_LOGGER_PATH), args);
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
        const QDeadlineTimer deadline(20000);
        while (!lines().filter(QRegularExpression(u'^' + QRegularExpression::escape(start))).size())
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
    QByteArray settings; ///< the user's own settings file
    QByteArray config;   ///< config.ini in the working folder
    QString lines;       ///< separated by line ends
    int status;
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
    writeFile(home.filePath("config/Pexumo/Pexumo.conf"), c.settings);
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
    StartCase{"AutoReconnectOff", "--port {meter}", {}, "[Pexumo]\nAutoReconnect=0\n",
        "logging {meter} every 1 s into {home}/data/Pexumo/journal.sqlite, session 1\n"
        "connected to {meter}\n"
        "The connection to {meter} was lost: …\n"
        "stopped (AutoReconnect=0 in config.ini: nobody is there to connect again); rows: pH=…; "
        "all in the journal, session 1 closed", 1},
    StartCase{"BadInterval", "--interval 0", {}, {},
        "pexumo-logger: bad interval \"0\": Interval value must be from 1 to 2147483 seconds.", 2}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
