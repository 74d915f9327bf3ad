// Runs the built pexumo-decode program on small captures and compares what it prints.

#include "support/programrun.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using pexumo::test::ProgramRun;
using pexumo::test::runProgram;

namespace {

ProgramRun decode(const QStringList& args, const QByteArray& stdinBytes = {})
{
    return runProgram(QStringLiteral(PEXUMO_DECODE_PATH), args, stdinBytes);
}

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

// A capture with every kind of event: two bytes of line noise before the first frame, a
// frame that lost a byte, and half a frame at the end.
QByteArray capture()
{
    return hex("0102") + hex("0FFF000712025 30D000FFD") + hex("0FFF1202500250010 00FFD") +
           hex("0FFF0310000250100 00FFD") + hex("0FFF00071202530 00FFD") +
           hex("0FFF0007120253 15000FFD") + hex("0FFF00A712025 30D000FFD") +
           hex("0FFF0001230250 2F000FFD") + hex("0FFF99999999 999999 0FFD") + hex("0FFF0007");
}

const QByteArray kExpected = "skipped\t2\n"
                             "live\tpH\t7.12\tpH\t25.3\tC\t1\n"
                             "record\t18\tCOND\t25\tus\t25\tC\t1\n"
                             "record\t3\tORP\t100\tmV\t\t\t1\n"
                             "skipped\t10\n"
                             "dropped\tmode 21\n"
                             "dropped\tdigits\n"
                             "live\tpH\t123\tmV\t25.0\tC\t-1\n"
                             "halt\n"
                             "skipped\t4\n";

class DecodeTool : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("capture.bin"));
        QFile f(m_file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(capture());
    }

    QTemporaryDir m_dir;
    QString m_file;
};

TEST_F(DecodeTool, PrintsOneTabSeparatedLinePerEvent)
{
    const ProgramRun run = decode({m_file});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.toStdString(), kExpected.toStdString());
    EXPECT_TRUE(run.err.isEmpty());
}

TEST_F(DecodeTool, ReadsStandardInputWithoutFileOrWithDash)
{
    for (const QStringList& args : {QStringList{}, QStringList{QStringLiteral("-")}}) {
        const ProgramRun run = decode(args, capture());
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out.toStdString(), kExpected.toStdString()) << args.join(' ').toStdString();
    }
}

TEST_F(DecodeTool, DecimalCommaWritesCommas)
{
    const ProgramRun run = decode({QStringLiteral("--decimal-comma"), m_file});
    EXPECT_EQ(run.exitCode, 0);
    QByteArray expected = kExpected;
    expected.replace("7.12", "7,12").replace("25.3", "25,3").replace("25.0", "25,0");
    EXPECT_EQ(run.out.toStdString(), expected.toStdString());
}

TEST_F(DecodeTool, EmptyInputPrintsNothing)
{
    const ProgramRun run = decode({}, {});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.isEmpty());
}

TEST_F(DecodeTool, UnreadableFileGivesOneLineOnStandardErrorAndStatusTwo)
{
    for (const QString& path : {m_dir.filePath(QStringLiteral("missing.bin")), m_dir.path()}) {
        const ProgramRun run = decode({path});
        EXPECT_EQ(run.exitCode, 2) << path.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(run.err.count('\n'), 1);
        EXPECT_TRUE(run.err.contains(QFile::encodeName(path))) << run.err.toStdString();
    }
}

TEST_F(DecodeTool, WrongArgumentsGiveStatusTwo)
{
    EXPECT_EQ(decode({QStringLiteral("--bogus")}).exitCode, 2);
    EXPECT_EQ(decode({m_file, m_file}).exitCode, 2);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
