#pragma once

// Header only: for the journal's unit tests and the pexumo-journal tests, which link the
// journal library and not the widget support library.

#include "journal/journalfile.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

namespace pexumo::test {

/// An alarm of a session, and which of its events the broker acknowledged.
struct FilledAlarm
{
    bool raiseSent = true;
    bool cleared = true; ///< false: still up when the session ended
    bool clearSent = true;
};

/// A session as a test writes it straight into a journal, with times days before a "now".
struct FilledSession
{
    const char* program = WindowProgram;
    int startedDaysAgo = 0;
    std::optional<int> endedDaysAgo; ///< none: it did not close
    /// Rows: the list of each, in the order they were added (reading.n 0, 1, ...).
    std::vector<int> rows;
    /// (list, rows saved): the first that many rows of the list were saved to a file.
    std::vector<std::pair<int, int>> saved;
    /// The broker acknowledged the rows below this number (mqtt_acked.seq); none: never
    /// published.
    std::optional<qint64> acked;
    std::optional<qint64> adoptedBy; ///< the session its rows were restored into
    /// Written by this very process, so that it may still be running; else by a process of a
    /// boot long gone.
    bool live = false;
    std::vector<FilledAlarm> alarms; ///< numbered 0, 1, ... as they rose
};

/// \a n rows of \a list.
inline std::vector<int> rowsOf(int list, int n)
{
    return std::vector<int>(std::size_t(n), list);
}

/// Writes \a sessions as sessions 1, 2, ... into a new journal at \a path, whose tables the
/// journal makes itself; times are days before \a now.
inline void fillJournal(const QString& path, const QDateTime& now,
                        const std::vector<FilledSession>& sessions)
{
    const QString name = QStringLiteral("pexumo-test-fill");
    {
        ASSERT_EQ(openJournalConnection(name, path, false).reason, QString());
        QSqlDatabase db = QSqlDatabase::database(name, false);
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("BEGIN")));
        const ProcessIdentity self = currentProcessIdentity();
        const ProcessIdentity gone{journalHostName(), QStringLiteral("boot-long-gone"), 4242, 17};
        qint64 id = 0;
        for (const FilledSession& s : sessions) {
            ++id;
            const ProcessIdentity& writer = s.live ? self : gone;
            const qint64 startedMs = now.addDays(-s.startedDaysAgo).toMSecsSinceEpoch();
            q.prepare(QStringLiteral(
                "INSERT INTO session(id, started_ms, utc_offset_sec, ended_ms, clean, host, pid,"
                " boot_id, start_ticks, program, adopted_by) VALUES(?, ?, 0, ?, ?, ?, ?, ?, ?, ?, "
                "?)"));
            q.addBindValue(id);
            q.addBindValue(startedMs);
            q.addBindValue(s.endedDaysAgo
                               ? QVariant(now.addDays(-*s.endedDaysAgo).toMSecsSinceEpoch())
                               : QVariant(QMetaType::fromType<qint64>()));
            q.addBindValue(s.endedDaysAgo ? 1 : 0);
            q.addBindValue(writer.host);
            q.addBindValue(writer.pid);
            q.addBindValue(writer.bootId);
            q.addBindValue(writer.startTicks);
            q.addBindValue(QString::fromLatin1(s.program));
            q.addBindValue(s.adoptedBy ? QVariant(*s.adoptedBy)
                                       : QVariant(QMetaType::fromType<qint64>()));
            ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
            std::vector<int> perList(ListCount, 0);
            q.prepare(QStringLiteral("INSERT INTO reading VALUES(?, ?, ?, '10:00:00', 'pH', '7.12',"
                                     " 'pH', '25.3', 'C', 0, ?, 0)"));
            for (std::size_t n = 0; n < s.rows.size(); ++n) {
                q.addBindValue(id);
                q.addBindValue(qint64(n));
                q.addBindValue(s.rows[n]);
                q.addBindValue(startedMs + qint64(n) * 1000);
                ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
                ++perList[std::size_t(s.rows[n])];
            }
            for (int list = 0; list < ListCount; ++list) {
                int saved = 0;
                for (const auto& [l, count] : s.saved)
                    if (l == list)
                        saved = count;
                if (perList[std::size_t(list)] == 0 && saved == 0)
                    continue;
                q.prepare(QStringLiteral("INSERT INTO list_state VALUES(?, ?, ?, ?)"));
                q.addBindValue(id);
                q.addBindValue(list);
                q.addBindValue(perList[std::size_t(list)]);
                q.addBindValue(saved);
                ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
            }
            for (std::size_t n = 0; n < s.alarms.size(); ++n) {
                const FilledAlarm& a = s.alarms[n];
                q.prepare(QStringLiteral(
                    "INSERT INTO alarm(session, n, parameter, side, threshold, since_ms, raised_ms,"
                    " raised_offset_sec, raised_value, worst, cleared_ms, cleared_offset_sec,"
                    " cleared_value, raise_sent, clear_sent) VALUES(?, ?, 'DO', 0, 4, ?, ?, 0, 3.5,"
                    " 3.1, ?, ?, ?, ?, ?)"));
                q.addBindValue(id);
                q.addBindValue(qint64(n));
                q.addBindValue(startedMs + qint64(n) * 1000);
                q.addBindValue(startedMs + qint64(n) * 1000);
                const QVariant none(QMetaType::fromType<qint64>());
                q.addBindValue(a.cleared ? QVariant(startedMs + qint64(n) * 1000 + 500) : none);
                q.addBindValue(a.cleared ? QVariant(0) : none);
                q.addBindValue(a.cleared ? QVariant(4.2) : none);
                q.addBindValue(a.raiseSent ? 1 : 0);
                q.addBindValue(a.clearSent ? 1 : 0);
                ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
            }
            if (s.acked) {
                q.prepare(QStringLiteral("INSERT INTO mqtt_acked VALUES(?, ?)"));
                q.addBindValue(id);
                q.addBindValue(*s.acked);
                ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
            }
        }
        ASSERT_TRUE(q.exec(QStringLiteral("COMMIT")));
    }
    QSqlDatabase::removeDatabase(name);
}

/// The ids of the sessions in the journal at \a path, and of the sessions it keeps an
/// acknowledgement of the broker for.
inline std::pair<std::vector<qint64>, std::vector<qint64>> sessionsIn(const QString& path)
{
    const QString name = QStringLiteral("pexumo-test-sessions");
    std::pair<std::vector<qint64>, std::vector<qint64>> ids;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT id FROM session ORDER BY id")));
        while (q.next())
            ids.first.push_back(q.value(0).toLongLong());
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT session FROM mqtt_acked ORDER BY session")));
        while (q.next())
            ids.second.push_back(q.value(0).toLongLong());
    }
    QSqlDatabase::removeDatabase(name);
    return ids;
}

/// Sessions across 200 days, ids 1 to 15 in this order, each of another kind. "Ended" counts
/// days before now; every session lasted a day.
inline std::vector<FilledSession> twoHundredDays()
{
    constexpr int PH = 0;
    constexpr int ORP = 1;
    // pH and ORP rows taking turns, six of them: n 0 pH, 1 ORP, 2 pH, 3 ORP, 4 pH, 5 ORP.
    const std::vector<int> mixed{PH, ORP, PH, ORP, PH, ORP};
    const char* window = WindowProgram;
    const char* logger = LoggerProgram;
    return {
        // 1: the window's, ended 199 days ago, every row saved; 20000 rows
        {window, 200, 199, rowsOf(PH, 20000), {{PH, 20000}}, {}, {}, false, {}},
        // 2: the window's, ended 189, pH rows n 0 and 2 saved, the broker acknowledged n 0-2:
        //    n 3, 4, 5 are kept nowhere else
        {window, 190, 189, mixed, {{PH, 2}}, 3, {}, false, {}},
        // 3: the window's, ended 179, nothing saved, restored into session 4
        {window, 180, 179, mixed, {}, {}, 4, false, {}},
        // 4: the window's that restored 3, ended 169, every row saved
        {window, 170, 169, mixed, {{PH, 3}, {ORP, 3}}, {}, {}, false, {}},
        // 5: a logger's, ended 159, never published
        {logger, 160, 159, mixed, {}, {}, {}, false, {}},
        // 6: a logger's, ended 149, every row acknowledged
        {logger, 150, 149, mixed, {}, 6, {}, false, {}},
        // 7: a logger's, ended 139, rows n 0-3 acknowledged, n 4 and 5 not
        {logger, 140, 139, mixed, {}, 4, {}, false, {}},
        // 8: a logger's killed 130 days ago (no end, its process long gone), all acknowledged
        {logger, 130, {}, mixed, {}, 6, {}, false, {}},
        // 9: a logger's that runs since 120 days (no end, this process), all acknowledged so far
        {logger, 120, {}, mixed, {}, 6, {}, true, {}},
        // 10: the window's, ended 99, pH saved, everything acknowledged
        {window, 100, 99, mixed, {{PH, 3}}, 6, {}, false, {}},
        // 11: a logger's, ended 59, all acknowledged
        {logger, 60, 59, mixed, {}, 6, {}, false, {}},
        // 12: a logger's, ended 31 days ago, all acknowledged
        {logger, 32, 31, mixed, {}, 6, {}, false, {}},
        // 13: a logger's, ended 29 days ago, all acknowledged
        {logger, 30, 29, mixed, {}, 6, {}, false, {}},
        // 14: a logger's, ended 10 days ago, never published
        {logger, 11, 10, mixed, {}, {}, {}, false, {}},
        // 15: a logger's, ended yesterday, all acknowledged
        {logger, 2, 1, mixed, {}, 6, {}, false, {}},
    };
}

} // namespace pexumo::test
