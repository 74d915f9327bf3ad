#include "journal/journaloutbox.h"

#include "journal/journal.h"
#include "journal/journalfile.h"

#include "alarm/alarmsettings.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <tuple>

namespace pexumo {

// The connection is opened through Qt, which checks the file's mark and brings its tables up to
// date as every journal connection does; its rows are then read through SQLite's own handle,
// which hands them over without a QVariant per field (a backlog is read at tens of thousands of
// rows a second).

namespace {

enum Statement
{
    Rows,     ///< rows of a session from a number on, with the session's port
    Copies,   ///< how many rows a session took over from the one it restored
    Sessions, ///< from a session on: each one's rows and restored rows
    Start,    ///< where publishing started: the oldest acknowledgement kept
    Writers,  ///< the sessions from one to another, with whether they ended and their process
    Acked,    ///< a session's acknowledgement
    Finish,   ///< a session the broker has every row of
    Store,    ///< an acknowledgement
    Alarms,   ///< the rises and clears of sessions from one to another not yet acknowledged
    RaiseSent,
    ClearSent,
    Count
};

constexpr std::array<const char*, Count> Sql = {
    "SELECT n, list, time_or_no, type, value, unit, temp, temp_unit, sign, stamp_ms,"
    " utc_offset_sec, (SELECT port FROM session WHERE id = ?1) FROM reading"
    " WHERE session = ?1 AND n >= ?2 ORDER BY n LIMIT ?3",
    // A restore copies the rows with their numbers and then numbers on after them.
    "SELECT COALESCE(MAX(r.n) + 1, 0) FROM session a JOIN reading r ON r.session = a.id"
    " WHERE a.adopted_by = ?1",
    "SELECT s.id, (SELECT COALESCE(SUM(l.rows), 0) FROM list_state l WHERE l.session = s.id),"
    " (SELECT COALESCE(MAX(r.n) + 1, 0) FROM session a JOIN reading r ON r.session = a.id"
    " WHERE a.adopted_by = s.id) FROM session s WHERE s.id >= ?1 AND s.id <= ?2 ORDER BY s.id",
    "SELECT MIN(session) FROM mqtt_acked",
    "SELECT id, ended_ms IS NOT NULL, host, boot_id, pid, start_ticks, program, port"
    " FROM session WHERE id >= ?1 AND id <= ?2 ORDER BY id",
    "SELECT seq FROM mqtt_acked WHERE session = ?1",
    "INSERT INTO mqtt_acked(session, seq) SELECT ?1, COALESCE(SUM(rows), 0) FROM list_state"
    " WHERE session = ?1 ON CONFLICT(session) DO UPDATE SET seq = MAX(seq, excluded.seq)",
    "INSERT INTO mqtt_acked(session, seq) VALUES(?1, ?2)"
    " ON CONFLICT(session) DO UPDATE SET seq = MAX(seq, excluded.seq)",
    "SELECT session, n, parameter, side, threshold, since_ms, raised_ms, raised_offset_sec,"
    " raised_value, COALESCE(raised_worst, worst), cleared_ms, cleared_offset_sec,"
    " cleared_value, worst, raise_sent, clear_sent, cause FROM alarm"
    " WHERE session >= ?1 AND session <= ?2"
    " AND (raise_sent = 0 OR (cleared_ms IS NOT NULL AND clear_sent = 0))",
    "UPDATE alarm SET raise_sent = 1 WHERE session = ?1 AND n = ?2",
    "UPDATE alarm SET clear_sent = 1 WHERE session = ?1 AND n = ?2",
};

QString text(sqlite3_stmt* statement, int column)
{
    // The text first, then its length: asking in that order never converts the value twice.
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return QString::fromUtf8(bytes, sqlite3_column_bytes(statement, column));
}

} // namespace

struct JournalOutbox::Connection
{
    QString name;
    QString path;
    sqlite3* db = nullptr; ///< owned by Qt's connection
    std::array<sqlite3_stmt*, Count> statements{};

    ~Connection()
    {
        for (sqlite3_stmt* statement : statements)
            sqlite3_finalize(statement);
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }

    /// Why the last call failed, in the words of the journal's other messages.
    QString reason(int code) const
    {
        return journalError(QSqlError(QString(), QString::fromUtf8(sqlite3_errmsg(db)),
                                      QSqlError::StatementError, QString::number(code)),
                            path)
            .reason;
    }

    /// The statement, reset and bound to \a values.
    template <typename... Values> sqlite3_stmt* bind(Statement which, Values... values)
    {
        sqlite3_stmt* statement = statements[which];
        sqlite3_reset(statement);
        int index = 0;
        (sqlite3_bind_int64(statement, ++index, values), ...);
        return statement;
    }

    int exec(const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
};

JournalOutbox::JournalOutbox(const QString& path, qint64 ownSession, Writer writer)
    : m_path(path), m_ownSession(ownSession), m_writer(std::move(writer))
{
}

JournalOutbox::~JournalOutbox() = default;

void JournalOutbox::rowsCommitted()
{
    std::lock_guard lock(m_wakeMutex);
    if (m_wake)
        m_wake();
}

QString JournalOutbox::attach(std::function<void()> wake)
{
    auto db = std::make_unique<Connection>();
    db->name = QStringLiteral("pexumo-journal-outbox-%1").arg(quintptr(this), 0, 16);
    db->path = m_path;
    if (const JournalError error = openJournalConnection(db->name, m_path, false);
        !error.reason.isEmpty())
        return error.reason;
    const QVariant handle = QSqlDatabase::database(db->name, false).driver()->handle();
    db->db = handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0
                 ? *static_cast<sqlite3* const*>(handle.constData())
                 : nullptr;
    if (!db->db)
        return QStringLiteral("the SQLite driver of Qt gives no handle");
    // The position is written often and matters little after a power cut (rows are then sent
    // twice), so its commits need not wait for the disk; the journal's own stay synchronous.
    // Another program's lock delays a write of it only briefly: it is tried again later.
    db->exec("PRAGMA synchronous=NORMAL");
    sqlite3_busy_timeout(db->db, Journal::LockWaitMs);
    for (int i = 0; i < Count; ++i)
        if (const int rc = sqlite3_prepare_v2(db->db, Sql[std::size_t(i)], -1,
                                              &db->statements[std::size_t(i)], nullptr);
            rc != SQLITE_OK)
            return db->reason(rc);

    // One snapshot for the whole look, and the start stored in it when there is none yet.
    int rc = db->exec("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK)
        return db->reason(rc);
    const auto failed = [&db](int code) {
        const QString why = db->reason(code);
        db->exec("ROLLBACK");
        return why;
    };
    sqlite3_stmt* start = db->bind(Start);
    if ((rc = sqlite3_step(start)) != SQLITE_ROW)
        return failed(rc);
    // Never published: from this program's session on.
    const qint64 first = sqlite3_column_type(start, 0) == SQLITE_NULL
                             ? m_ownSession
                             : std::min(sqlite3_column_int64(start, 0), m_ownSession);
    sqlite3_reset(start);
    sqlite3_stmt* store = db->bind(Store, m_ownSession, 0);
    rc = sqlite3_step(store);
    sqlite3_reset(store);
    if (rc != SQLITE_DONE)
        return failed(rc);

    // The runs since then of the same program that no live process writes any more, and the
    // own one.
    m_sessions.clear();
    sqlite3_stmt* writers = db->bind(Writers, first, m_ownSession);
    while ((rc = sqlite3_step(writers)) == SQLITE_ROW) {
        const qint64 id = sqlite3_column_int64(writers, 0);
        const bool ended = sqlite3_column_int(writers, 1) != 0;
        const ProcessIdentity process{text(writers, 2), text(writers, 3),
                                      sqlite3_column_int64(writers, 4),
                                      sqlite3_column_int64(writers, 5)};
        const QString port = text(writers, 7);
        const bool ours = text(writers, 6) == m_writer.program &&
                          (m_writer.port.isEmpty() || port.isEmpty() || port == m_writer.port);
        if (id == m_ownSession || (ours && (ended || !journalSessionMayRun(process))))
            m_sessions.push_back(id);
    }
    sqlite3_reset(writers);
    if (rc != SQLITE_DONE)
        return failed(rc);
    if (m_sessions.empty() || m_sessions.back() != m_ownSession)
        m_sessions.push_back(m_ownSession);

    // The first of them the broker lacks rows of, and how far it has that one.
    m_acked = {m_ownSession, 0};
    sqlite3_stmt* sessions = db->bind(Sessions, first, m_ownSession);
    while ((rc = sqlite3_step(sessions)) == SQLITE_ROW) {
        const qint64 id = sqlite3_column_int64(sessions, 0);
        if (!publishes(id))
            continue;
        sqlite3_stmt* acked = db->bind(Acked, id);
        const int found = sqlite3_step(acked);
        const qint64 seq = std::max(found == SQLITE_ROW ? sqlite3_column_int64(acked, 0) : 0,
                                    sqlite3_column_int64(sessions, 2));
        sqlite3_reset(acked);
        if (found != SQLITE_ROW && found != SQLITE_DONE) {
            rc = found;
            break;
        }
        if (id == m_ownSession || seq < sqlite3_column_int64(sessions, 1)) {
            m_acked = {id, seq};
            rc = SQLITE_DONE;
            break;
        }
    }
    sqlite3_reset(sessions);
    if (rc != SQLITE_DONE)
        return failed(rc);
    if ((rc = db->exec("COMMIT")) != SQLITE_OK)
        return failed(rc);
    m_saved = m_acked;
    m_lastSave = std::chrono::steady_clock::now();
    m_db = std::move(db);
    std::lock_guard lock(m_wakeMutex);
    m_wake = std::move(wake);
    return {};
}

void JournalOutbox::detach()
{
    {
        std::lock_guard lock(m_wakeMutex);
        m_wake = nullptr;
    }
    if (m_db && (m_saved < m_acked || !m_alarmAcks.empty()))
        save();
    m_db.reset();
}

bool JournalOutbox::publishes(qint64 session) const
{
    return std::binary_search(m_sessions.begin(), m_sessions.end(), session);
}

qint64 JournalOutbox::nextSession(qint64 session) const
{
    const auto next = std::upper_bound(m_sessions.begin(), m_sessions.end(), session);
    return next == m_sessions.end() ? 0 : *next;
}

std::vector<OutboxRow> JournalOutbox::after(OutboxPosition from, int limit)
{
    std::vector<OutboxRow> rows;
    if (!m_db || limit <= 0)
        return rows;
    int rc = m_db->exec("BEGIN"); // one snapshot: a restore's copies and its mark come together
    qint64 session = from.session;
    qint64 seq = from.seq;
    while (rc == SQLITE_OK || rc == SQLITE_DONE) {
        sqlite3_stmt* copies = m_db->bind(Copies, session);
        rc = sqlite3_step(copies);
        if (rc != SQLITE_ROW)
            break;
        const qint64 first = std::max(seq, sqlite3_column_int64(copies, 0));
        const qint64 wanted = limit - qint64(rows.size());
        sqlite3_stmt* read = m_db->bind(Rows, session, first, wanted);
        qint64 got = 0;
        while ((rc = sqlite3_step(read)) == SQLITE_ROW) {
            ++got;
            // A hand-edited file may hold a list number of no list: no row of ours.
            const std::optional<ListId> list = listFromIndex(sqlite3_column_int64(read, 1));
            if (!list)
                continue;
            OutboxRow row;
            row.position = {session, sqlite3_column_int64(read, 0) + 1};
            row.list = *list;
            ResultRecord& r = row.record;
            r.TimeOrNo = text(read, 2);
            r.Type = text(read, 3);
            r.Value = text(read, 4);
            r.Unit = text(read, 5);
            r.Temp = text(read, 6);
            r.TempUnit = text(read, 7);
            r.Sign = sqlite3_column_int(read, 8);
            r.StampMs = sqlite3_column_int64(read, 9);
            r.UtcOffsetSec = sqlite3_column_int(read, 10);
            row.port = text(read, 11);
            rows.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE || got == wanted)
            break;
        // An earlier run has no more rows, and never will: the next one, from its start. The
        // own session may get more at any time and is never left.
        session = nextSession(session);
        if (session == 0)
            break;
        seq = 0;
    }
    const bool ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
    m_problem = ok ? QString() : m_db->reason(rc);
    for (sqlite3_stmt* statement : {m_db->statements[Copies], m_db->statements[Rows]})
        sqlite3_reset(statement); // a statement left running would hold the snapshot open
    m_db->exec("COMMIT");
    return rows;
}

qint64 JournalOutbox::countAfter(OutboxPosition from)
{
    if (!m_db)
        return 0;
    qint64 count = 0;
    sqlite3_stmt* sessions = m_db->bind(Sessions, from.session, m_ownSession);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(sessions)) == SQLITE_ROW) {
        const qint64 session = sqlite3_column_int64(sessions, 0);
        if (!publishes(session))
            continue;
        qint64 first = sqlite3_column_int64(sessions, 2);
        if (session == from.session)
            first = std::max(first, from.seq);
        count += std::max<qint64>(sqlite3_column_int64(sessions, 1) - first, 0);
    }
    m_problem = rc == SQLITE_DONE ? QString() : m_db->reason(rc);
    sqlite3_reset(sessions);
    return count;
}

void JournalOutbox::acknowledged(OutboxPosition upTo)
{
    if (!(m_acked < upTo))
        return;
    m_acked = upTo;
    if (std::chrono::steady_clock::now() - m_lastSave >= SaveInterval)
        save();
}

OutboxPosition JournalOutbox::acknowledgedPosition()
{
    return m_acked;
}

std::vector<OutboxAlarm> JournalOutbox::alarmsWaiting(const std::vector<OutboxAlarm>& skip,
                                                      int limit)
{
    std::vector<OutboxAlarm> alarms;
    if (!m_db || limit <= 0)
        return alarms;
    const auto left = [&](const OutboxAlarm& alarm) {
        return std::find(skip.begin(), skip.end(), alarm) == skip.end() &&
               std::find(m_alarmAcks.begin(), m_alarmAcks.end(), alarm) == m_alarmAcks.end();
    };
    sqlite3_stmt* read = m_db->bind(Alarms, m_sessions.front(), m_ownSession);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(read)) == SQLITE_ROW) {
        OutboxAlarm raise{sqlite3_column_int64(read, 0), sqlite3_column_int64(read, 1), {}};
        if (!publishes(raise.session))
            continue;
        ActiveAlarm& a = raise.event.alarm;
        a.setName(text(read, 2));
        a.side = AlarmSide(sqlite3_column_int(read, 3));
        a.limit = sqlite3_column_double(read, 4);
        a.sinceMs = sqlite3_column_int64(read, 5);
        a.raisedMs = sqlite3_column_int64(read, 6);
        a.utcOffsetSec = sqlite3_column_int(read, 7);
        a.value = sqlite3_column_double(read, 8);
        a.worst = sqlite3_column_double(read, 9);
        // The cause as it is now, the latest while the alarm was up: a rise sent late tells
        // what the journal knows by then.
        if (a.side == AlarmSide::NoReading)
            a.cause = noReadingCauseFromWord(text(read, 16));
        raise.event.atMs = a.raisedMs;
        raise.event.utcOffsetSec = a.utcOffsetSec;
        if (sqlite3_column_int(read, 14) == 0 && left(raise))
            alarms.push_back(raise);
        if (sqlite3_column_type(read, 10) != SQLITE_NULL && sqlite3_column_int(read, 15) == 0) {
            OutboxAlarm clear = raise;
            clear.event.change = AlarmChange::Clear;
            clear.event.atMs = sqlite3_column_int64(read, 10);
            clear.event.utcOffsetSec = sqlite3_column_int(read, 11);
            clear.event.alarm.value = sqlite3_column_double(read, 12);
            clear.event.alarm.worst = sqlite3_column_double(read, 13);
            if (left(clear))
                alarms.push_back(clear);
        }
    }
    m_problem = rc == SQLITE_DONE ? QString() : m_db->reason(rc);
    sqlite3_reset(read);
    // In the order they happened; a rise before its own clear at the same instant.
    std::stable_sort(alarms.begin(), alarms.end(), [](const auto& a, const auto& b) {
        return std::tuple(a.event.atMs, a.event.change == AlarmChange::Clear, a.session, a.n) <
               std::tuple(b.event.atMs, b.event.change == AlarmChange::Clear, b.session, b.n);
    });
    if (std::ssize(alarms) > limit)
        alarms.resize(std::size_t(limit));
    return alarms;
}

void JournalOutbox::alarmAcknowledged(const OutboxAlarm& alarm)
{
    // Alarms are few: each is marked at once, unless another program's lock is in the way.
    m_alarmAcks.push_back(alarm);
    if (m_db)
        save();
}

bool JournalOutbox::save()
{
    // The earlier runs passed over are complete: they ended, so their rows are all there. A
    // failure (another program's lock) leaves the older position, which is tried again with
    // the next acknowledgement.
    bool ok = m_db->exec("BEGIN IMMEDIATE") == SQLITE_OK;
    for (qint64 session : m_sessions) {
        if (session < m_saved.session || session >= m_acked.session)
            continue;
        sqlite3_stmt* finish = m_db->bind(Finish, session);
        ok = ok && sqlite3_step(finish) == SQLITE_DONE;
        sqlite3_reset(finish);
    }
    sqlite3_stmt* store = m_db->bind(Store, m_acked.session, m_acked.seq);
    ok = ok && sqlite3_step(store) == SQLITE_DONE;
    sqlite3_reset(store);
    for (const OutboxAlarm& alarm : m_alarmAcks) {
        sqlite3_stmt* mark =
            m_db->bind(alarm.event.change == AlarmChange::Raise ? RaiseSent : ClearSent,
                       alarm.session, alarm.n);
        ok = ok && sqlite3_step(mark) == SQLITE_DONE;
        sqlite3_reset(mark);
    }
    ok = ok && m_db->exec("COMMIT") == SQLITE_OK;
    m_lastSave = std::chrono::steady_clock::now();
    if (!ok) {
        m_db->exec("ROLLBACK");
        return false;
    }
    m_saved = m_acked;
    m_alarmAcks.clear();
    return true;
}

} // namespace pexumo
