// Runs the built pexumo-journal on journals written through the journal itself and compares
// what it prints and writes.

#include "journal/journal.h"
#include "journal/journalreader.h"
#include "support/journalfill.h"
#include "support/programrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pexumo;
using pexumo::test::Display;
using pexumo::test::privateHome;
using pexumo::test::ProgramRun;
using pexumo::test::runProgram;

namespace {

/// Runs pexumo-journal in \a workDir (empty: this program's folder) with the regional settings
/// of \a locale.
ProgramRun tool(const QStringList& args, const QString& workDir = QString(),
                const QString& locale = QStringLiteral("C.UTF-8"))
{
    QProcess process;
    process.setWorkingDirectory(workDir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG"})
        env.insert(QString::fromLatin1(name), locale);
    process.setProcessEnvironment(env);
    return runProgram(process, QStringLiteral(PEXUMO_JOURNAL_PATH), args);
}

class JournalTool : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // Session 1: a clean close with everything saved but the records.
        Journal first;
        ASSERT_EQ(
            first.open(path(), 30,
                       QDateTime(QDate(2026, 12, 8), QTime(9, 30, 5), Qt::OffsetFromUTC, 3600)),
            QString());
        first.add(ListId::PH, {"10:00:01", "pH", "7.12", "pH", "25.3", "C"});
        first.add(ListId::ORP, {"10:00:02", "pH", "-120.5", "mV", "", ""});
        first.add(ListId::PH, {"10:00:03", "pH", "-7.01", "pH", "77.1", "F"});
        first.add(ListId::ORP, {"10:00:04", "ORP", "500", "mV", "", ""});
        first.add(ListId::Records, {"1", "pH", "7.01", "pH", "25", "C", 1});
        first.add(ListId::Records, {"2", "ORP", "120.5", "mV", "", "", -1});
        first.add(ListId::Records, {"3", "TDS", "1.2", "ppt", "77", "F", 0}); // no line in the file
        first.markSaved(ListId::PH, 2);
        first.markSaved(ListId::ORP, 2);
        // Alarms at +01:00: DO from 02:14:07 (below since 02:13:07) to 02:20:11, no reading
        // from 03:01:00 (last frame 03:00:00) to 03:05:30, Temp from 04:00:00 on.
        const ActiveAlarm low{AlarmParameter::DO, AlarmSide::Below, 3.1, 4.0, 3.05,
                              1796778787000,      1796778847000,    3600};
        ActiveAlarm back = low;
        back.value = 4.25;
        back.worst = 2.95;
        const ActiveAlarm silent{std::nullopt,  AlarmSide::NoReading, 60,  60, 60,
                                 1796781600000, 1796781660000,        3600,
                                 NoReadingCause::NotOpen};
        ActiveAlarm heard = silent;
        heard.value = heard.worst = 330;
        const ActiveAlarm warm{AlarmParameter::Temp, AlarmSide::Above, 31.24, 30, 31.24,
                               1796785200000,        1796785200000,    3600};
        const AlarmEvent events[] = {{AlarmChange::Raise, low, 1796778847000, 3600},
                                     {AlarmChange::Clear, back, 1796779211000, 3600},
                                     {AlarmChange::Raise, silent, 1796781660000, 3600},
                                     {AlarmChange::Raise, warm, 1796785200000, 3600},
                                     {AlarmChange::Clear, heard, 1796781930000, 3600}};
        first.alarmRaised(events[0]);
        first.alarmCleared(events[1]);
        first.alarmCommandFinished(events[0], "alarm command: exit 0: mail sent");
        first.alarmRaised(events[2]);
        first.alarmRaised(events[3]);
        first.alarmCleared(events[4]);
        first.alarmCommandFinished(events[1], "alarm command failed: exit 3: no route to host");
        first.alarmCommandFinished(events[3], "alarm command timed out after 30 s");
        first.close(true);
        // Session 2: dropped without a close, one DO row.
        Journal second;
        ASSERT_EQ(second.open(path(), 30), QString());
        second.add(ListId::DO, {"11:00:00", "DO", "8.15", "mg/L", "24.8", "C"});
    }
    QString path() const { return dir.filePath(QStringLiteral("journal.sqlite")); }
    QTemporaryDir dir;
};

TEST_F(JournalTool, ListPrintsOneTabSeparatedLinePerSession)
{
    const ProgramRun run = tool({"--journal", path(), "list"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QList<QByteArray> lines = run.out.split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[2].isEmpty());
    const QList<QByteArray> first = lines[0].split('\t');
    ASSERT_EQ(first.size(), 12);
    EXPECT_EQ(first[0], "1");
    EXPECT_EQ(first[1], "2026-12-08 09:30:05");
    EXPECT_NE(first[2], "did not close");
    EXPECT_EQ(first.mid(3),
              (QList<QByteArray>{"pH=2/0", "ORP=2/0", "COND=0/0", "TDS=0/0", "Salt=0/0", "DO=0/0",
                                 "O2=0/0", "Records=3/3", "pexumo"}));
    const QList<QByteArray> second = lines[1].split('\t');
    ASSERT_EQ(second.size(), 12);
    EXPECT_EQ(second[0], "2");
    EXPECT_EQ(second[2], "did not close");
    EXPECT_EQ(second[8], "DO=1/1");
}

TEST_F(JournalTool, AlarmsPrintsOneTabSeparatedLinePerAlarmInTheOrderTheyRose)
{
    const ProgramRun run = tool({"--journal", path(), "alarms", "1"}, {}, "de_DE.UTF-8");
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(run.out, "2026-12-09 02:14:07\t2026-12-09 02:20:11\tDO\tbelow\t4.0\t2.95\tmg/L\t"
                       "alarm command: exit 0: mail sent\t"
                       "alarm command failed: exit 3: no route to host\t\n"
                       "2026-12-09 03:01:00\t2026-12-09 03:05:30\tNoReading\tsilent\t60\t330\ts\t"
                       "\t\tunopened\n"
                       "2026-12-09 04:00:00\tnot cleared\tTemp\tabove\t30.0\t31.2\tC\t"
                       "alarm command timed out after 30 s\t\t\n");
    const ProgramRun none = tool({"--journal", path(), "alarms", "2"});
    EXPECT_EQ(none.exitCode, 0) << none.err.constData();
    EXPECT_EQ(none.out, "");
}

TEST_F(JournalTool, AJournalFromBeforeAlarmsWereKeptHasNone)
{
    {
        // Version 2: no alarm table; a reader never adds one.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "old");
        db.setDatabaseName(path());
        ASSERT_TRUE(db.open());
        for (const char* sql :
             {"DROP TABLE alarm", "DROP TABLE mqtt_acked", "PRAGMA user_version = 2"})
            ASSERT_TRUE(QSqlQuery(db).exec(QString::fromLatin1(sql)));
    }
    QSqlDatabase::removeDatabase("old");
    const ProgramRun run = tool({"--journal", path(), "alarms", "1"});
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(run.out, "");
}

struct ExportCase
{
    const char* list;
    QByteArray bytes;
};

class JournalToolExport : public JournalTool, public ::testing::WithParamInterface<ExportCase>
{
};

TEST_P(JournalToolExport, WritesTheLayoutOfTheProgramsOwnSave)
{
    const ProgramRun toStdout = tool({"--journal", path(), "export", "1", GetParam().list});
    ASSERT_EQ(toStdout.exitCode, 0) << toStdout.err.constData();
    EXPECT_EQ(toStdout.out, GetParam().bytes);

    const QString file = dir.filePath(QStringLiteral("out"));
    const ProgramRun toFile = tool({"--journal", path(), "export", "1", GetParam().list, file});
    ASSERT_EQ(toFile.exitCode, 0) << toFile.err.constData();
    EXPECT_TRUE(toFile.out.isEmpty());
    QFile written(file); // the name as given, no ".txt" added
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, JournalToolExport,
    ::testing::Values(ExportCase{"pH", "10:00:01    pH    7.12    pH    25.3     C\r\n"
                                       "10:00:03    pH    -7.01    pH    77.1     F\r\n"},
                      ExportCase{"orp", "10:00:02    pH    -120.5    mV\r\n"
                                        "10:00:04    ORP    500    mV\r\n"},
                      ExportCase{"Records", "1   pH   7.01   pH   25   C\r\n"
                                            "2   ORP   -120.5   mV      \r\n"},
                      ExportCase{"COND", ""}),
    [](const auto& info) { return std::string(info.param.list); });

// --csv: the spreadsheet layout, its separators following config.ini's decimal comma, else the
// regional settings, as the program's do. Rows journaled without an instant keep their time of
// day and an empty date.
TEST_F(JournalTool, CsvExportFollowsTheDecimalCommaOfConfigIniElseTheRegionalSettings)
{
    const ProgramRun point = tool({"--journal", path(), "export", "--csv", "1", "pH"}, dir.path());
    ASSERT_EQ(point.exitCode, 0) << point.err.constData();
    EXPECT_EQ(point.out, "Date,Time,Type,Value,Unit,Temperature,Temperature unit\r\n"
                         ",10:00:01,pH,7.12,pH,25.3,C\r\n"
                         ",10:00:03,pH,-7.01,pH,77.1,F\r\n");
    const ProgramRun german =
        tool({"--journal", path(), "export", "--csv", "1", "pH"}, dir.path(), "de_DE.UTF-8");
    EXPECT_EQ(german.out, "Date;Time;Type;Value;Unit;Temperature;Temperature unit\r\n"
                          ";10:00:01;pH;7,12;pH;25,3;C\r\n"
                          ";10:00:03;pH;-7,01;pH;77,1;F\r\n");

    QFile ini(dir.filePath(QStringLiteral("config.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ASSERT_EQ(ini.write("[Pexumo]\nChangeDecimal=1\n"), 25);
    ini.close();
    const ProgramRun comma =
        tool({"--journal", path(), "export", "--csv", "1", "Records"}, dir.path());
    ASSERT_EQ(comma.exitCode, 0) << comma.err.constData();
    EXPECT_EQ(comma.out, "Record;Type;Value;Unit;Temperature;Temperature unit;Received\r\n"
                         "1;pH;7,01;pH;25;C;\r\n"
                         "2;ORP;-120,5;mV;;;\r\n");
}

struct FailureCase
{
    const char* name;
    QStringList args; ///< "@" stands for the journal's path
    int exitCode;
    QByteArray message;
};

class JournalToolFailure : public JournalTool, public ::testing::WithParamInterface<FailureCase>
{
};

TEST_P(JournalToolFailure, ExitsWithOneLine)
{
    QStringList args = GetParam().args;
    args.replaceInStrings(QStringLiteral("@"), path());
    QFile csv(path() + ".csv"); // a typo's target: the journal must never be written there
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly) && csv.write("Date,Time\r\n") == 11);
    csv.close();
    const ProgramRun run = tool(args);
    EXPECT_EQ(run.exitCode, GetParam().exitCode);
    QByteArray expected = GetParam().message;
    expected.replace("@", path().toUtf8());
    EXPECT_EQ(run.err, "pexumo-journal: " + expected + "\n");
    EXPECT_TRUE(run.out.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Args, JournalToolFailure,
    ::testing::Values(
        FailureCase{"missing_journal",
                    {"--journal", "/nonexistent/j.sqlite", "list"},
                    2,
                    "no journal at /nonexistent/j.sqlite"},
        FailureCase{"missing_session",
                    {"--journal", "@", "export", "7", "pH"},
                    2,
                    "no session 7 in the journal"},
        FailureCase{"session_not_a_number",
                    {"--journal", "@", "export", "x", "pH"},
                    2,
                    "no session x in the journal"},
        FailureCase{"missing_list",
                    {"--journal", "@", "export", "1", "Temp"},
                    2,
                    "no list Temp (pH, ORP, COND, TDS, Salt, DO, O2 or Records)"},
        FailureCase{"wrong_option", {"--jornal", "@", "list"}, 2, "Unknown option 'jornal'."},
        FailureCase{"no_command",
                    {"--journal", "@"},
                    2,
                    "usage: pexumo-journal [--journal FILE] list | export [--csv] SESSION LIST "
                    "[OUTPUT] | alarms SESSION | prune --older-than DAYS [--session N] [--force]"},
        FailureCase{"prune_without_days",
                    {"--journal", "@", "prune"},
                    2,
                    "usage: pexumo-journal [--journal FILE] list | export [--csv] SESSION LIST "
                    "[OUTPUT] | alarms SESSION | prune --older-than DAYS [--session N] [--force]"},
        FailureCase{"force_without_prune",
                    {"--journal", "@", "--force", "list"},
                    2,
                    "usage: pexumo-journal [--journal FILE] list | export [--csv] SESSION LIST "
                    "[OUTPUT] | alarms SESSION | prune --older-than DAYS [--session N] [--force]"},
        FailureCase{"days_not_a_number",
                    {"--journal", "@", "prune", "--older-than", "week"},
                    2,
                    "--older-than takes a whole number of days, 0 to 100000: week"},
        FailureCase{"days_negative",
                    {"--journal", "@", "prune", "--older-than", "-1"},
                    2,
                    "--older-than takes a whole number of days, 0 to 100000: -1"},
        FailureCase{"session_not_a_number_to_prune",
                    {"--journal", "@", "prune", "--older-than", "0", "--session", "x"},
                    2,
                    "--session takes a session number: x"},
        FailureCase{"missing_session_to_prune",
                    {"--journal", "@", "prune", "--older-than", "0", "--session", "7"},
                    2,
                    "no session 7 in the journal"},
        FailureCase{"missing_journal_to_prune",
                    {"--journal", "/nonexistent/j.sqlite", "prune", "--older-than", "1"},
                    2,
                    "no journal at /nonexistent/j.sqlite"},
        FailureCase{"prune_not_a_journal",
                    {"--journal", "@.csv", "prune", "--older-than", "1"},
                    1,
                    "@.csv is not a Pexumo journal"},
        FailureCase{"alarms_of_a_missing_session",
                    {"--journal", "@", "alarms", "7"},
                    2,
                    "no session 7 in the journal"},
        FailureCase{
            "not_a_journal", {"--journal", "@.csv", "list"}, 1, "@.csv is not a Pexumo journal"},
        FailureCase{"unwritable_output",
                    {"--journal", "@", "export", "1", "pH", "/nonexistent/out.txt"},
                    1,
                    "Cannot create file /nonexistent/out.txt"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JournalTool, FindsTheJournalThroughConfigIniInTheWorkingDirectory)
{
    QFile config(dir.filePath(QStringLiteral("config.ini")));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("[Pexumo]\njournalfile=journal.sqlite\n");
    config.close();
    const ProgramRun run = tool({"export", "2", "DO"}, dir.path());
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(run.out, "11:00:00    DO    8.15    mg/L    24.8     C\r\n");
}

// prune on a journal filled with sessions across 200 days (support/journalfill.h), at the
// real time of day, since the program reckons from it.
class JournalToolPrune : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    void fill(std::vector<pexumo::test::FilledSession> sessions)
    {
        pexumo::test::fillJournal(path(), now, sessions);
    }
    ProgramRun prune(const QStringList& args)
    {
        QProcess process;
        process.setProcessEnvironment(
            privateHome(dir.filePath(QStringLiteral("home")), Display::None));
        QDir(dir.path()).mkpath(QStringLiteral("home"));
        return runProgram(process, QStringLiteral(PEXUMO_JOURNAL_PATH),
                          QStringList{"--journal", path(), "prune"} + args);
    }
    /// The start or end of a session \a days before now, as the lines show it (the sessions
    /// were written at the offset 0).
    QString day(int days) const
    {
        return now.addDays(-days).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    }
    QString path() const { return dir.filePath(QStringLiteral("journal.sqlite")); }

    const QDateTime now = QDateTime::currentDateTimeUtc();
    QTemporaryDir dir;
};

TEST_F(JournalToolPrune, RemovesWhatIsKeptElsewhereAndNamesWhatIsNot)
{
    fill(pexumo::test::twoHundredDays());
    const ProcessIdentity self = currentProcessIdentity();
    const QString running =
        QStringLiteral("kept session 9 (pexumo-logger, from %1, did not "
                       "close, 6 rows): still being written by process %2 on %3\n")
            .arg(day(120))
            .arg(self.pid)
            .arg(self.host);
    const qint64 size = QFileInfo(path()).size();
    const ProgramRun run = prune({"--older-than", "90"});
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(QString::fromUtf8(run.out),
              QStringLiteral("removed session 1 (pexumo, %1 to %2, 20000 rows)\n")
                      .arg(day(200), day(199)) +
                  QStringLiteral("kept session 2 (pexumo, %1 to %2, 6 rows): 3 rows were never "
                                 "saved or published; --force removes them\n")
                      .arg(day(190), day(189)) +
                  QStringLiteral("removed session 3 (pexumo, %1 to %2, 6 rows)\n")
                      .arg(day(180), day(179)) +
                  QStringLiteral("removed session 4 (pexumo, %1 to %2, 6 rows)\n")
                      .arg(day(170), day(169)) +
                  QStringLiteral("kept session 5 (pexumo-logger, %1 to %2, 6 rows): 6 rows were "
                                 "never saved or published; --force removes them\n")
                      .arg(day(160), day(159)) +
                  QStringLiteral("removed session 6 (pexumo-logger, %1 to %2, 6 rows)\n")
                      .arg(day(150), day(149)) +
                  QStringLiteral("kept session 7 (pexumo-logger, %1 to %2, 6 rows): 2 rows were "
                                 "never saved or published; --force removes them\n")
                      .arg(day(140), day(139)) +
                  QStringLiteral("removed session 8 (pexumo-logger, from %1, did not close, 6 "
                                 "rows)\n")
                      .arg(day(130)) +
                  running +
                  QStringLiteral("removed session 10 (pexumo, %1 to %2, 6 rows)\n")
                      .arg(day(100), day(99)) +
                  QStringLiteral("sessions removed: 6, kept: 4; the file keeps its size while a "
                                 "program writes the journal, and new rows reuse the space\n"));
    EXPECT_EQ(pexumo::test::sessionsIn(path()).first,
              (std::vector<qint64>{2, 5, 7, 9, 11, 12, 13, 14, 15}));
    // No VACUUM while session 9 may be written.
    EXPECT_EQ(QFileInfo(path()).size(), size);

    // --force also takes what is kept nowhere else, never a session being written.
    const ProgramRun forced = prune({"--older-than", "90", "--force"});
    EXPECT_EQ(forced.exitCode, 0) << forced.err.constData();
    EXPECT_TRUE(
        forced.out.startsWith(QStringLiteral("removed session 2 (pexumo, %1 to %2, 6 rows)\n")
                                  .arg(day(190), day(189))
                                  .toUtf8()))
        << forced.out.constData();
    EXPECT_TRUE(forced.out.contains(running.toUtf8()));
    EXPECT_TRUE(forced.out.endsWith("sessions removed: 3, kept: 1; the file keeps its size while a "
                                    "program writes the journal, and new rows reuse the space\n"));
    EXPECT_EQ(pexumo::test::sessionsIn(path()).first, (std::vector<qint64>{9, 11, 12, 13, 14, 15}));

    // One session: refused while it is written, or when it is newer than asked.
    const ProgramRun busy = prune({"--older-than", "0", "--session", "9", "--force"});
    EXPECT_EQ(busy.exitCode, 1);
    EXPECT_EQ(QString::fromUtf8(busy.out),
              running + QStringLiteral("sessions removed: 0, kept: 1\n"));
    const ProgramRun young = prune({"--older-than", "90", "--session", "15"});
    EXPECT_EQ(young.exitCode, 1);
    EXPECT_EQ(young.out,
              "kept session 15: it ended less than 90 days ago\nsessions removed: 0, kept: 0\n");
    const ProgramRun one = prune({"--older-than", "30", "--session", "12"});
    EXPECT_EQ(one.exitCode, 0) << one.err.constData();
    EXPECT_TRUE(one.out.startsWith("removed session 12 (pexumo-logger, ")) << one.out.constData();
    EXPECT_EQ(pexumo::test::sessionsIn(path()).first, (std::vector<qint64>{9, 11, 13, 14, 15}));
}

TEST_F(JournalToolPrune, CompactsTheFileWhenNoProgramWritesIt)
{
    std::vector<pexumo::test::FilledSession> sessions = pexumo::test::twoHundredDays();
    sessions[8].live = false; // session 9 was killed too
    fill(sessions);
    const qint64 size = QFileInfo(path()).size();
    const ProgramRun run = prune({"--older-than", "90"});
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    const QList<QByteArray> lines = run.out.split('\n');
    ASSERT_EQ(lines.size(), 12) << run.out.constData();
    EXPECT_EQ(lines[8],
              QStringLiteral("removed session 9 (pexumo-logger, from %1, did not close, 6 rows)")
                  .arg(day(120))
                  .toUtf8());
    EXPECT_TRUE(lines[10].startsWith("sessions removed: 7, kept: 3; the file shrank from "))
        << lines[10].constData();
    // 20000 rows of session 1 are gone from the file.
    EXPECT_LT(QFileInfo(path()).size(), size / 2);
    EXPECT_FALSE(QFileInfo::exists(path() + QStringLiteral("-wal")) &&
                 QFileInfo(path() + QStringLiteral("-wal")).size() > 0);
}

TEST_F(JournalToolPrune, NamesPublishedSessionsWithAlarmsTheBrokerLacks)
{
    using pexumo::test::FilledSession;
    const std::vector<int> rows = pexumo::test::rowsOf(0, 6);
    //                                           raise sent, cleared, clear sent
    const pexumo::test::FilledAlarm clearUnsent{true, true, false};
    const pexumo::test::FilledAlarm bothUnsent{false, true, false};
    const pexumo::test::FilledAlarm allSent{true, true, true};
    fill({
        // 1: every row acknowledged, one clear not
        {LoggerProgram, 101, 100, rows, {}, 6, {}, false, {allSent, clearUnsent}},
        // 2: rows n 4 and 5 not acknowledged, nor an alarm's rise and clear
        {LoggerProgram, 91, 90, rows, {}, 4, {}, false, {bothUnsent}},
        // 3: everything acknowledged
        {LoggerProgram, 81, 80, rows, {}, 6, {}, false, {allSent}},
    });
    const ProgramRun run = prune({"--older-than", "30"});
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(QString::fromUtf8(run.out),
              QStringLiteral("kept session 1 (pexumo-logger, %1 to %2, 6 rows): 1 alarm event was "
                             "never published; --force removes them\n")
                      .arg(day(101), day(100)) +
                  QStringLiteral("kept session 2 (pexumo-logger, %1 to %2, 6 rows): 2 rows were "
                                 "never saved or published, 2 alarm events were never published; "
                                 "--force removes them\n")
                      .arg(day(91), day(90)) +
                  QStringLiteral("removed session 3 (pexumo-logger, %1 to %2, 6 rows)\n")
                      .arg(day(81), day(80)) +
                  QStringLiteral("sessions removed: 1, kept: 2; the file shrank from 0.0 MB to "
                                 "0.0 MB\n"))
        << run.out.constData();
    EXPECT_EQ(pexumo::test::sessionsIn(path()).first, (std::vector<qint64>{1, 2}));
    const ProgramRun one = prune({"--older-than", "30", "--session", "1"});
    EXPECT_EQ(one.exitCode, 1);
    const ProgramRun forced = prune({"--older-than", "30", "--session", "1", "--force"});
    EXPECT_EQ(forced.exitCode, 0) << forced.err.constData();
    EXPECT_EQ(pexumo::test::sessionsIn(path()).first, (std::vector<qint64>{2}));
}

TEST(JournalToolOptions, HelpAndVersion)
{
    const ProgramRun help = tool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("export SESSION LIST [OUTPUT]"));
    const ProgramRun version = tool({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith("pexumo-journal "));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
