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

// An alarm rise or clear the broker has not acknowledged keeps a published session as an
// unsent row does: the journal is where the publisher sends it from. Each session ended 100
// days ago with six rows; a logger's rows were all acknowledged unless the case says otherwise.
TEST(JournalPruneAlarms, AlarmEventsNotYetPublishedKeepTheirSession)
{
    using pexumo::test::FilledAlarm;
    using pexumo::test::FilledSession;
    const std::vector<int> rows = pexumo::test::rowsOf(0, 6);
    const auto logger = [&](std::vector<FilledAlarm> alarms, std::optional<qint64> acked = 6) {
        return FilledSession{LoggerProgram, 101, 100, rows, {}, acked, {}, false, alarms};
    };
    const auto window = [&](std::vector<FilledAlarm> alarms, std::optional<qint64> acked) {
        return FilledSession{WindowProgram, 101, 100, rows, {{0, 6}}, acked, {}, false, alarms};
    };
    struct Case
    {
        const char* what;
        FilledSession session;
        qint64 unsentAlarms;
        qint64 unkept;
        bool expires;
    };
    //                 raise sent, cleared, clear sent
    const FilledAlarm allSent{true, true, true};
    const FilledAlarm riseUnsent{false, false, false};
    const FilledAlarm clearUnsent{true, true, false};
    const FilledAlarm bothUnsent{false, true, false};
    const FilledAlarm stillUp{true, false, false};
    const std::vector<Case> cases{
        {"1: logger, every rise and clear sent", logger({allSent, allSent}), 0, 0, true},
        {"2: logger, a rise not sent", logger({riseUnsent}), 1, 0, false},
        {"3: logger, a clear not sent", logger({clearUnsent}), 1, 0, false},
        {"4: logger, a rise and its clear not sent", logger({bothUnsent}), 2, 0, false},
        {"5: logger, an alarm up at the end, its rise sent", logger({stillUp}), 0, 0, true},
        {"6: logger, three alarms, two events unsent", logger({riseUnsent, clearUnsent, allSent}),
         2, 0, false},
        {"7: window, rows saved, published, a rise not sent", window({riseUnsent}, 0), 1, 0, false},
        {"8: window, rows saved, never published", window({bothUnsent}, {}), 0, 0, true},
        {"9: logger, never published", logger({riseUnsent}, {}), 0, 6, false},
        {"10: logger, two rows not acknowledged, a clear not sent", logger({clearUnsent}, 4), 1, 2,
         false},
        {"11: logger, no alarm", logger({}), 0, 0, true},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("journal.sqlite"));
    std::vector<FilledSession> sessions;
    for (const Case& c : cases)
        sessions.push_back(c.session);
    fillJournal(path, Now, sessions);

    const QString name = QStringLiteral("prune-alarms-test");
    {
        ASSERT_EQ(openJournalConnection(name, path, false).reason, QString());
        QString error;
        const std::vector<OldSession> old = findOldSessions(
            QSqlDatabase::database(name, false), Now.addDays(-30).toMSecsSinceEpoch(), {}, &error);
        EXPECT_EQ(error, QString());
        ASSERT_EQ(old.size(), cases.size());
        for (std::size_t i = 0; i < cases.size(); ++i) {
            SCOPED_TRACE(cases[i].what);
            EXPECT_EQ(old[i].unsentAlarms, cases[i].unsentAlarms);
            EXPECT_EQ(old[i].unkept, cases[i].unkept);
            EXPECT_EQ(old[i].expires(), cases[i].expires);
        }
    }
    QSqlDatabase::removeDatabase(name);

    // JournalKeepDays of 30 takes 1, 5, 8 and 11 and keeps the others.
    Journal journal;
    ASSERT_EQ(journal.open(path, 30, Now, QString::fromLatin1(LoggerProgram)), QString());
    journal.close(true);
    EXPECT_EQ(sessionsIn(path).first, (std::vector<qint64>{2, 3, 4, 6, 7, 9, 10, 12}));
}

} // namespace
