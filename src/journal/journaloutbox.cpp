#include "journal/journaloutbox.h"

#include "journal/journal.h"
#include "journal/journalfile.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

#include <algorithm>
#include <array>

namespace pexumo {

// The connection is opened through Qt, which checks the file's mark and brings its tables up to
// date as every journal connection does; its rows are then read through SQLite's own handle,
// which hands them over without a QVariant per field (a backlog is read at tens of thousands of
// rows a second).

namespace {

enum Statement
{
    Rows,     ///< rows of a session from a number on
    Next,     ///< the session after one
    Copies,   ///< how many rows a session took over from the one it restored
    Sessions, ///< from a session on: each one's rows and restored rows
    Latest,   ///< the newest acknowledgement
    Finish,   ///< sessions the broker has every row of
    Store,    ///< an acknowledgement
    Count
};

constexpr std::array<const char*, Count> Sql = {
    "SELECT n, list, time_or_no, type, value, unit, temp, temp_unit, sign, stamp_ms,"
    " utc_offset_sec FROM reading WHERE session = ?1 AND n >= ?2 ORDER BY n LIMIT ?3",
    "SELECT MIN(id) FROM session WHERE id > ?1",
    // A restore copies the rows with their numbers and then numbers on after them.
    "SELECT COALESCE(MAX(r.n) + 1, 0) FROM session a JOIN reading r ON r.session = a.id"
    " WHERE a.adopted_by = ?1",
    "SELECT s.id, (SELECT COALESCE(SUM(l.rows), 0) FROM list_state l WHERE l.session = s.id),"
    " (SELECT COALESCE(MAX(r.n) + 1, 0) FROM session a JOIN reading r ON r.session = a.id"
    " WHERE a.adopted_by = s.id) FROM session s WHERE s.id >= ?1 ORDER BY s.id",
    "SELECT session, seq FROM mqtt_acked ORDER BY session DESC LIMIT 1",
    "INSERT INTO mqtt_acked(session, seq) SELECT session, SUM(rows) FROM list_state"
    " WHERE session >= ?1 AND session < ?2 GROUP BY session"
    " ON CONFLICT(session) DO UPDATE SET seq = MAX(seq, excluded.seq)",
    "INSERT INTO mqtt_acked(session, seq) VALUES(?1, ?2)"
    " ON CONFLICT(session) DO UPDATE SET seq = MAX(seq, excluded.seq)",
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

JournalOutbox::JournalOutbox(const QString& path, qint64 firstSession)
    : m_path(path), m_firstSession(firstSession)
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

    sqlite3_stmt* latest = db->bind(Latest);
    int rc = sqlite3_step(latest);
    if (rc == SQLITE_ROW) {
        m_acked = {sqlite3_column_int64(latest, 0), sqlite3_column_int64(latest, 1)};
    } else if (rc == SQLITE_DONE) {
        // Never published: from this program's session on.
        m_acked = {m_firstSession, 0};
        sqlite3_stmt* store = db->bind(Store, m_acked.session, m_acked.seq);
        rc = sqlite3_step(store);
        sqlite3_reset(store);
    }
    sqlite3_reset(latest);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return db->reason(rc);
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
    if (m_db && m_saved < m_acked)
        save();
    m_db.reset();
}

std::vector<OutboxRow> JournalOutbox::after(OutboxPosition from, int limit)
{
    std::vector<OutboxRow> rows;
    if (!m_db || limit <= 0)
        return rows;
    int rc = m_db->exec("BEGIN"); // one snapshot: a restore's copies and its mark come together
    qint64 session = from.session;
    qint64 seq = from.seq;
    for (bool more = rc == SQLITE_OK; more;) {
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
            rows.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE || got == wanted)
            break;
        // This session has no more rows now: the next one, from its start.
        sqlite3_stmt* next = m_db->bind(Next, session);
        rc = sqlite3_step(next);
        if (rc != SQLITE_ROW)
            break;
        more = sqlite3_column_type(next, 0) != SQLITE_NULL;
        session = sqlite3_column_int64(next, 0);
        seq = 0;
        rc = SQLITE_DONE;
    }
    const bool ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
    m_problem = ok ? QString() : m_db->reason(rc);
    for (sqlite3_stmt* statement :
         {m_db->statements[Copies], m_db->statements[Rows], m_db->statements[Next]})
        sqlite3_reset(statement); // a statement left running would hold the snapshot open
    m_db->exec("COMMIT");
    return rows;
}

qint64 JournalOutbox::countAfter(OutboxPosition from)
{
    if (!m_db)
        return 0;
    qint64 count = 0;
    sqlite3_stmt* sessions = m_db->bind(Sessions, from.session);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(sessions)) == SQLITE_ROW) {
        const qint64 session = sqlite3_column_int64(sessions, 0);
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

bool JournalOutbox::save()
{
    // The sessions passed over are complete; a failure (another program's lock) leaves the
    // older position, which is tried again with the next acknowledgement.
    bool ok = m_db->exec("BEGIN IMMEDIATE") == SQLITE_OK;
    for (sqlite3_stmt* statement : {m_db->bind(Finish, m_saved.session, m_acked.session),
                                    m_db->bind(Store, m_acked.session, m_acked.seq)}) {
        ok = ok && sqlite3_step(statement) == SQLITE_DONE;
        sqlite3_reset(statement);
    }
    ok = ok && m_db->exec("COMMIT") == SQLITE_OK;
    m_lastSave = std::chrono::steady_clock::now();
    if (!ok) {
        m_db->exec("ROLLBACK");
        return false;
    }
    m_saved = m_acked;
    return true;
}

} // namespace pexumo
