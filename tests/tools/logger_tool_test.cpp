// Runs the built pexumo-logger as a service would, with a home of its own and no display,
// against pexumo-meter-sim behind a pseudo-terminal, and reads back the journal it wrote.

#include "journal/journalreader.h"
#include "support/metersim.h"
#include "support/programrun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

using namespace pexumo;

namespace {

/// pexumo-logger as a child process whose status lines are collected as they come.
class LoggerProcess
{
public:
    explicit LoggerProcess(const QTemporaryDir& home)
    {
        m_process.setProcessEnvironment(test::privateHome(home.path(), test::Display::None));
        m_process.setWorkingDirectory(home.path());
        m_process.setReadChannel(QProcess::StandardError); // for waitForReadyRead()
    }
    ~LoggerProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    void start(const QStringList& args)
    {
        m_process.start(QStringLiteral(PEXUMO_LOGGER_PATH), args);
        ASSERT_TRUE(m_process.waitForStarted());
    }
    /// The status lines so far, each without its date and time.
    QStringList lines()
    {
        m_err += m_process.readAllStandardError();
        static const QRegularExpression stamp(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d "));
        QStringList out = QString::fromUtf8(m_err).split(u'\n', Qt::SkipEmptyParts);
        for (QString& line : out)
            line.remove(stamp);
        return out;
    }
    /// Waits up to \a ms for a status line that starts with \a text.
    bool waitForLine(const QString& text, int ms = 20000)
    {
        const QDeadlineTimer deadline(ms);
        while (!lines().filter(QRegularExpression(u'^' + QRegularExpression::escape(text))).size())
            if (!m_process.waitForReadyRead(int(deadline.remainingTime())))
                return false;
        return true;
    }
    /// Waits up to \a ms for the logger to end; its exit status, -1 when it did not end or crashed.
    int wait(int ms = 30000)
    {
        if (!m_process.waitForFinished(ms) || m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        return m_process.exitCode();
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QByteArray m_err;
};

/// Polls \a done for up to \a ms.
bool waitUntil(const std::function<bool()>& done, int ms = 20000)
{
    for (const QDeadlineTimer deadline(ms); !done(); QThread::msleep(50))
        if (deadline.hasExpired())
            return false;
    return true;
}

std::vector<JournalSession> sessions(const QString& journal)
{
    JournalReader reader;
    if (!reader.open(journal).isEmpty())
        return {};
    return reader.sessions();
}

struct Row
{
    ListId list;
    ResultRecord record;
};

std::vector<Row> rows(const QString& journal, qint64 session)
{
    JournalReader reader;
    EXPECT_EQ(reader.open(journal), QString());
    std::vector<Row> out;
    reader.forEachRow(session, std::nullopt, [&](ListId list, const ResultRecord& r) {
        out.push_back({list, r});
    });
    return out;
}

/// The per-list counts of a status line "...rows: pH=3 ORP=1 ... Records=0; ...".
ListCounts reportedCounts(const QString& line)
{
    ListCounts counts{};
    const QString part = line.section(QStringLiteral("rows: "), 1).section(u';', 0, 0);
    for (const QString& field : part.split(u' '))
        if (const auto list = listFromName(field.section(u'=', 0, 0)))
            counts[indexOf(*list)] = field.section(u'=', 1).toLongLong();
    return counts;
}

/// The longest and shortest time between two samples in a row, in milliseconds.
std::pair<qint64, qint64> sampleSpacing(const std::vector<Row>& rows)
{
    qint64 longest = 0, shortest = std::numeric_limits<qint64>::max(), last = 0;
    for (const Row& row : rows) {
        if (row.list == ListId::Records)
            continue;
        if (last) {
            longest = std::max(longest, row.record.StampMs - last);
            shortest = std::min(shortest, row.record.StampMs - last);
        }
        last = row.record.StampMs;
    }
    return {shortest, longest};
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// A few seconds of the paced demo meter, then SIGTERM: status 0 well within two seconds, and
// one clean session of the logger holding a row for every tick, as many as it reported. The
// demo's pH of about 7 is below the limit given: the alarm and its command are told.
TEST(LoggerProgram, SamplesUntilSigtermAndClosesItsSessionWithEveryRow)
{
    QTemporaryDir home;
    test::MeterSim sim;
    ASSERT_TRUE(sim.start({QStringLiteral("--pty")})) << sim.errorString().toStdString();
    const QString journal = home.filePath(QStringLiteral("j.sqlite"));
    const QString alarms = home.filePath(QStringLiteral("alarms.conf"));
    writeFile(alarms, "[Alarms]\npH=8..9\nDelaySeconds=0\nNoReadingSeconds=0\nCommand=true\n");
    LoggerProcess logger(home);
    logger.start({QStringLiteral("--port"), sim.portPath(), QStringLiteral("--journal"), journal,
                  QStringLiteral("--settings"), alarms});
    ASSERT_TRUE(logger.waitForLine(QStringLiteral("connected to ") + sim.portPath()));
    ASSERT_TRUE(waitUntil([&] {
        const auto s = sessions(journal);
        return !s.empty() && s[0].totalRows() >= 4;
    }));
    QElapsedTimer stopping;
    stopping.start();
    logger.process().terminate();
    EXPECT_EQ(logger.wait(), 0);
    EXPECT_LT(stopping.elapsed(), 2000);

    const QStringList lines = logger.lines();
    ASSERT_EQ(lines.size(), 5) << lines.join(u'\n').toStdString();
    EXPECT_EQ(
        lines[0],
        QStringLiteral("logging %1 every 1 s into %2, session 1").arg(sim.portPath(), journal));
    EXPECT_EQ(lines.filter(QRegularExpression(R"(^ALARM pH \d\.\d\d pH below 8\.0 since )")).size(),
              1);
    EXPECT_EQ(lines.count(QStringLiteral("alarm command: exit 0")), 1);
    const QString& last = lines.back();
    EXPECT_TRUE(last.startsWith("stopped (SIGTERM); rows: pH=")) << last.toStdString();
    EXPECT_TRUE(last.endsWith("; all in the journal, session 1 closed"));

    const std::vector<JournalSession> all = sessions(journal);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].program, QStringLiteral("pexumo-logger"));
    EXPECT_TRUE(all[0].clean);
    EXPECT_TRUE(all[0].ended.has_value());
    EXPECT_EQ(all[0].port, sim.portPath());
    EXPECT_EQ(all[0].rows, reportedCounts(last));
    const std::vector<Row> written = rows(journal, 1);
    EXPECT_EQ(qint64(written.size()), all[0].totalRows());
    // One row a second: a lost tick would leave two seconds between two rows.
    const auto [shortest, longest] = sampleSpacing(written);
    EXPECT_GT(shortest, 500);
    EXPECT_LT(longest, 1500);
}

// The meter is pulled about three seconds in and comes back a second later: the logger waits,
// goes on by itself, and a SIGKILL afterwards loses no row it had committed. Its session then
// did not close, and the window never offers it for restore.
TEST(LoggerProgram, WaitsOutAPullAndLosesNoCommittedRowToAKill)
{
    QTemporaryDir home;
    const QString link = home.filePath(QStringLiteral("meter"));
    test::MeterSim sim;
    ASSERT_TRUE(sim.start({QStringLiteral("--pty"), QStringLiteral("--link"), link,
                           QStringLiteral("--fault"), QStringLiteral("unplug@10:1")}))
        << sim.errorString().toStdString();
    const QString journal = home.filePath(QStringLiteral("j.sqlite"));
    LoggerProcess logger(home);
    logger.start({QStringLiteral("--port"), link, QStringLiteral("--journal"), journal});
    ASSERT_TRUE(logger.waitForLine(QStringLiteral("the meter is back on ") + link));
    const auto committed = [&] {
        const auto s = sessions(journal);
        return s.empty() ? 0 : s[0].totalRows();
    };
    const qint64 atReturn = committed();
    ASSERT_TRUE(waitUntil([&] { return committed() >= atReturn + 2; }));
    const std::vector<Row> before = rows(journal, 1);
    logger.process().kill();
    logger.wait();

    const QStringList lines = logger.lines();
    ASSERT_EQ(lines.size(), 4) << lines.join(u'\n').toStdString();
    EXPECT_EQ(lines[1], QStringLiteral("connected to ") + link);
    EXPECT_TRUE(lines[2].endsWith(" Waiting for the meter to come back."))
        << lines[2].toStdString();

    const std::vector<JournalSession> all = sessions(journal);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_FALSE(all[0].ended.has_value());
    const std::vector<Row> after = rows(journal, 1);
    ASSERT_GE(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(after[i].record, before[i].record) << i;
    // Nothing is recorded while the meter is away: the second without it leaves a gap.
    EXPECT_GE(sampleSpacing(after).second, 1500);
    EXPECT_FALSE(findRestoreOffer(all, 0, [](const JournalSession&) { return false; }));
}

// What a run starts with, and every way it ends at once: the status lines (a "…" stands for
// any text) and the exit status. "{home}" is the logger's home and working folder, "{meter}"
// a simulated meter that is pulled about three seconds in.
struct StartCase
{
    const char* name;
    QStringList args;
    QByteArray settings; ///< the user's own settings file
    QByteArray config;   ///< config.ini in the working folder
    QStringList lines;
    int status;
};

class LoggerStart : public ::testing::TestWithParam<StartCase>
{
};

bool matches(const QString& line, const QString& expected)
{
    const QString head = expected.section(u'…', 0, 0), tail = expected.section(u'…', 1);
    if (!expected.contains(u'…'))
        return line == expected;
    return line.size() >= head.size() + tail.size() && line.startsWith(head) && line.endsWith(tail);
}

TEST_P(LoggerStart, TellsWhatItRunsWithAndWhyItEnds)
{
    const StartCase& c = GetParam();
    QTemporaryDir home;
    test::MeterSim sim;
    const QString link = home.filePath(QStringLiteral("meter"));
    if (c.args.contains(QStringLiteral("{meter}"))) {
        ASSERT_TRUE(sim.start({QStringLiteral("--pty"), QStringLiteral("--link"), link,
                               QStringLiteral("--fault"), QStringLiteral("unplug@10:5")}));
    }
    if (!c.settings.isEmpty())
        writeFile(home.filePath(QStringLiteral("config/Pexumo/Pexumo.conf")), c.settings);
    if (!c.config.isEmpty())
        writeFile(home.filePath(QStringLiteral("config.ini")), c.config);
    writeFile(home.filePath(QStringLiteral("notes.txt")), "not a journal\n");
    const auto place = [&](QString text) {
        return text.replace(QStringLiteral("{home}"), home.path())
            .replace(QStringLiteral("{meter}"), link);
    };
    QStringList args;
    for (const QString& arg : c.args)
        args << place(arg);
    LoggerProcess logger(home);
    logger.start(args);
    EXPECT_EQ(logger.wait(), c.status);
    const QStringList lines = logger.lines();
    ASSERT_EQ(lines.size(), c.lines.size()) << lines.join(u'\n').toStdString();
    for (qsizetype i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(matches(lines[i], place(c.lines[i])))
            << lines[i].toStdString() << "\n  expected " << place(c.lines[i]).toStdString();
}

const QString kNoCom2 = QStringLiteral("There is no port COM2: no such device.");
const QString kOnceEnd =
    QStringLiteral("stopped (the port did not open and --once was given); rows: pH=0 ORP=0 "
                   "COND=0 TDS=0 Salt=0 DO=0 O2=0 Records=0; all in the journal, session 1 closed");

INSTANTIATE_TEST_SUITE_P(
    All, LoggerStart,
    ::testing::Values(
        StartCase{"Defaults",
                  {"--once"},
                  {},
                  {},
                  {"logging COM2 every 1 s into {home}/data/Pexumo/journal.sqlite, session 1",
                   kNoCom2, kOnceEnd},
                  1},
        StartCase{"WhatTheWindowRemembered",
                  {"--once"},
                  "[Port]\nName=ttyNONE7\n[Run]\nInterval=7\n",
                  {},
                  {"logging ttyNONE7 every 7 s into {home}/data/Pexumo/journal.sqlite, session 1",
                   "There is no port ttyNONE7: no such device.", kOnceEnd},
                  1},
        StartCase{"OptionsWinAndConfigNamesTheJournal",
                  {"--once", "--port", "COM2", "--interval", "3", "--config", "{home}/config.ini",
                   "--settings", "{home}/none.conf"},
                  "[Port]\nName=ttyNONE7\n[Run]\nInterval=7\n",
                  "[Pexumo]\nJournalFile=j.sqlite\n",
                  {"alarm settings: {home}/none.conf: no such file",
                   "logging COM2 every 3 s into {home}/j.sqlite, session 1", kNoCom2, kOnceEnd},
                  1},
        StartCase{"NotAJournal",
                  {"--journal", "{home}/notes.txt"},
                  {},
                  {},
                  {"the journal cannot be used: {home}/notes.txt is not a Pexumo journal"},
                  1},
        StartCase{"JournalOff",
                  {},
                  {},
                  "[Pexumo]\nJournal=0\n",
                  {"Journal=0 in {home}/config.ini turns off the journal, the logger's only store"},
                  2},
        StartCase{"AutoReconnectOff",
                  {"--port", "{meter}"},
                  {},
                  "[Pexumo]\nAutoReconnect=0\n",
                  {"logging {meter} every 1 s into {home}/data/Pexumo/journal.sqlite, session 1",
                   "connected to {meter}", "The connection to {meter} was lost: …",
                   "stopped (AutoReconnect=0 in config.ini: nobody is there to connect again); "
                   "rows: pH=…; all in the journal, session 1 closed"},
                  1},
        StartCase{"BadInterval",
                  {"--interval", "0"},
                  {},
                  {},
                  {"pexumo-logger: bad interval \"0\": Interval value must be from 1 to 2147483 "
                   "seconds."},
                  2},
        StartCase{"PortAndDemo",
                  {"--port", "ttyUSB0", "--demo"},
                  {},
                  {},
                  {"pexumo-logger: --port and --demo exclude each other"},
                  2}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
