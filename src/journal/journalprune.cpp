#include "journal/journalprune.h"

#include <QSqlQuery>
#include <QVariant>

namespace pexumo {

namespace {

/// The reason of a failed query, in the words of the journal's other messages.
QString errorOf(const QSqlDatabase& db, const QSqlQuery& q)
{
    return journalError(q.lastError(), db.databaseName()).reason;
}

/// How many rows of \a s are kept nowhere else. A session's rows are numbered in the order
/// they were added (reading.n from 0); the broker acknowledged those below \a acked, and each
/// list's first list_state.saved rows were saved to a file.
std::optional<qint64> countUnkept(const QSqlDatabase& db, const OldSession& s, qint64 acked,
                                  qint64 savedRows)
{
    if (s.adopted || s.allSaved || s.allPublished)
        return 0;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    // A row is saved when its place in its own list is below that list's saved count; with
    // nothing saved only the acknowledgement counts, which the primary key finds at once.
    q.prepare(
        savedRows == 0
            ? QStringLiteral("SELECT COUNT(*) FROM reading WHERE session = :s AND n >= :acked")
            : QStringLiteral("SELECT COUNT(*) FROM (SELECT n, list, ROW_NUMBER() OVER (PARTITION BY"
                             " list ORDER BY n) - 1 AS place FROM reading WHERE session = :s) r"
                             " LEFT JOIN list_state l ON l.session = :s AND l.list = r.list"
                             " WHERE r.n >= :acked AND r.place >= COALESCE(l.saved, 0)"));
    q.bindValue(QStringLiteral(":s"), s.id);
    q.bindValue(QStringLiteral(":acked"), acked);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return q.value(0).toLongLong();
}

} // namespace

bool OldSession::expires() const
{
    if (running || unsentAlarms > 0)
        return false;
    return allSaved || adopted || (program == QLatin1StringView(LoggerProgram) && allPublished);
}

std::vector<OldSession> findOldSessions(const QSqlDatabase& db, qint64 cutoffMs,
                                        std::optional<qint64> only, QString* error,
                                        UnkeptRows unkept)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "SELECT s.id, s.started_ms, s.utc_offset_sec, s.ended_ms, s.program, s.host, s.boot_id,"
        " s.pid, s.start_ticks, s.adopted_by IS NOT NULL,"
        " COALESCE((SELECT SUM(rows) FROM list_state WHERE session = s.id), 0),"
        " COALESCE((SELECT SUM(MIN(saved, rows)) FROM list_state WHERE session = s.id), 0),"
        " (SELECT seq FROM mqtt_acked WHERE session = s.id),"
        // A rise waits for the broker until it is marked sent, and a clear from the moment it
        // happens; a clear that never happened is not waited for.
        " COALESCE((SELECT SUM((raise_sent = 0) + (cleared_ms IS NOT NULL AND clear_sent = 0))"
        " FROM alarm WHERE session = s.id), 0)"
        " FROM session s WHERE COALESCE(s.ended_ms, s.started_ms) < ? AND (? OR s.id = ?)"
        " ORDER BY s.id"));
    q.addBindValue(cutoffMs);
    q.addBindValue(!only.has_value());
    q.addBindValue(only.value_or(0));
    if (!q.exec()) {
        if (error)
            *error = errorOf(db, q);
        return {};
    }
    struct Found
    {
        OldSession session;
        qint64 acked;
        qint64 saved;
    };
    std::vector<Found> found;
    while (q.next()) {
        OldSession s;
        s.id = q.value(0).toLongLong();
        const int offset = q.value(2).toInt();
        s.started =
            QDateTime::fromMSecsSinceEpoch(q.value(1).toLongLong(), Qt::OffsetFromUTC, offset);
        if (!q.value(3).isNull())
            s.ended =
                QDateTime::fromMSecsSinceEpoch(q.value(3).toLongLong(), Qt::OffsetFromUTC, offset);
        s.program = q.value(4).toString();
        s.writer = {q.value(5).toString(), q.value(6).toString(), q.value(7).toLongLong(),
                    q.value(8).toLongLong()};
        s.adopted = q.value(9).toBool();
        s.rows = q.value(10).toLongLong();
        const qint64 saved = q.value(11).toLongLong();
        // A session passed over by publishing has its row count here; one that was never
        // published has no row at all.
        const qint64 acked = q.value(12).isNull() ? -1 : q.value(12).toLongLong();
        s.allSaved = saved >= s.rows;
        s.allPublished = acked >= 0 && acked >= s.rows;
        // Every alarm is journaled as not yet sent; only a publisher marks it sent. Where no
        // publisher ever took up the session, nothing will: its alarms keep nothing back.
        if (acked >= 0)
            s.unsentAlarms = q.value(13).toLongLong();
        s.running = !s.ended && journalSessionMayRun(s.writer);
        found.push_back({std::move(s), std::max<qint64>(acked, 0), saved});
    }
    std::vector<OldSession> sessions;
    for (Found& f : found) {
        if (unkept == UnkeptRows::Count) {
            const std::optional<qint64> count = countUnkept(db, f.session, f.acked, f.saved);
            if (!count) {
                if (error)
                    *error =
                        QStringLiteral("cannot count the rows of session %1").arg(f.session.id);
                return {};
            }
            f.session.unkept = *count;
        }
        sessions.push_back(std::move(f.session));
    }
    if (error)
        error->clear();
    return sessions;
}

QString removeSessions(const QSqlDatabase& db, const std::vector<qint64>& ids)
{
    if (ids.empty())
        return {};
    QSqlQuery q(db);
    // IMMEDIATE: the write lock at once, waiting out a writer within the busy timeout.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return errorOf(db, q);
    for (qint64 id : ids)
        for (const char* sql :
             {"DELETE FROM reading WHERE session = ?", "DELETE FROM list_state WHERE session = ?",
              "DELETE FROM alarm WHERE session = ?",
              // The newest acknowledgement is where publishing goes on: it stays.
              "DELETE FROM mqtt_acked WHERE session = ?"
              " AND session < (SELECT MAX(session) FROM mqtt_acked)",
              "DELETE FROM session WHERE id = ?"}) {
            q.prepare(QString::fromLatin1(sql));
            q.addBindValue(id);
            if (!q.exec()) {
                const QString reason = errorOf(db, q);
                QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
                return reason;
            }
        }
    if (!q.exec(QStringLiteral("COMMIT"))) {
        const QString reason = errorOf(db, q);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return reason;
    }
    return {};
}

bool journalBeingWritten(const QSqlDatabase& db, QString* error)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral(
            "SELECT host, boot_id, pid, start_ticks FROM session WHERE ended_ms IS NULL"))) {
        if (error)
            *error = errorOf(db, q);
        return true; // when in doubt, a program writes it
    }
    while (q.next())
        if (journalSessionMayRun({q.value(0).toString(), q.value(1).toString(),
                                  q.value(2).toLongLong(), q.value(3).toLongLong()}))
            return true;
    return false;
}

} // namespace pexumo
