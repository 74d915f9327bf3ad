// The journal on real SQLite files in a temporary folder: what is written reads back exactly,
// commits come within a second, and every fault leaves the rows already written intact.
#include "journal/journal.h"
#include "journal/journalreader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

using namespace pexumo;

namespace {

ResultRecord sample(const char* time, const char* type, const char* value, const char* unit,
                    const char* temp, const char* tempUnit, qint32 sign = 0)
{
    ResultRecord r{QString::fromUtf8(time),
                   QString::fromUtf8(type),
                   QString::fromUtf8(value),
                   QString::fromUtf8(unit),
                   QString::fromUtf8(temp),
                   QString::fromUtf8(tempUnit),
                   sign};
    return r;
}

struct Row
{
    int list;
    ResultRecord record;
    friend bool operator==(const Row&, const Row&) = default;
};

std::vector<Row> readRows(const QString& path, qint64 session,
                          std::optional<ListId> list = std::nullopt)
{
    JournalReader reader;
    EXPECT_EQ(reader.open(path), QString());
    std::vector<Row> rows;
    EXPECT_EQ(reader
                  .forEachRow(session, list,
                              [&](ListId l, const ResultRecord& r) {
                                  rows.push_back({int(indexOf(l)), r});
                              })
                  .error,
              QString());
    return rows;
}

/// Runs \a statements on the file at \a path as another program (or the sqlite3 shell) would.
void execSql(const QString& path, const QStringList& statements)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "by-hand");
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        for (const QString& sql : statements)
            ASSERT_TRUE(QSqlQuery(db).exec(sql)) << sql.toStdString();
    }
    QSqlDatabase::removeDatabase("by-hand");
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

JournalSession readSession(const QString& path, qint64 id)
{
    JournalReader reader;
    EXPECT_EQ(reader.open(path), QString());
    return reader.session(id).value_or(JournalSession{});
}

class JournalTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("journal.sqlite")); }
};

TEST_F(JournalTest, RowsReadBackExactlyInOrderWithTheirListAndSession)
{
    ResultRecord ph = sample("10:00:01", "pH", "-7.12", "pH", "25.3", "C");
    ph.StampMs = 1765270801000;
    ph.UtcOffsetSec = 3600;
    const ResultRecord mv = sample("10:00:02", "pH", "-120.5", "mV", "", "");
    const ResultRecord record = sample("3", "TDS", "1.2", "ppt", "77", "F", -1);
    const ResultRecord wide = sample("10:00:03", "O2", "95.4", "%",
                                     "\xc2\xb5"
                                     "25",
                                     "F", 7);
    // Beyond the basic plane: one character, two UTF-16 units.
    const ResultRecord astral = sample("10:00:04", "\xf0\x9f\x98\x80", "1", "u", "2", "C", -5);

    Journal journal;
    ASSERT_EQ(journal.open(path(), 30), QString());
    EXPECT_TRUE(journal.isOn());
    journal.setPort(QStringLiteral("/dev/ttyUSB0"));
    journal.add(ListId::PH, ph);
    journal.add(ListId::Records, record);
    journal.add(ListId::ORP, mv);
    journal.add(ListId::O2, wide);
    journal.add(ListId::O2, astral);
    journal.markSaved(ListId::PH, 1);
    journal.close(true);

    const std::vector<Row> all = readRows(path(), journal.session());
    EXPECT_EQ(all, (std::vector<Row>{{0, ph}, {7, record}, {1, mv}, {6, wide}, {6, astral}}));
    EXPECT_EQ(readRows(path(), journal.session(), ListId::ORP), (std::vector<Row>{{1, mv}}));

    const JournalSession s = readSession(path(), journal.session());
    EXPECT_TRUE(s.clean);
    EXPECT_TRUE(s.ended.has_value());
    EXPECT_EQ(s.port, QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(s.rows, (ListCounts{1, 1, 0, 0, 0, 0, 2, 1}));
    EXPECT_EQ(s.saved, (ListCounts{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(s.unsavedTotal(), 4);
}

TEST_F(JournalTest, ASessionReadIntoModelsKeepsOrderAndCountsRowsOfNoList)
{
    Journal journal;
    ASSERT_EQ(journal.open(path(), 30), QString());
    for (int i = 0; i < 10000; ++i)
        journal.add(AllLists[i % 8],
                    sample(QByteArray::number(i).constData(), "pH", "7", "pH", "25", "C", i % 3));
    journal.close(true);
    execSql(path(), {"UPDATE reading SET list = 9 WHERE n = 3", // by hand
                     "UPDATE reading SET list = -1 WHERE n = 4"});

    std::array<std::unique_ptr<ResultListModel>, ListCount> owned;
    std::array<ResultListModel*, ListCount> models{};
    for (ListId list : AllLists)
        models[indexOf(list)] =
            (owned[indexOf(list)] = std::make_unique<ResultListModel>(listKind(list))).get();
    models[0]->add(sample("held", "pH", "7", "pH", "25", "C")); // the read rows follow it
    QByteArray visited;
    const SessionRead read =
        JournalReader::readSessionInto(path(), journal.session(), models,
                                       [&](ListId list, const ResultListModel::PackedRecord& row) {
                                           visited += QByteArray::number(int(indexOf(list))) + ':' +
                                                      row.texts[0].toByteArray() + ' ';
                                       });
    EXPECT_EQ(read.error, QString());
    EXPECT_EQ(read.rows, 9998);
    EXPECT_EQ(read.skippedRows, 2);
    EXPECT_EQ(visited.left(20), "0:0 1:1 2:2 5:5 6:6 ");
    EXPECT_EQ(models[0]->size(), 1251);
    EXPECT_EQ(models[3]->size(), 1249);
    EXPECT_EQ(models[0]->recordInOrder(1), sample("0", "pH", "7", "pH", "25", "C", 0));
    EXPECT_EQ(models[7]->recordInOrder(1249), sample("9999", "pH", "7", "pH", "25", "C", 0));
    JournalReader reader;
    ASSERT_EQ(reader.open(path()), QString());
    EXPECT_EQ(
        reader.forEachRow(journal.session(), {}, [](ListId, const ResultRecord&) {}).skippedRows,
        2);
}

TEST_F(JournalTest, ARowOfNullTextsReadsBackAsEmptyTexts)
{
    Journal journal;
    ASSERT_EQ(journal.open(path(), 30), QString());
    journal.add(ListId::ORP, ResultRecord{});
    journal.add(ListId::ORP, ResultRecord{});
    journal.close(true);
    EXPECT_TRUE(journal.offReason().isEmpty());
    EXPECT_EQ(readRows(path(), journal.session()),
              (std::vector<Row>{{1, ResultRecord{}}, {1, ResultRecord{}}}));
}

TEST_F(JournalTest, ARowIsOnDiskWithinASecondWhileTheSessionRuns)
{
    Journal journal;
    ASSERT_EQ(journal.open(path(), 30), QString());
    journal.add(ListId::COND, sample("10:00:01", "ORP", "500", "mV", "", ""));
    QElapsedTimer timer;
    timer.start();
    std::vector<Row> rows;
    while (rows.empty() && timer.elapsed() < 3000) {
        QThread::msleep(20);
        rows = readRows(path(), journal.session());
    }
    EXPECT_EQ(rows.size(), 1u);
    EXPECT_LT(timer.elapsed(), 1000);
    // Not closed: a reader sees it as a run that has not ended.
    EXPECT_FALSE(readSession(path(), journal.session()).ended.has_value());
}

TEST_F(JournalTest, AJournalDroppedWithoutCloseKeepsItsRowsAndDidNotClose)
{
    qint64 id = 0;
    {
        Journal journal;
        ASSERT_EQ(journal.open(path(), 30), QString());
        id = journal.session();
        for (int i = 0; i < 500; ++i)
            journal.add(AllLists[i % 8], sample("1", "pH", "7", "pH", "25", "C", 1));
    }
    const JournalSession s = readSession(path(), id);
    EXPECT_FALSE(s.ended.has_value());
    EXPECT_FALSE(s.clean);
    EXPECT_EQ(s.totalRows(), 500);
    EXPECT_EQ(s.unsavedTotal(), 500);
}

TEST_F(JournalTest, ADamagedJournalIsMovedAsideUnchangedAndAFreshOneStarted)
{
    {
        Journal journal;
        ASSERT_EQ(journal.open(path(), 30), QString());
        journal.close(true);
    }
    // Our header stays, the tables' list after it is garbage.
    QByteArray damaged = fileBytes(path());
    ASSERT_GT(damaged.size(), 1000);
    damaged.replace(100, 900, QByteArray(900, 'x'));
    {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(damaged), damaged.size());
    }
    Journal journal;
    ASSERT_EQ(journal.open(path(), 30, QDateTime(QDate(2026, 12, 9), QTime(3, 15, 0))), QString());
    EXPECT_EQ(journal.movedAside(),
              dir.filePath(QStringLiteral("journal-damaged-20261209-031500.sqlite")));
    EXPECT_EQ(fileBytes(journal.movedAside()), damaged);
    journal.add(ListId::PH, sample("10:00:01", "pH", "7", "pH", "25", "C"));
    journal.close(true);
    EXPECT_EQ(readRows(path(), journal.session()).size(), 1u);
}

// --- Only a journal is ever written, migrated or moved aside

struct ForeignCase
{
    const char* file;
    QByteArray text;        ///< the file's bytes, or else:
    QStringList statements; ///< an SQLite file made by these
};

class ForeignFile : public JournalTest, public ::testing::WithParamInterface<ForeignCase>
{
};

TEST_P(ForeignFile, IsLeftByteForByteAndTheJournalIsOff)
{
    const QString file = dir.filePath(GetParam().file);
    if (QFile f(file); GetParam().statements.isEmpty())
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(GetParam().text) > 0);
    else
        execSql(file, GetParam().statements);
    const QByteArray before = fileBytes(file);
    const QDateTime modified = QFileInfo(file).lastModified();
    const QString reason = file + " is not a Pexumo journal";
    Journal journal;
    EXPECT_EQ(journal.open(file, 30), reason);
    JournalReader reader;
    EXPECT_EQ(reader.open(file), reason);
    EXPECT_EQ(fileBytes(file), before);
    EXPECT_EQ(QFileInfo(file).lastModified(), modified);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{GetParam().file});
}

INSTANTIATE_TEST_SUITE_P(
    Journal, ForeignFile,
    ::testing::Values(ForeignCase{"readings.csv", "Date,Time,Type\r\n,10:00:01,pH\r\n", {}},
                      ForeignCase{"shop.db", {}, {"CREATE TABLE item(name TEXT)"}},
                      ForeignCase{"other.sqlite",
                                  {},
                                  {"CREATE TABLE session(id)", "CREATE TABLE list_state(session)",
                                   "CREATE TABLE reading(session)", "PRAGMA user_version = 1",
                                   "PRAGMA application_id = 7"}}),
    [](const auto& info) { return QFileInfo(info.param.file).baseName().toStdString(); });

TEST_F(JournalTest, AJournalOfTheFirstReleaseIsMarkedAndMigratedWithItsRows)
{
    {
        Journal first;
        ASSERT_EQ(first.open(path(), 30), QString());
        first.add(ListId::COND, sample("10:00:01", "COND", "1.41", "ms", "25", "C"));
    }
    // Back to the layout the first release made: version 1, no mark.
    execSql(path(),
            {"DROP TABLE mqtt_acked", "DROP TABLE alarm", "ALTER TABLE session DROP COLUMN boot_id",
             "ALTER TABLE session DROP COLUMN start_ticks",
             "ALTER TABLE session DROP COLUMN program", "PRAGMA application_id = 0",
             "PRAGMA user_version = 1", "UPDATE session SET host = 'lab', pid = 42"});
    Journal journal;
    ASSERT_EQ(journal.open(path(), 30), QString());
    journal.close(true);
    const QByteArray header = fileBytes(path()).left(72);
    EXPECT_EQ(header.mid(60, 4).toHex(), "00000006"); // user_version
    EXPECT_EQ(header.mid(68, 4), "PXMJ");             // application_id
    EXPECT_EQ(readSession(path(), 1).writer, (ProcessIdentity{"lab", "", 42, 0}));
    EXPECT_EQ(readSession(path(), 1).program, "pexumo"); // every run before was the window's
    EXPECT_EQ(readRows(path(), 1),
              (std::vector<Row>{{2, sample("10:00:01", "COND", "1.41", "ms", "25", "C")}}));
}

TEST_F(JournalTest, TheFileItsLogAndNewFoldersAreTheUsersOnly)
{
    const mode_t oldMask = umask(022);
    const auto mode = [](const QString& p) {
        struct stat st = {};
        return ::stat(QFile::encodeName(p).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    };
    const QString file = dir.filePath("a/b/j.sqlite");
    for (int run = 0; run < 2; ++run) {
        Journal journal;
        ASSERT_EQ(journal.open(file, 30), QString());
        journal.add(ListId::PH, sample("10:00:01", "pH", "7", "pH", "25", "C"));
        ASSERT_TRUE(journal.flush()); // the log and its index are there while it is open
        EXPECT_EQ((std::array{mode(file), mode(file + "-wal"), mode(file + "-shm"),
                              mode(dir.filePath("a")), mode(dir.filePath("a/b"))}),
                  (std::array{0600, 0600, 0600, 0700, 0700}));
        journal.close(true);
        chmod(QFile::encodeName(file).constData(), 0644); // as the first release left it
    }
    umask(oldMask);
}

TEST_F(JournalTest, AFolderThatCannotBeMadeTurnsTheJournalOffWithItsName)
{
    QFile file(dir.filePath(QStringLiteral("notafolder")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    Journal journal;
    const QString reason =
        journal.open(dir.filePath(QStringLiteral("notafolder/journal.sqlite")), 30);
    EXPECT_EQ(reason, QStringLiteral("cannot create the folder %1").arg(file.fileName()));
    EXPECT_FALSE(journal.isOn());
    journal.add(ListId::PH, sample("10:00:01", "pH", "7", "pH", "25", "C")); // dropped, no crash
    journal.close(true);
}

TEST_F(JournalTest, AFolderWithoutWriteRightsTurnsTheJournalOff)
{
    // Root writes anywhere; /proc takes no new files from anyone.
    const QString folder = geteuid() == 0 ? QStringLiteral("/proc") : dir.filePath("ro");
    if (geteuid() != 0) {
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    }
    Journal journal;
    const QString reason = journal.open(folder + QStringLiteral("/journal.sqlite"), 30);
    EXPECT_EQ(reason, QStringLiteral("cannot open %1/journal.sqlite").arg(folder));
    EXPECT_FALSE(journal.isOn());
}

TEST_F(JournalTest, AFileSizeLimitTurnsTheJournalOffOnceAndKeepsTheCommittedRows)
{
    Journal journal;
    ASSERT_EQ(journal.open(path(), 30), QString());
    QString reported;
    int reports = 0;
    QObject::connect(&journal, &Journal::failed, [&](const QString& r) {
        reported = r;
        ++reports;
    });
    journal.add(ListId::PH, sample("10:00:01", "pH", "7", "pH", "25", "C"));
    ASSERT_TRUE(journal.flush());

    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 256 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QByteArray big(2000, 'v');
    for (int i = 0; i < 2000; ++i)
        journal.add(ListId::ORP, sample("10:00:02", "ORP", big.constData(), "mV", "", ""));
    journal.flush();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);

    EXPECT_FALSE(journal.isOn());
    EXPECT_FALSE(journal.offReason().isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(reported, journal.offReason());
    journal.add(ListId::PH, sample("10:00:03", "pH", "7", "pH", "25", "C")); // dropped
    const std::vector<Row> rows = readRows(path(), journal.session());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].record.TimeOrNo, QStringLiteral("10:00:01"));
}

TEST_F(JournalTest, TwoWritersAtOnceKeepEveryRowInTheirOwnSessions)
{
    Journal a;
    Journal b;
    ASSERT_EQ(a.open(path(), 30), QString());
    ASSERT_EQ(b.open(path(), 30), QString());
    EXPECT_NE(a.session(), b.session());
    for (int i = 0; i < 3000; ++i) {
        a.add(ListId::PH, sample(QByteArray::number(i).constData(), "pH", "7", "pH", "25", "C"));
        b.add(ListId::Records,
              sample(QByteArray::number(i).constData(), "DO", "8", "mg/L", "25", "C", 1));
    }
    a.close(true);
    b.close(true);
    const std::vector<Row> rowsA = readRows(path(), a.session());
    const std::vector<Row> rowsB = readRows(path(), b.session());
    ASSERT_EQ(rowsA.size(), 3000u);
    ASSERT_EQ(rowsB.size(), 3000u);
    EXPECT_EQ(rowsA[2999].record.TimeOrNo, QStringLiteral("2999"));
    EXPECT_EQ(rowsB[2999].list, 7);
}

TEST_F(JournalTest, RetentionRemovesOnlyOldSessionsWhoseRowsWereAllSaved)
{
    const QDateTime now(QDate(2026, 12, 9), QTime(3, 0));
    const auto run = [&](const QDateTime& started, bool saveAll) {
        Journal j;
        EXPECT_EQ(j.open(path(), 30, started), QString());
        j.add(ListId::PH, sample("10:00:01", "pH", "7", "pH", "25", "C"));
        j.add(ListId::PH, sample("10:00:02", "pH", "7", "pH", "25", "C"));
        j.markSaved(ListId::PH, saveAll ? 2 : 1);
        j.close(true);
        return j.session();
    };
    // Sessions end when they are closed, now: give them old ends by hand.
    const qint64 oldSaved = run(now.addDays(-40), true);
    const qint64 oldUnsaved = run(now.addDays(-40), false);
    const qint64 recentSaved = run(now.addDays(-20), true);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "retention");
        db.setDatabaseName(path());
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("UPDATE session SET ended_ms = started_ms + 1000"));
    }
    QSqlDatabase::removeDatabase("retention");

    Journal journal;
    ASSERT_EQ(journal.open(path(), 30, now), QString());
    journal.close(true);
    JournalReader reader;
    ASSERT_EQ(reader.open(path()), QString());
    std::vector<qint64> ids;
    for (const JournalSession& s : reader.sessions())
        ids.push_back(s.id);
    EXPECT_EQ(ids, (std::vector<qint64>{oldUnsaved, recentSaved, journal.session()}));
    EXPECT_TRUE(readRows(path(), oldSaved).empty());
}

TEST_F(JournalTest, AdoptingCopiesTheOldRowsAheadOfNewOnesAndRetiresTheOldSession)
{
    qint64 old = 0;
    {
        Journal j;
        ASSERT_EQ(j.open(path(), 30), QString());
        old = j.session();
        j.add(ListId::PH, sample("10:00:01", "pH", "7", "pH", "25", "C"));
        j.add(ListId::Records, sample("1", "pH", "7", "pH", "25", "C", 1));
        j.markSaved(ListId::PH, 1);
    }
    Journal journal;
    ASSERT_EQ(journal.open(path(), 30), QString());
    journal.adopt(old, 2);
    journal.add(ListId::PH, sample("10:00:09", "pH", "7", "pH", "25", "C"));
    journal.close(true);

    std::vector<QString> times;
    for (const Row& r : readRows(path(), journal.session()))
        times.push_back(r.record.TimeOrNo);
    EXPECT_EQ(times, (std::vector<QString>{"10:00:01", "1", "10:00:09"}));
    const JournalSession now = readSession(path(), journal.session());
    EXPECT_EQ(now.rows, (ListCounts{2, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(now.saved, (ListCounts{1, 0, 0, 0, 0, 0, 0, 0}));
    const JournalSession before = readSession(path(), old);
    EXPECT_EQ(before.adoptedBy, journal.session());
    EXPECT_TRUE(before.offered);
    EXPECT_EQ(readRows(path(), old).size(), 2u); // left as it was
}

// --- Alarms

/// The causes of the alarms of \a session as the reader gives them, "-" for none.
std::vector<std::string> causesOf(const QString& path, qint64 session)
{
    JournalReader reader;
    EXPECT_EQ(reader.open(path), QString());
    std::vector<std::string> causes;
    for (const JournalAlarm& a : reader.alarms(session))
        causes.push_back(a.parameter.toStdString() + ' ' +
                         (a.cause ? noReadingCauseWord(*a.cause).toStdString() : "-"));
    return causes;
}

/// alarm.cause of every alarm in the file, in the order they rose, "NULL" for none.
std::vector<std::string> causeColumn(const QString& path)
{
    std::vector<std::string> causes;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "by-hand");
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec("SELECT COALESCE(cause, 'NULL') FROM alarm ORDER BY session, n"));
        while (q.next())
            causes.push_back(q.value(0).toString().toStdString());
    }
    QSqlDatabase::removeDatabase("by-hand");
    return causes;
}

// The no-reading alarm keeps why no frame came, the latest cause while it was up; the other
// alarms have none. A journal of the version before kept no cause: its alarms read without
// one, before and after a program brings the file up to date.
TEST_F(JournalTest, ANoReadingAlarmKeepsItsLatestCauseAndAnOlderOneNone)
{
    // 1796781600000 ms: 2026-12-09 03:00:00 at +01:00.
    const qint64 t = 1796781600000;
    const auto noReading = [t](qint64 raisedSec, NoReadingCause cause) {
        return ActiveAlarm{std::nullopt, AlarmSide::NoReading, 60, 60, 60, t,
                           t + raisedSec * 1000, 3600, cause};
    };
    ActiveAlarm silent = noReading(60, NoReadingCause::Silent);
    ActiveAlarm unopened = noReading(600, NoReadingCause::NotOpen);
    // A cause where none belongs (a limit alarm) is not kept.
    const ActiveAlarm low{AlarmParameter::DO, AlarmSide::Below, 3.1, 4.0, 3.05, t, t + 700000,
                          3600, NoReadingCause::Silent};
    {
        Journal journal;
        ASSERT_EQ(journal.open(path(), 30), QString());
        journal.alarmRaised({AlarmChange::Raise, silent, silent.raisedMs, 3600});
        silent.cause = NoReadingCause::LineLost; // the cable pulled while it was up
        journal.alarmCauseChanged(silent);
        ActiveAlarm back = silent;
        back.value = back.worst = 330;
        journal.alarmCleared({AlarmChange::Clear, back, t + 330000, 3600});
        journal.alarmRaised({AlarmChange::Raise, unopened, unopened.raisedMs, 3600});
        journal.alarmRaised({AlarmChange::Raise, low, low.raisedMs, 3600});
        // Still up at the end: the latest cause stays.
        unopened.cause = NoReadingCause::Silent;
        journal.alarmCauseChanged(unopened);
        // A clear tells the cause the alarm had last, too.
        ActiveAlarm quiet = noReading(900, NoReadingCause::Silent);
        journal.alarmRaised({AlarmChange::Raise, quiet, quiet.raisedMs, 3600});
        quiet.cause = NoReadingCause::NotOpen;
        journal.alarmCleared({AlarmChange::Clear, quiet, t + 960000, 3600});
        journal.close(true);
    }
    EXPECT_EQ(causesOf(path(), 1),
              (std::vector<std::string>{"NoReading lost", "NoReading silent", "DO -",
                                        "NoReading unopened"}));
    // As another program reads the file: empty for the limit alarm.
    EXPECT_EQ(causeColumn(path()), (std::vector<std::string>{"lost", "silent", "NULL", "unopened"}));

    // Back to version 5, as a journal of the release before holds its alarms.
    execSql(path(), {"ALTER TABLE alarm DROP COLUMN raised_worst",
                     "ALTER TABLE alarm DROP COLUMN raise_sent",
                     "ALTER TABLE alarm DROP COLUMN clear_sent",
                     "ALTER TABLE alarm DROP COLUMN cause", "PRAGMA user_version = 5"});
    const std::vector<std::string> unknown{"NoReading -", "NoReading -", "DO -", "NoReading -"};
    EXPECT_EQ(causesOf(path(), 1), unknown);
    {
        Journal journal; // brings it up to date, and keeps causes from now on
        ASSERT_EQ(journal.open(path(), 30), QString());
        journal.alarmRaised({AlarmChange::Raise, unopened, unopened.raisedMs, 3600});
        journal.close(true);
    }
    EXPECT_EQ(fileBytes(path()).mid(60, 4).toHex(), "00000006"); // user_version
    EXPECT_EQ(causesOf(path(), 1), unknown);
    EXPECT_EQ(causesOf(path(), 2), (std::vector<std::string>{"NoReading silent"}));
}

TEST_F(JournalTest, AJournalOfANewerVersionIsLeftAlone)
{
    execSql(path(), {"PRAGMA application_id = 1347964234",
                     QStringLiteral("PRAGMA user_version = %1").arg(JournalSchemaVersion + 1)});
    const QByteArray before = fileBytes(path());
    Journal journal;
    EXPECT_EQ(journal.open(path(), 30),
              QStringLiteral("%1 was made by a newer Pexumo").arg(path()));
    EXPECT_TRUE(journal.movedAside().isEmpty());
    EXPECT_EQ(fileBytes(path()), before);
}

// --- Another program's lock

TEST_F(JournalTest, ALockHeldByAnotherProgramHoldsRowsBackButNeverTheClose)
{
    Journal journal;
    ASSERT_EQ(journal.open(path(), 30), QString());
    journal.add(ListId::PH, sample("10:00:01", "pH", "7", "pH", "25", "C"));
    ASSERT_TRUE(journal.flush());

    QSqlDatabase shell = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "shell");
    shell.setDatabaseName(path());
    ASSERT_TRUE(shell.open());
    QSqlQuery q(shell);
    ASSERT_TRUE(q.exec("BEGIN IMMEDIATE"));
    for (const char* time : {"10:00:02", "10:00:03", "10:00:04"})
        journal.add(ListId::PH, sample(time, "pH", "7", "pH", "25", "C"));
    EXPECT_FALSE(journal.flush(800));
    EXPECT_EQ(journal.pendingRows(), 3);
    EXPECT_EQ(journal.stallReason(), QStringLiteral("%1 is locked by another program").arg(path()));

    // Released: the held rows go in, nothing stalls any more.
    ASSERT_TRUE(q.exec("ROLLBACK"));
    EXPECT_TRUE(journal.flush(3000));
    EXPECT_EQ(journal.pendingRows(), 0);
    EXPECT_EQ(journal.stallReason(), QString());

    ASSERT_TRUE(q.exec("BEGIN IMMEDIATE"));
    journal.add(ListId::ORP, sample("10:00:05", "ORP", "500", "mV", "", ""));
    journal.add(ListId::ORP, sample("10:00:06", "ORP", "501", "mV", "", ""));
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(journal.close(true, 1000), 2);
    EXPECT_LT(clock.elapsed(), 1800);
    ASSERT_TRUE(q.exec("ROLLBACK"));
    q.finish();
    shell.close();
    shell = QSqlDatabase();
    QSqlDatabase::removeDatabase("shell");

    // What got in stays; the run counts as one that did not close.
    const JournalSession s = readSession(path(), journal.session());
    EXPECT_EQ(s.rows, (ListCounts{4, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(s.ended.has_value());
}

// The journal of a logger service belongs to its own user. Root may read it while the logger
// has it open; otherwise the reader would leave a log and an index of root's beside it, and
// the service could no longer open its journal.
TEST_F(JournalTest, RootReadsAnotherUsersJournalOnlyWhileItIsInUse)
{
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || nobody == nullptr)
        GTEST_SKIP() << "needs root and the user nobody";
    Journal writer;
    ASSERT_EQ(writer.open(path(), 30), QString());
    writer.add(ListId::PH, sample("10:00:01", "pH", "7", "pH", "25", "C"));
    ASSERT_TRUE(writer.flush());
    for (const char* suffix : {"", "-wal", "-shm"})
        ASSERT_EQ(::chown(QFile::encodeName(path() + suffix), nobody->pw_uid, nobody->pw_gid), 0);
    EXPECT_EQ(readSession(path(), 1).totalRows(), 1);
    writer.close(true); // the last connection takes the log and the index away
    JournalReader reader;
    EXPECT_EQ(reader.open(path()),
              path() + " belongs to nobody and is not in use: read it as nobody (sudo -u nobody "
                       "...), since files made by root beside it would lock nobody out");
    EXPECT_FALSE(QFileInfo::exists(path() + "-wal"));
    EXPECT_FALSE(QFileInfo::exists(path() + "-shm"));
}

TEST(JournalReaderTest, AMissingFileIsNamed)
{
    JournalReader reader;
    EXPECT_EQ(reader.open(QStringLiteral("/nonexistent/journal.sqlite")),
              QStringLiteral("no journal at /nonexistent/journal.sqlite"));
}

// --- Which run is offered for restore

struct OfferCase
{
    const char* name;
    std::vector<JournalSession> sessions;
    std::vector<qint64> running; ///< ids whose process is still alive
    qint64 expected;             ///< 0: none
};

JournalSession session(qint64 id, bool ended, qint64 rows, qint64 saved, bool offered = false,
                       const char* program = "pexumo")
{
    JournalSession s;
    s.id = id;
    s.program = QString::fromLatin1(program);
    if (ended)
        s.ended = QDateTime::fromMSecsSinceEpoch(0);
    s.rows[3] = rows;
    s.saved[3] = saved;
    s.offered = offered;
    return s;
}

class RestoreOffer : public ::testing::TestWithParam<OfferCase>
{
};

TEST_P(RestoreOffer, PicksTheLastEndedRunWithUnsavedRows)
{
    const OfferCase& c = GetParam();
    const auto offer = findRestoreOffer(c.sessions, 99, [&](const JournalSession& s) {
        return std::find(c.running.begin(), c.running.end(), s.id) != c.running.end();
    });
    EXPECT_EQ(offer ? offer->id : 0, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Journal, RestoreOffer,
    ::testing::Values(
        OfferCase{"Crashed", {session(1, false, 5, 0)}, {}, 1},
        OfferCase{"ClosedWithUnsaved", {session(1, true, 5, 2)}, {}, 1},
        OfferCase{"ClosedAllSaved", {session(1, true, 5, 5)}, {}, 0},
        OfferCase{"CrashedNothingUnsaved", {session(1, false, 5, 5)}, {}, 0},
        OfferCase{"AskedBefore", {session(1, false, 5, 0, true)}, {}, 0},
        OfferCase{"OnlyTheLastCounts", {session(1, false, 5, 0), session(2, true, 1, 1)}, {}, 0},
        OfferCase{"ARunningNeighbourIsSkipped",
                  {session(1, false, 5, 0), session(2, false, 3, 0)},
                  {2},
                  1},
        OfferCase{
            "OwnSessionIsSkipped", {session(1, false, 4, 0), session(99, false, 3, 0)}, {}, 1},
        OfferCase{"Empty", {}, {}, 0},
        // A logger's rows were never in lists to save: they live in the journal.
        OfferCase{
            "ALoggerRunIsNeverOffered", {session(1, false, 5, 0, false, "pexumo-logger")}, {}, 0},
        OfferCase{"TheWindowsRunBeforeALoggersIsOffered",
                  {session(1, false, 5, 0), session(2, true, 9, 0, false, "pexumo-logger")},
                  {},
                  1}),
    [](const ::testing::TestParamInfo<OfferCase>& info) { return std::string(info.param.name); });

// --- After a crash, a reboot or a power cut: is the writer of a session still running?

struct LivenessCase
{
    const char* name;
    const char* edit; ///< how the session's writer differs from this process
    bool offered;
};

class Liveness : public JournalTest, public ::testing::WithParamInterface<LivenessCase>
{
};

TEST_P(Liveness, OnlyARunOfALiveProcessOfThisBootIsNotOffered)
{
    Journal crashed; // did not close, and written by this very process
    ASSERT_EQ(crashed.open(path(), 30), QString());
    crashed.add(ListId::PH, sample("10:00:01", "pH", "7", "pH", "25", "C"));
    ASSERT_TRUE(crashed.flush());
    if (*GetParam().edit)
        execSql(path(), {QStringLiteral("UPDATE session SET ") + GetParam().edit});
    JournalReader reader;
    ASSERT_EQ(reader.open(path()), QString());
    const auto offer = findRestoreOffer(reader.sessions(), 99, [](const JournalSession& s) {
        return journalSessionMayRun(s.writer);
    });
    EXPECT_EQ(offer.has_value(), GetParam().offered);
}

INSTANTIATE_TEST_SUITE_P(
    Journal, Liveness,
    ::testing::Values(LivenessCase{"ThisProcess", "", false},
                      LivenessCase{"AnotherBoot", "boot_id = 'before-the-power-cut'", true},
                      LivenessCase{"ItsPidReused", "start_ticks = start_ticks + 1", true},
                      LivenessCase{"FirstReleaseLivePid", "boot_id = '', start_ticks = 0", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RestoreQuestion, NamesTheStartInLocalTimeAndTheUnsavedCount)
{
    JournalSession s = session(1, false, 1200, 200);
    s.rows[7] = 34;
    s.started = QDateTime(QDate(2026, 12, 8), QTime(21, 5, 9), Qt::OffsetFromUTC, 3600);
    EXPECT_EQ(restoreQuestion(s),
              QStringLiteral("The last run (started 2026-12-08 21:05:09) ended with 1034 "
                             "readings that were never saved. Restore them?"));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // queued signals and the SQL driver plugin
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
