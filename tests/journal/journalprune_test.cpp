// The removal of old sessions on a journal filled with sessions across 200 days: which go by
// JournalKeepDays when a program opens the journal, and what the removal by hand sees of each.
#include "journal/journal.h"
#include "journal/journalprune.h"
#include "support/journalfill.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pexumo;
using pexumo::test::fillJournal;
using pexumo::test::sessionsIn;
using pexumo::test::twoHundredDays;

namespace {

const QDateTime Now(QDate(2026, 12, 9), QTime(3, 0), Qt::UTC);

class JournalPrune : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        fillJournal(path(), Now, twoHundredDays());
    }
    QString path() const { return dir.filePath(QStringLiteral("journal.sqlite")); }
    QTemporaryDir dir;
};

TEST_F(JournalPrune, KeepDaysRemovesClosedSessionsWhoseRowsAreAllKeptElsewhere)
{
    Journal logger;
    ASSERT_EQ(logger.open(path(), 30, Now, QString::fromLatin1(LoggerProgram)), QString());
    EXPECT_EQ(logger.session(), 16);
    logger.close(true);
    // Gone: 1 and 4 (all saved), 3 (restored into 4), 6, 11 and 12 (a logger's, all
    // acknowledged), 8 (a logger's killed, all acknowledged). Kept: 2 (rows kept nowhere else),
    // 5 (never published), 7 (two rows not acknowledged), 9 (still written), 10 (the window's
    // unsaved rows, though published), 13 (ended 29 days ago), 14 and 15 (recent).
    const auto [sessions, acked] = sessionsIn(path());
    EXPECT_EQ(sessions, (std::vector<qint64>{2, 5, 7, 9, 10, 13, 14, 15, 16}));
    // The acknowledgements of the sessions removed go, but the newest (15) stays.
    EXPECT_EQ(acked, (std::vector<qint64>{2, 7, 9, 10, 13, 15}));
}

TEST_F(JournalPrune, OldSessionsTellWhatKeepsTheirRows)
{
    const QString name = QStringLiteral("prune-test");
    {
        ASSERT_EQ(openJournalConnection(name, path(), false).reason, QString());
        QString error = QStringLiteral("not asked");
        const std::vector<OldSession> old = findOldSessions(
            QSqlDatabase::database(name, false), Now.addDays(-90).toMSecsSinceEpoch(), {}, &error);
        EXPECT_EQ(error, QString());
        struct Expected
        {
            qint64 id;
            qint64 rows;
            qint64 unkept;
            bool running;
            bool expires;
        };
        // Sessions ended (or started, without an end) more than 90 days ago: 1 to 10.
        const std::vector<Expected> expected{{1, 20000, 0, false, true}, {2, 6, 3, false, false},
                                             {3, 6, 0, false, true},     {4, 6, 0, false, true},
                                             {5, 6, 6, false, false},    {6, 6, 0, false, true},
                                             {7, 6, 2, false, false},    {8, 6, 0, false, true},
                                             {9, 6, 0, true, false},     {10, 6, 0, false, false}};
        ASSERT_EQ(old.size(), expected.size());
        for (std::size_t i = 0; i < old.size(); ++i) {
            SCOPED_TRACE(old[i].id);
            EXPECT_EQ(old[i].id, expected[i].id);
            EXPECT_EQ(old[i].rows, expected[i].rows);
            EXPECT_EQ(old[i].unkept, expected[i].unkept);
            EXPECT_EQ(old[i].running, expected[i].running);
            EXPECT_EQ(old[i].expires(), expected[i].expires);
        }
        EXPECT_EQ(old[7].ended, std::nullopt);
        EXPECT_EQ(old[7].started, Now.addDays(-130));
        EXPECT_EQ(old[9].ended, Now.addDays(-99));

        const std::vector<OldSession> one = findOldSessions(
            QSqlDatabase::database(name, false), Now.addDays(-90).toMSecsSinceEpoch(), 7, &error);
        ASSERT_EQ(one.size(), 1u);
        EXPECT_EQ(one[0].id, 7);
        EXPECT_TRUE(findOldSessions(QSqlDatabase::database(name, false),
                                    Now.addDays(-90).toMSecsSinceEpoch(), 13, &error)
                        .empty());
        EXPECT_TRUE(journalBeingWritten(QSqlDatabase::database(name, false), &error));
    }
    QSqlDatabase::removeDatabase(name);
}

TEST_F(JournalPrune, RemovingSessionsTakesTheirRowsListsAlarmsAndAllButTheNewestAcknowledgement)
{
    const QString name = QStringLiteral("prune-test");
    {
        ASSERT_EQ(openJournalConnection(name, path(), false).reason, QString());
        QSqlDatabase db = QSqlDatabase::database(name, false);
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("INSERT INTO alarm(session, n, parameter, side, threshold, since_ms,"
                           " raised_ms, raised_offset_sec, raised_value, worst)"
                           " VALUES(5, 0, 'Disk', 0, 200, 1, 1, 0, 150, 150),"
                           " (7, 0, 'DO', 0, 4, 1, 1, 0, 3, 3)"));
        // 15 holds the newest acknowledgement: where publishing goes on, which stays.
        EXPECT_EQ(removeSessions(db, {1, 5, 6, 15}), QString());
        for (const char* table : {"reading", "list_state", "alarm"}) {
            SCOPED_TRACE(table);
            ASSERT_TRUE(
                q.exec(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE session IN (1, 5, 6, 15)")
                           .arg(QLatin1StringView(table))));
            ASSERT_TRUE(q.next());
            EXPECT_EQ(q.value(0).toLongLong(), 0);
        }
        ASSERT_TRUE(q.exec("SELECT COUNT(*) FROM alarm WHERE session = 7"));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toLongLong(), 1);
    }
    QSqlDatabase::removeDatabase(name);
    const auto [sessions, acked] = sessionsIn(path());
    EXPECT_EQ(sessions, (std::vector<qint64>{2, 3, 4, 7, 8, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(acked, (std::vector<qint64>{2, 7, 8, 9, 10, 11, 12, 13, 15}));
}

} // namespace
