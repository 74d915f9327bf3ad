#include "journal/journalreader.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>

namespace pexumo {

namespace {
QDateTime localTime(qint64 ms, int offsetSec)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, offsetSec);
}
} // namespace

qint64 JournalSession::unsaved(ListId list) const
{
    const std::size_t i = indexOf(list);
    return std::max<qint64>(rows[i] - saved[i], 0);
}

qint64 JournalSession::unsavedTotal() const
{
    qint64 total = 0;
    for (ListId list : AllLists)
        total += unsaved(list);
    return total;
}

qint64 JournalSession::totalRows() const
{
    qint64 total = 0;
    for (qint64 r : rows)
        total += r;
    return total;
}

JournalReader::JournalReader()
{
    static std::atomic<int> counter{0};
    m_connection = QStringLiteral("pexumo-journal-reader-%1").arg(++counter);
}

JournalReader::~JournalReader()
{
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

QString JournalReader::open(const QString& path)
{
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
    m_path = path;
    m_unchanging = false;
    JournalError error = openJournalConnection(m_connection, path, true);
    const QFileInfo info(path);
    if (error.code == SqliteCode::CantOpen && info.isFile() &&
        !QFileInfo::exists(path + QLatin1String("-wal")) &&
        !QFileInfo(info.absolutePath()).isWritable()) {
        QSqlDatabase::removeDatabase(m_connection);
        error = openJournalConnection(m_connection, path, true, true);
        m_unchanging = error.reason.isEmpty();
    }
    if (error.reason.isEmpty())
        m_version = journalVersion(QSqlDatabase::database(m_connection, false));
    return error.reason;
}

bool JournalReader::needsReopen() const
{
    return m_unchanging && QFileInfo::exists(m_path + QLatin1String("-wal"));
}

std::optional<qint64> JournalReader::dataVersion() const
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("PRAGMA data_version")) || !q.next())
        return std::nullopt;
    return q.value(0).toLongLong();
}

namespace {

/// The SQLite handle behind a Qt connection, for reads that would otherwise make a QVariant of
/// every field.
sqlite3* rawHandle(const QString& connection)
{
    const QVariant handle = QSqlDatabase::database(connection, false).driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

QString textOf(sqlite3_stmt* statement, int column)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                             sqlite3_column_bytes(statement, column));
}

/// The fields of a reading row from column \a first on: time_or_no, type, value, unit, temp,
/// temp_unit, sign, stamp_ms, utc_offset_sec.
ResultRecord recordAt(sqlite3_stmt* statement, int first)
{
    ResultRecord r;
    r.TimeOrNo = textOf(statement, first);
    r.Type = textOf(statement, first + 1);
    r.Value = textOf(statement, first + 2);
    r.Unit = textOf(statement, first + 3);
    r.Temp = textOf(statement, first + 4);
    r.TempUnit = textOf(statement, first + 5);
    r.Sign = sqlite3_column_int(statement, first + 6);
    r.StampMs = sqlite3_column_int64(statement, first + 7);
    r.UtcOffsetSec = sqlite3_column_int(statement, first + 8);
    return r;
}

/// A statement on a connection's raw handle, finalized (its read transaction ended) when it
/// goes out of scope.
class Statement
{
public:
    Statement(sqlite3* db, const char* sql)
    {
        m_code = db ? sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) : SQLITE_MISUSE;
        m_db = db;
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return m_statement; }
    bool step()
    {
        if (m_code != SQLITE_OK && m_code != SQLITE_ROW)
            return false;
        m_code = sqlite3_step(m_statement);
        return m_code == SQLITE_ROW;
    }
    /// "" or why the statement failed, in the journal's words.
    QString error(const QString& path) const
    {
        if (m_code == SQLITE_OK || m_code == SQLITE_ROW || m_code == SQLITE_DONE)
            return {};
        const QString text = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString();
        return journalError(
                   QSqlError(QString(), text, QSqlError::StatementError, QString::number(m_code)),
                   path)
            .reason;
    }

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
    int m_code = SQLITE_OK;
};

constexpr char RowFields[] =
    "time_or_no, type, value, unit, temp, temp_unit, sign, stamp_ms, utc_offset_sec";

} // namespace

std::array<std::optional<ResultRecord>, ListCount>
JournalReader::latestRows(const JournalSession& session, QString* error) const
{
    std::array<std::optional<ResultRecord>, ListCount> latest;
    const QByteArray sql = QByteArray("SELECT ") + RowFields +
                           " FROM reading WHERE session = ? AND list = ? ORDER BY n DESC LIMIT 1";
    for (ListId list : AllLists) {
        if (session.rows[indexOf(list)] == 0)
            continue;
        Statement q(rawHandle(m_connection), sql.constData());
        sqlite3_bind_int64(q.get(), 1, session.id);
        sqlite3_bind_int(q.get(), 2, int(indexOf(list)));
        if (q.step())
            latest[indexOf(list)] = recordAt(q.get(), 0);
        if (const QString e = q.error(m_path); !e.isEmpty()) {
            if (error)
                *error = e;
            return {};
        }
    }
    return latest;
}

std::vector<qint64> JournalReader::recentSampleStamps(qint64 session, int count,
                                                      QString* error) const
{
    std::vector<qint64> stamps;
    Statement q(rawHandle(m_connection), "SELECT stamp_ms FROM reading WHERE session = ? AND"
                                         " list < ? ORDER BY n DESC LIMIT ?");
    sqlite3_bind_int64(q.get(), 1, session);
    sqlite3_bind_int(q.get(), 2, int(indexOf(ListId::Records)));
    sqlite3_bind_int(q.get(), 3, count);
    while (q.step())
        stamps.push_back(sqlite3_column_int64(q.get(), 0));
    if (const QString e = q.error(m_path); !e.isEmpty() && error)
        *error = e;
    return stamps;
}

std::optional<std::pair<ListId, ResultRecord>> JournalReader::row(qint64 session, qint64 n,
                                                                  QString* error) const
{
    const QByteArray sql =
        QByteArray("SELECT list, ") + RowFields + " FROM reading WHERE session = ? AND n = ?";
    Statement q(rawHandle(m_connection), sql.constData());
    sqlite3_bind_int64(q.get(), 1, session);
    sqlite3_bind_int64(q.get(), 2, n);
    std::optional<std::pair<ListId, ResultRecord>> found;
    if (q.step())
        if (const std::optional<ListId> list = listFromIndex(sqlite3_column_int64(q.get(), 0)))
            found.emplace(*list, recordAt(q.get(), 1));
    if (const QString e = q.error(m_path); !e.isEmpty() && error)
        *error = e;
    return found;
}

SessionRead JournalReader::forEachChartRowAfter(qint64 session, ListId list, qint64 afterN,
                                                const ChartRowVisitor& visit) const
{
    SessionRead read;
    Statement q(rawHandle(m_connection),
                "SELECT n, stamp_ms, utc_offset_sec, type, unit, value, temp FROM reading"
                " WHERE session = ? AND n > ? AND list = ? ORDER BY n");
    sqlite3_bind_int64(q.get(), 1, session);
    sqlite3_bind_int64(q.get(), 2, afterN);
    sqlite3_bind_int(q.get(), 3, int(indexOf(list)));
    ChartRow row;
    const auto bytes = [&q](int column) {
        // The text first, then its length: asking in that order never converts the value twice.
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(q.get(), column));
        return QByteArrayView(text, sqlite3_column_bytes(q.get(), column));
    };
    while (q.step()) {
        row.n = sqlite3_column_int64(q.get(), 0);
        row.stampMs = sqlite3_column_int64(q.get(), 1);
        row.utcOffsetSec = sqlite3_column_int(q.get(), 2);
        row.type = bytes(3);
        row.unit = bytes(4);
        row.value = bytes(5);
        row.temp = bytes(6);
        visit(row);
        ++read.rows;
    }
    read.error = q.error(m_path);
    return read;
}

std::vector<JournalSession> JournalReader::sessions(QString* error) const
{
    std::vector<JournalSession> result;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    // A file of version 1 has no boot and no start of the writer; a reader never migrates.
    const QString identity =
        m_version >= 2 ? QStringLiteral("boot_id, start_ticks") : QStringLiteral("'', 0");
    const QString program =
        m_version >= 5 ? QStringLiteral("program") : QStringLiteral("'%1'").arg(WindowProgram);
    if (!q.exec(QStringLiteral("SELECT id, started_ms, utc_offset_sec, ended_ms, clean, port,"
                               " host, pid, offered, COALESCE(adopted_by, 0), %1, %2 FROM session"
                               " ORDER BY id")
                    .arg(identity, program))) {
        if (error)
            *error = journalError(q.lastError(), m_path).reason;
        return {};
    }
    while (q.next()) {
        JournalSession s;
        s.id = q.value(0).toLongLong();
        const int offset = q.value(2).toInt();
        s.started = localTime(q.value(1).toLongLong(), offset);
        if (!q.value(3).isNull())
            s.ended = localTime(q.value(3).toLongLong(), offset);
        s.clean = q.value(4).toInt() != 0;
        s.port = q.value(5).toString();
        s.writer = {q.value(6).toString(), q.value(10).toString(), q.value(7).toLongLong(),
                    q.value(11).toLongLong()};
        s.offered = q.value(8).toInt() != 0;
        s.adoptedBy = q.value(9).toLongLong();
        s.program = q.value(12).toString();
        result.push_back(std::move(s));
    }
    QSqlQuery counts(QSqlDatabase::database(m_connection, false));
    counts.setForwardOnly(true);
    if (!counts.exec(QStringLiteral("SELECT session, list, rows, saved FROM list_state"))) {
        if (error)
            *error = journalError(counts.lastError(), m_path).reason;
        return {};
    }
    while (counts.next()) {
        const qint64 id = counts.value(0).toLongLong();
        const std::optional<ListId> list = listFromIndex(counts.value(1).toLongLong());
        const auto it =
            std::lower_bound(result.begin(), result.end(), id,
                             [](const JournalSession& s, qint64 value) { return s.id < value; });
        if (it == result.end() || it->id != id || !list)
            continue;
        it->rows[indexOf(*list)] = counts.value(2).toLongLong();
        it->saved[indexOf(*list)] = counts.value(3).toLongLong();
    }
    return result;
}

std::optional<JournalSession> JournalReader::session(qint64 id, QString* error) const
{
    for (JournalSession& s : sessions(error))
        if (s.id == id)
            return std::move(s);
    return std::nullopt;
}

QString JournalAlarm::unit() const
{
    ActiveAlarm alarm;
    alarm.setName(parameter);
    return alarm.unit();
}

std::vector<JournalAlarm> JournalReader::alarms(qint64 session, QString* error) const
{
    std::vector<JournalAlarm> result;
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.tables().contains(QStringLiteral("alarm")))
        return result; // written before alarms were kept; a reader never migrates
    // Files before version 6 have no cause: read as not known.
    const bool causes = db.record(QStringLiteral("alarm")).contains(QStringLiteral("cause"));
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
                  "SELECT parameter, side, threshold, since_ms, raised_ms, raised_offset_sec,"
                  " raised_value, cleared_ms, cleared_offset_sec, cleared_value, worst,"
                  " raise_result, clear_result, %1 FROM alarm WHERE session = ? ORDER BY n")
                  .arg(causes ? QStringLiteral("cause") : QStringLiteral("NULL")));
    q.addBindValue(session);
    if (!q.exec()) {
        if (error)
            *error = journalError(q.lastError(), m_path).reason;
        return {};
    }
    while (q.next()) {
        JournalAlarm a;
        a.parameter = q.value(0).toString();
        const int side = q.value(1).toInt();
        a.side = side == 1 ? AlarmSide::Above : side == 2 ? AlarmSide::NoReading : AlarmSide::Below;
        a.limit = q.value(2).toDouble();
        const int offset = q.value(5).toInt();
        a.since = localTime(q.value(3).toLongLong(), offset);
        a.raised = localTime(q.value(4).toLongLong(), offset);
        a.raisedValue = q.value(6).toDouble();
        if (!q.value(7).isNull()) {
            a.cleared = localTime(q.value(7).toLongLong(), q.value(8).toInt());
            a.clearedValue = q.value(9).toDouble();
        }
        a.worst = q.value(10).toDouble();
        a.raiseResult = q.value(11).toString();
        a.clearResult = q.value(12).toString();
        if (a.side == AlarmSide::NoReading)
            a.cause = noReadingCauseFromWord(q.value(13).toString());
        result.push_back(std::move(a));
    }
    if (q.lastError().isValid() && error)
        *error = journalError(q.lastError(), m_path).reason;
    return result;
}

SessionRead JournalReader::forEachRow(qint64 session, std::optional<ListId> list,
                                      const RowVisitor& visit) const
{
    SessionRead read;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    const bool oneList = list.has_value();
    q.prepare(QStringLiteral("SELECT list, time_or_no, type, value, unit, temp, temp_unit, sign,"
                             " stamp_ms, utc_offset_sec FROM reading WHERE session = ?%1"
                             " ORDER BY n")
                  .arg(oneList ? QStringLiteral(" AND list = ?") : QString()));
    q.addBindValue(session);
    if (oneList)
        q.addBindValue(int(indexOf(*list)));
    if (!q.exec()) {
        read.error = journalError(q.lastError(), m_path).reason;
        return read;
    }
    ResultRecord r;
    while (q.next()) {
        // A hand-edited file may hold a list number of no list: such a row is no row of ours.
        const std::optional<ListId> rowList = listFromIndex(q.value(0).toLongLong());
        if (!rowList) {
            ++read.skippedRows;
            continue;
        }
        r.TimeOrNo = q.value(1).toString();
        r.Type = q.value(2).toString();
        r.Value = q.value(3).toString();
        r.Unit = q.value(4).toString();
        r.Temp = q.value(5).toString();
        r.TempUnit = q.value(6).toString();
        r.Sign = q.value(7).toInt();
        r.StampMs = q.value(8).toLongLong();
        r.UtcOffsetSec = q.value(9).toInt();
        visit(*rowList, r);
        ++read.rows;
    }
    if (q.lastError().isValid())
        read.error = journalError(q.lastError(), m_path).reason;
    return read;
}

namespace {

/// An SQLite connection of the C library's own, for the restore: Qt's driver would make a
/// QVariant and a QString of every field of a million rows.
class RawConnection
{
public:
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;
    explicit RawConnection(const QString& path) : m_path(path)
    {
        m_code = sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READONLY, nullptr);
        if (m_code == SQLITE_OK)
            m_code = sqlite3_busy_timeout(m_db, JournalBusyTimeoutMs);
    }
    ~RawConnection()
    {
        sqlite3_finalize(m_statement);
        sqlite3_close(m_db);
    }
    bool ok() const { return m_code == SQLITE_OK || m_code == SQLITE_ROW || m_code == SQLITE_DONE; }
    QString reason() const
    {
        const QString text = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString();
        return journalError(
                   QSqlError(QString(), text, QSqlError::StatementError, QString::number(m_code)),
                   m_path)
            .reason;
    }
    bool prepare(const char* sql)
    {
        if (ok())
            m_code = sqlite3_prepare_v2(m_db, sql, -1, &m_statement, nullptr);
        return ok();
    }
    sqlite3_stmt* statement() const { return m_statement; }
    /// Steps to the next row; false at the end or on an error (then ok() is false).
    bool step()
    {
        m_code = sqlite3_step(m_statement);
        return m_code == SQLITE_ROW;
    }

private:
    QString m_path;
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
    int m_code = SQLITE_OK;
};

QByteArrayView textColumn(sqlite3_stmt* statement, int column)
{
    // The text first, then its length: asking in that order never converts the value twice.
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return QByteArrayView(text, sqlite3_column_bytes(statement, column));
}

} // namespace

SessionRead JournalReader::readSessionInto(const QString& path, qint64 session,
                                           const std::array<ResultListModel*, ListCount>& models,
                                           const PackedRowVisitor& visit)
{
    SessionRead read;
    if (const JournalError refused = prepareJournalFile(path, true); !refused.reason.isEmpty()) {
        read.error = refused.reason;
        return read;
    }
    std::array<ResultListModel::PackedRows, ListCount> packed;
    std::vector<quint8> order; // the list of each row, in the order of adding
    {
        RawConnection db(path);
        if (db.prepare("SELECT list, time_or_no, type, value, unit, temp, temp_unit, sign,"
                       " stamp_ms, utc_offset_sec FROM reading WHERE session = ? ORDER BY n")) {
            sqlite3_bind_int64(db.statement(), 1, session);
            sqlite3_stmt* const row = db.statement();
            ResultListModel::PackedRecord record;
            while (db.step()) {
                const std::optional<ListId> list = listFromIndex(sqlite3_column_int64(row, 0));
                if (!list) {
                    ++read.skippedRows;
                    continue;
                }
                for (int field = 0; field < int(record.texts.size()); ++field)
                    record.texts[std::size_t(field)] = textColumn(row, 1 + field);
                record.sign = sqlite3_column_int(row, 7);
                record.stampMs = sqlite3_column_int64(row, 8);
                record.utcOffsetSec = sqlite3_column_int(row, 9);
                packed[indexOf(*list)].add(record);
                order.push_back(quint8(indexOf(*list)));
            }
        }
        if (!db.ok())
            read.error = db.reason();
    }
    std::array<qsizetype, ListCount> next{};
    for (std::size_t i = 0; i < ListCount; ++i) {
        next[i] = models[i]->size();
        models[i]->append(std::move(packed[i]));
    }
    read.rows = qint64(order.size());
    if (visit)
        for (const quint8 i : order)
            visit(AllLists[i], models[i]->packedInOrder(next[i]++));
    return read;
}

std::optional<JournalSession>
findRestoreOffer(const std::vector<JournalSession>& sessions, qint64 own,
                 const std::function<bool(const JournalSession&)>& mayRun)
{
    for (auto it = sessions.rbegin(); it != sessions.rend(); ++it) {
        if (it->id == own || it->program != QLatin1String(WindowProgram))
            continue;
        // Another Pexumo at work (a second meter) is not a run that ended: look further back.
        if (!it->ended && mayRun(*it))
            continue;
        if (it->offered || it->adoptedBy != 0 || it->unsavedTotal() == 0)
            return std::nullopt;
        return *it;
    }
    return std::nullopt;
}

QString restoreQuestion(const JournalSession& session)
{
    return QStringLiteral("The last run (started %1) ended with %2 readings that were never "
                          "saved. Restore them?")
        .arg(session.started.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")))
        .arg(session.unsavedTotal());
}

} // namespace pexumo
