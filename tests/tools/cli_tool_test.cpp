// Every Pexumo program answers --help, --version and a wrong option alike. The programs are the
// built pexumo and every tool, given as PEXUMO_PROGRAMS ("path|path|..."); each runs as a
// process with a private HOME and XDG folders and no display.

#include "support/programrun.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using pexumo::test::ProgramRun;
using pexumo::test::runProgram;

namespace {

ProgramRun run(const QString& program, const QStringList& args, bool offscreen = false)
{
    using pexumo::test::Display;
    QTemporaryDir home;
    QProcess process;
    process.setProcessEnvironment(
        pexumo::test::privateHome(home.path(), offscreen ? Display::Offscreen : Display::None));
    process.setWorkingDirectory(home.path());
    return runProgram(process, program, args);
}

class Program : public ::testing::TestWithParam<QString>
{
protected:
    QString path() const { return GetParam(); }
    QByteArray name() const { return QFileInfo(GetParam()).fileName().toUtf8(); }
};

TEST_P(Program, VersionPrintsNameAndVersionWithoutDisplay)
{
    for (const QString& option : {QStringLiteral("--version"), QStringLiteral("-v")}) {
        const ProgramRun r = run(path(), {option});
        EXPECT_EQ(r.exitCode, 0) << option.toStdString();
        EXPECT_EQ(r.out.toStdString(), (name() + " " PEXUMO_EXPECTED_VERSION "\n").toStdString());
        EXPECT_EQ(r.err.toStdString(), "");
    }
}

TEST_P(Program, HelpListsTheStandardOptionsInTheSameWords)
{
    for (const QString& option : {QStringLiteral("--help"), QStringLiteral("-h")}) {
        const ProgramRun r = run(path(), {option});
        EXPECT_EQ(r.exitCode, 0) << option.toStdString();
        EXPECT_TRUE(r.out.startsWith("Usage: " + path().toUtf8() + " [options]"))
            << r.out.toStdString();
        EXPECT_TRUE(r.out.contains("  -h, --help ")) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains("  -v, --version  ")) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains("Displays version information.\n")) << r.out.toStdString();
        EXPECT_EQ(r.err.toStdString(), "");
    }
}

TEST_P(Program, WrongOptionGivesOneLineAndStatusTwo)
{
    // No display either: the window program reads its options before it needs one.
    const ProgramRun r = run(path(), {QStringLiteral("--no-such-option")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out.toStdString(), "");
    EXPECT_EQ(r.err.toStdString(), (name() + ": Unknown option 'no-such-option'.\n").toStdString());
}

TEST_P(Program, HelpWinsOverAWrongArgumentAfterIt)
{
    const ProgramRun r = run(
        path(), {QStringLiteral("--help"), QStringLiteral("surplus"), QStringLiteral("arguments")},
        true);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith("Usage: "));
}

QStringList programs()
{
    return QString::fromUtf8(PEXUMO_PROGRAMS).split(u'|', Qt::SkipEmptyParts);
}

INSTANTIATE_TEST_SUITE_P(All, Program, ::testing::ValuesIn(programs()),
                         [](const ::testing::TestParamInfo<QString>& info) {
                             QString n = QFileInfo(info.param).fileName();
                             n.replace(u'-', u'_');
                             return n.toStdString();
                         });

// Qt's own options still reach Qt: -platform chooses the platform and is not taken for a wrong
// option; the wrong one after it is reported alone.
TEST(WindowProgram, QtOptionsStillWork)
{
    const ProgramRun version = run(
        QStringLiteral(PEXUMO_APP_PATH),
        {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.toStdString(), "pexumo " PEXUMO_EXPECTED_VERSION "\n");

    const ProgramRun wrong =
        run(QStringLiteral(PEXUMO_APP_PATH),
            {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--bogus")});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_EQ(wrong.err.toStdString(), "pexumo: Unknown option 'bogus'.\n");
}

// Without any display the window cannot show: one line and status 1, rather than Qt's abort.
TEST(WindowProgram, SaysSoWhenThereIsNoDisplay)
{
    const ProgramRun r = run(QStringLiteral(PEXUMO_APP_PATH), {});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.toStdString(), "");
    EXPECT_EQ(r.err.toStdString(),
              "pexumo: no display to show the window on (DISPLAY is not set)\n");
}

// Whatever a desktop passes (a file, a URL) is ignored: the window starts as without it, which
// its new journal shows.
TEST(WindowProgram, IgnoresAPlainWord)
{
    QTemporaryDir home;
    QProcess process;
    process.setProcessEnvironment(
        pexumo::test::privateHome(home.path(), pexumo::test::Display::Offscreen));
    process.setWorkingDirectory(home.path());
    process.start(QStringLiteral(PEXUMO_APP_PATH), {QStringLiteral("results.txt")});
    ASSERT_TRUE(process.waitForStarted());
    const QString journal = home.filePath(QStringLiteral("data/Pexumo/journal.sqlite"));
    for (int waited = 0; !QFileInfo::exists(journal) && waited < 300; ++waited)
        if (process.waitForFinished(100))
            break;
    EXPECT_TRUE(QFileInfo::exists(journal));
    EXPECT_EQ(process.state(), QProcess::Running) << process.readAllStandardError().constData();
    process.kill();
    process.waitForFinished();
}

TEST(DecodeProgram, TakesOneFileAtMost)
{
    const ProgramRun r =
        run(QStringLiteral(PEXUMO_DECODE_PATH), {QStringLiteral("a.bin"), QStringLiteral("b.bin")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.toStdString(), "pexumo-decode: Unexpected argument 'b.bin'.\n");
}

TEST(MeterSimProgram, ValueErrorsAreOneLineWithStatusTwo)
{
    struct Case
    {
        QStringList args;
        const char* message;
    };
    const Case cases[] = {
        {{QStringLiteral("--count")}, "pexumo-meter-sim: Missing value after '--count'.\n"},
        {{QStringLiteral("--count"), QStringLiteral("-3")}, "pexumo-meter-sim: bad count: -3\n"},
        {{QStringLiteral("--fault"), QStringLiteral("noise")},
         "pexumo-meter-sim: unknown fault: noise\n"},
        {{QStringLiteral("--fault"), QStringLiteral("halt@x")},
         "pexumo-meter-sim: bad fault frame: x\n"},
        {{QStringLiteral("--pty"), QStringLiteral("--device"), QStringLiteral("/dev/null")},
         "pexumo-meter-sim: --pty and --device exclude each other\n"},
        {{QStringLiteral("--play"), QStringLiteral("a"), QStringLiteral("--script"),
          QStringLiteral("b")},
         "pexumo-meter-sim: --play and --script exclude each other\n"},
        {{QStringLiteral("stray")}, "pexumo-meter-sim: Unexpected argument 'stray'.\n"},
    };
    for (const Case& c : cases) {
        const ProgramRun r = run(QStringLiteral(PEXUMO_METER_SIM_PATH), c.args);
        EXPECT_EQ(r.exitCode, 2) << c.args.join(u' ').toStdString();
        EXPECT_EQ(r.out.toStdString(), "");
        EXPECT_EQ(r.err.toStdString(), c.message);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
