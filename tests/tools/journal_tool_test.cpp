// Runs the built pexumo-journal on journals written through the journal itself and compares
// what it prints and writes.

#include "journal/journal.h"
#include "journal/journalreader.h"
#include "support/programrun.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pexumo;
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
                                 1796781600000, 1796781660000,        3600};
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
                       "alarm command failed: exit 3: no route to host\n"
                       "2026-12-09 03:01:00\t2026-12-09 03:05:30\tNoReading\tsilent\t60\t330\ts\t"
                       "\t\n"
                       "2026-12-09 04:00:00\tnot cleared\tTemp\tabove\t30.0\t31.2\tC\t"
                       "alarm command timed out after 30 s\t\n");
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
                    "[OUTPUT] | alarms SESSION"},
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
