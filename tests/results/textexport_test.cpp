#include "results/textexport.h"

#include "support/withoutroot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <ostream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pexumo {
namespace {

QByteArray exported(ListKind kind, const QList<ResultRecord>& records)
{
    ResultListModel list(kind);
    for (const ResultRecord& record : records)
        list.add(record);
    return exportBytes(list);
}

struct LayoutCase
{
    const char* name;
    ListKind kind;
    ResultRecord record;
    const char* line; ///< without its CR LF
};

void PrintTo(const LayoutCase& c, std::ostream* os)
{
    *os << c.name;
}

class Layout : public testing::TestWithParam<LayoutCase>
{
};

TEST_P(Layout, WritesOneLineEndedByCrLf)
{
    const LayoutCase& c = GetParam();
    EXPECT_EQ(exported(c.kind, {c.record}).toStdString(), std::string(c.line) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Layout,
    testing::Values(LayoutCase{"pH sample, five blanks before C",
                               ListKind::Sample,
                               {"10:15:30", "pH", "7.01", "pH", "25.3", "C", 0},
                               "10:15:30    pH    7.01    pH    25.3     C"},
                    LayoutCase{"fahrenheit",
                               ListKind::Sample,
                               {"10:15:30", "COND", "1410", "uS", "77.5", "F", 0},
                               "10:15:30    COND    1410    uS    77.5     F"},
                    LayoutCase{"no temperature unit leaves the trailing blanks",
                               ListKind::Sample,
                               {"10:15:30", "DO", "8.1", "mg/L", "25.3", "", 0},
                               "10:15:30    DO    8.1    mg/L    25.3    "},
                    LayoutCase{"negative pH keeps its own minus",
                               ListKind::Sample,
                               {"10:15:30", "pH", "-1.25", "pH", "25.3", "C", 0},
                               "10:15:30    pH    -1.25    pH    25.3     C"},
                    LayoutCase{"ORP has no temperature fields",
                               ListKind::Orp,
                               {"10:15:30", "ORP", "-120", "mV", "", "", 0},
                               "10:15:30    ORP    -120    mV"},
                    LayoutCase{"pH in mV on the ORP list",
                               ListKind::Orp,
                               {"10:15:30", "pH", "-85.4", "mV", "25.3", "C", 0},
                               "10:15:30    pH    -85.4    mV"},
                    LayoutCase{"record with Sign -1",
                               ListKind::Downloaded,
                               {"3", "ORP", "120.5", "mV", "", "", -1},
                               "3   ORP   -120.5   mV      "},
                    LayoutCase{"record with Sign +1 and F",
                               ListKind::Downloaded,
                               {"12", "pH", "7.01", "pH", "77.5", "F", 1},
                               "12   pH   7.01   pH   77.5   F"},
                    LayoutCase{"record temp as stored, not re-formatted",
                               ListKind::Downloaded,
                               {"4", "COND", "1410", "uS", "025,50", "C", 1},
                               "4   COND   1410   uS   025,50   C"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(TextExport, TheWrittenExamplesHaveTheirLengths)
{
    const QByteArray sample =
        exported(ListKind::Sample, {{"10:15:30", "pH", "7.01", "pH", "25.3", "C", 0}});
    EXPECT_EQ(sample.size(), 42 + 2);
    const QByteArray memory =
        exported(ListKind::Downloaded, {{"3", "ORP", "120.5", "mV", "", "", -1}});
    EXPECT_EQ(memory.size(), 27 + 2);
    EXPECT_TRUE(memory.endsWith("mV      \r\n"));
}

TEST(TextExport, RecordsWithoutAPlainSignAreSkipped)
{
    const QByteArray bytes = exported(ListKind::Downloaded, {{"1", "pH", "7", "pH", "", "", 0},
                                                             {"2", "pH", "7", "pH", "", "", 1},
                                                             {"3", "pH", "7", "pH", "", "", 2},
                                                             {"4", "pH", "7", "pH", "", "", -1}});
    EXPECT_EQ(bytes.toStdString(), "2   pH   7   pH      \r\n4   pH   -7   pH      \r\n");
}

TEST(TextExport, EmptyListsGiveNoBytes)
{
    for (ListKind kind : {ListKind::Sample, ListKind::Orp, ListKind::Downloaded})
        EXPECT_TRUE(exported(kind, {}).isEmpty());
    EXPECT_TRUE(exported(ListKind::Downloaded, {{"1", "pH", "7", "pH", "", "", 0}}).isEmpty());
}

TEST(TextExport, SamplesAreWrittenOldestFirst)
{
    QList<ResultRecord> samples;
    for (const char* time : {"10:00:01", "10:00:02", "10:00:03"})
        samples.append({time, "O2", "95", "%", "20", "C", 0});
    EXPECT_EQ(exported(ListKind::Sample, samples).toStdString(),
              "10:00:01    O2    95    %    20     C\r\n"
              "10:00:02    O2    95    %    20     C\r\n"
              "10:00:03    O2    95    %    20     C\r\n");
}

TEST(TextExport, ThousandsOfRowsInListOrder)
{
    constexpr int rows = 4000;
    for (ListKind kind : {ListKind::Sample, ListKind::Orp, ListKind::Downloaded}) {
        QList<ResultRecord> records;
        for (int i = 0; i < rows; ++i)
            records.append({QString::number(i), "TDS", "700", "ppm", "21", "C", 1});
        const QList<QByteArray> lines = exported(kind, records).split('\n');
        ASSERT_EQ(lines.size(), rows + 1);
        EXPECT_TRUE(lines.last().isEmpty());
        for (int i = 0; i < rows; ++i) {
            ASSERT_TRUE(lines[i].startsWith(QByteArray::number(i) + ' ')) << i;
            ASSERT_TRUE(lines[i].endsWith('\r')) << i;
        }
    }
}

struct NameCase
{
    const char* typed;
    const char* saved;
};

void PrintTo(const NameCase& c, std::ostream* os)
{
    *os << c.typed;
}

class FileName : public testing::TestWithParam<NameCase>
{
};

TEST_P(FileName, GetsTxtUnlessThePathContainsIt)
{
    EXPECT_EQ(withTxtExtension(GetParam().typed).toStdString(), GetParam().saved);
}

INSTANTIATE_TEST_SUITE_P(Cases, FileName,
                         testing::Values(NameCase{"/home/u/result", "/home/u/result.txt"},
                                         NameCase{"/home/u/result.TXT", "/home/u/result.TXT.txt"},
                                         NameCase{"/home/u/data.txt.bak", "/home/u/data.txt.bak"},
                                         NameCase{"/home/u/data.csv", "/home/u/data.csv.txt"},
                                         NameCase{"/home/u/old.txtfiles/result",
                                                  "/home/u/old.txtfiles/result"},
                                         NameCase{"/home/u/result.txt", "/home/u/result.txt"},
                                         NameCase{"/home/u/result.tx", "/home/u/result.tx.txt"}));

class AtomicWrite : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    static QByteArray contents(const QString& file)
    {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return "<missing>";
        return f.readAll();
    }

    QStringList entries() const
    {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    QTemporaryDir m_dir;
};

TEST_F(AtomicWrite, SavingTwiceLeavesOnlyTheSecondFile)
{
    ASSERT_TRUE(writeFileAtomically(path("result.txt"), "first, longer content\r\n").ok);
    const WriteResult second = writeFileAtomically(path("result.txt"), "second\r\n");
    EXPECT_TRUE(second.ok);
    EXPECT_TRUE(second.error.isEmpty());
    EXPECT_EQ(contents(path("result.txt")), "second\r\n");
    EXPECT_EQ(entries(), QStringList{"result.txt"});
}

TEST_F(AtomicWrite, NoBytesEmptiesAnExistingFile)
{
    ASSERT_TRUE(writeFileAtomically(path("result.txt"), "old\r\n").ok);
    ASSERT_TRUE(writeFileAtomically(path("result.txt"), QByteArray()).ok);
    EXPECT_EQ(contents(path("result.txt")), QByteArray());
}

TEST_F(AtomicWrite, MissingFolderCannotBeCreated)
{
    const QString file = path("no such folder/result.txt");
    const WriteResult result = writeFileAtomically(file, "x\r\n");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "Cannot create file " + file);
    EXPECT_TRUE(entries().isEmpty());
}

// Refused even to root, unlike a folder without write permission: the folder is a file.
TEST_F(AtomicWrite, AFileInPlaceOfTheFolderIsRefused)
{
    const QByteArray existing = "not a folder\r\n";
    ASSERT_TRUE(writeFileAtomically(path("data"), existing).ok);
    const QString file = path("data/result.txt");
    const WriteResult result = writeFileAtomically(file, "x\r\n");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "Cannot create file " + file);
    EXPECT_EQ(entries(), QStringList{"data"});
    EXPECT_EQ(contents(path("data")), existing);
}

TEST_F(AtomicWrite, RelativeNamesAreReportedInFull)
{
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    const WriteResult result = writeFileAtomically("missing/result.txt", "x");
    QDir::setCurrent(cwd);
    EXPECT_EQ(result.error, "Cannot create file " + path("missing/result.txt"));
}

TEST_F(AtomicWrite, AFolderOfThatNameStaysAFolder)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("result.txt"));
    const WriteResult result = writeFileAtomically(path("result.txt"), "x\r\n");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "Cannot create file " + path("result.txt"));
    EXPECT_TRUE(QFileInfo(path("result.txt")).isDir());
    EXPECT_EQ(entries(), QStringList{"result.txt"});
}

// A folder where the user may rewrite a file but not make a new one. Permission bits do not stop
// root, so the save runs in a child process that has given up root for "nobody".
TEST_F(AtomicWrite, AFolderClosedToNewFilesIsWrittenInPlace)
{
    const QByteArray old = "the file saved before, longer than the new one\r\n";
    const QByteArray fresh = "3   ORP   -120.5   mV      \r\n";
    ASSERT_TRUE(writeFileAtomically(path("result.txt"), old).ok);
    ASSERT_EQ(::chmod(QFile::encodeName(path("result.txt")).constData(), 0666), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(m_dir.path()).constData(), 0555), 0);

    // The child reports through its exit status: 0 saved, 1 refused.
    const std::optional<int> saved = test::runWithoutRoot(
        [&] { return writeFileAtomically(path("result.txt"), fresh).ok ? 0 : 1; });
    ::chmod(QFile::encodeName(m_dir.path()).constData(), 0700);

    if (!saved)
        GTEST_SKIP() << "could not run without root (no user \"nobody\"?)";
    EXPECT_EQ(*saved, 0) << "the save was refused";
    EXPECT_EQ(contents(path("result.txt")), fresh);
    EXPECT_EQ(entries(), QStringList{"result.txt"});
}

// A disk that fills up part way: while the file size limit is lowered, no file may grow past
// a given size, so a write beyond it fails the way it does on a full disk.
class FullDisk : public AtomicWrite, public testing::WithParamInterface<int>
{
protected:
    WriteResult writeWithSizeLimit(const QByteArray& bytes, rlim_t limit)
    {
        rlimit saved{};
        EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = limit;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const WriteResult result = writeFileAtomically(path("result.txt"), bytes);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        return result;
    }
};

// Sizes below and above the 16 KiB a file object holds back before it writes: a short list
// reaches the disk only when the file is completed.
TEST_P(FullDisk, KeepsTheOldFileAndLeavesNoPart)
{
    const QByteArray old = "10:00:01    pH    7.01    pH    25.3     C\r\n";
    ASSERT_TRUE(writeFileAtomically(path("result.txt"), old).ok);

    const WriteResult result = writeWithSizeLimit(QByteArray(GetParam(), 'x'), 64);

    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "Stream write error");
    EXPECT_EQ(contents(path("result.txt")), old);
    EXPECT_EQ(entries(), QStringList{"result.txt"});
}

INSTANTIATE_TEST_SUITE_P(Bytes, FullDisk, testing::Values(90, 4000, 1 << 20));

} // namespace
} // namespace pexumo
