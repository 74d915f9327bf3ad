#include "journal/journalfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStringList>
#include <QSysInfo>
#include <QThread>

#include <optional>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#endif

namespace pexumo {

namespace {

// One statement per entry. Texts are stored as the row holds them; StampMs is UTC milliseconds
// and utc_offset_sec the local offset then, so a date can be shown as it was seen. A list's
// saved rows are always a prefix of it (a save writes the whole list), so one count per list
// in list_state records them, not a flag per row; list_state.rows counts the rows committed.
const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS session("
    " id INTEGER PRIMARY KEY,"
    " started_ms INTEGER NOT NULL,"
    " utc_offset_sec INTEGER NOT NULL,"
    " ended_ms INTEGER,"                 // NULL while running or after a crash
    " clean INTEGER NOT NULL DEFAULT 0," // 1: the window was closed normally
    " port TEXT NOT NULL DEFAULT '',"    // the last port connected
    " host TEXT NOT NULL DEFAULT '',"    // with pid: tells a running session from a crash
    " pid INTEGER NOT NULL DEFAULT 0,"
    " offered INTEGER NOT NULL DEFAULT 0," // 1: restore was asked once, never again
    " adopted_by INTEGER)",                // the session its rows were restored into
    "CREATE TABLE IF NOT EXISTS list_state("
    " session INTEGER NOT NULL,"
    " list INTEGER NOT NULL," // 0..6 pH..O2, 7 records
    " rows INTEGER NOT NULL DEFAULT 0,"
    " saved INTEGER NOT NULL DEFAULT 0," // the first `saved` rows of the list were saved
    " PRIMARY KEY(session, list)) WITHOUT ROWID",
    "CREATE TABLE IF NOT EXISTS reading("
    " session INTEGER NOT NULL,"
    " n INTEGER NOT NULL," // order of adding across the session's lists
    " list INTEGER NOT NULL,"
    " time_or_no TEXT NOT NULL,"
    " type TEXT NOT NULL,"
    " value TEXT NOT NULL,"
    " unit TEXT NOT NULL,"
    " temp TEXT NOT NULL,"
    " temp_unit TEXT NOT NULL,"
    " sign INTEGER NOT NULL,"
    " stamp_ms INTEGER NOT NULL,"
    " utc_offset_sec INTEGER NOT NULL,"
    " PRIMARY KEY(session, n)) WITHOUT ROWID",
};

bool exec(QSqlDatabase& db, const QString& sql, JournalError& error, const QString& path)
{
    QSqlQuery query(db);
    if (query.exec(sql))
        return true;
    error = journalError(query.lastError(), path);
    return false;
}

std::optional<qint64> scalar(QSqlDatabase& db, const QString& sql, JournalError& error,
                             const QString& path)
{
    QSqlQuery query(db);
    if (!query.exec(sql) || !query.next()) {
        error = journalError(query.lastError(), path);
        return std::nullopt;
    }
    return query.value(0).toLongLong();
}

JournalError setUpConnection(QSqlDatabase& db, const QString& path, bool readOnly);

} // namespace

SqliteCode sqliteCode(const QSqlError& error)
{
    bool ok = false;
    // Extended codes carry the primary code in their low byte.
    const int code = error.nativeErrorCode().toInt(&ok) & 0xff;
    if (!ok)
        return SqliteCode::Other;
    switch (code) {
    case 5:
        return SqliteCode::Busy;
    case 8:
        return SqliteCode::ReadOnly;
    case 10:
        return SqliteCode::IoError;
    case 11:
        return SqliteCode::Corrupt;
    case 13:
        return SqliteCode::Full;
    case 14:
        return SqliteCode::CantOpen;
    case 26:
        return SqliteCode::NotADb;
    default:
        return SqliteCode::Other;
    }
}

JournalError journalError(const QSqlError& error, const QString& path)
{
    JournalError e;
    e.code = sqliteCode(error);
    const QString name = QDir::toNativeSeparators(path);
    switch (e.code) {
    case SqliteCode::Busy:
        e.reason = QStringLiteral("%1 is locked by another program").arg(name);
        break;
    case SqliteCode::ReadOnly:
    case SqliteCode::IoError:
        e.reason = QStringLiteral("cannot write to %1").arg(name);
        break;
    case SqliteCode::Corrupt:
    case SqliteCode::NotADb:
        e.reason = QStringLiteral("%1 is damaged").arg(name);
        break;
    case SqliteCode::Full:
        e.reason = QStringLiteral("the disk is full");
        break;
    case SqliteCode::CantOpen:
        e.reason = QStringLiteral("cannot open %1").arg(name);
        break;
    case SqliteCode::Other:
        e.reason = error.databaseText().isEmpty() ? error.text() : error.databaseText();
        if (e.reason.trimmed().isEmpty())
            e.reason = QStringLiteral("cannot use %1").arg(name);
        break;
    }
    return e;
}

JournalError openJournalConnection(const QString& connection, const QString& path, bool readOnly)
{
    JournalError error;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        error.reason = QStringLiteral("the SQLite driver of Qt is not installed");
        return error;
    }
    if (readOnly && !QFileInfo::exists(path)) {
        error.code = SqliteCode::CantOpen;
        error.reason = QStringLiteral("no journal at %1").arg(QDir::toNativeSeparators(path));
        return error;
    }
    if (!readOnly) {
        const QString folder = QFileInfo(path).absolutePath();
        if (!QDir().mkpath(folder)) {
            error.code = SqliteCode::CantOpen;
            error.reason =
                QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(folder));
            return error;
        }
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1%2")
                             .arg(JournalBusyTimeoutMs)
                             .arg(readOnly ? QStringLiteral(";QSQLITE_OPEN_READONLY") : QString()));
    if (!db.open())
        return journalError(db.lastError(), path);

    // Two processes starting at once on a new file can meet SQLITE_BUSY where SQLite calls no
    // busy handler (changing the journal mode, making the tables): try again for as long as the
    // busy timeout would have waited.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        error = setUpConnection(db, path, readOnly);
        if (error.code != SqliteCode::Busy || waited.elapsed() > JournalBusyTimeoutMs)
            return error;
        QThread::msleep(20);
    }
}

namespace {
JournalError setUpConnection(QSqlDatabase& db, const QString& path, bool readOnly)
{
    JournalError error;
    // Reading the version touches the file's first page: a file that is not a database, or
    // whose header is damaged, fails here.
    const std::optional<qint64> version =
        scalar(db, QStringLiteral("PRAGMA user_version"), error, path);
    if (!version)
        return error;
    if (*version > JournalSchemaVersion) {
        error.reason =
            QStringLiteral("%1 was made by a newer Pexumo").arg(QDir::toNativeSeparators(path));
        return error;
    }
    if (readOnly)
        return {};

    // WAL: readers (pexumo-journal, a second Pexumo) never block the writer. synchronous FULL
    // syncs the log at every commit, and commits come in batches at most a few times a second,
    // so a committed row survives a power cut, not just a crash.
    if (!exec(db, QStringLiteral("PRAGMA journal_mode=WAL"), error, path) ||
        !exec(db, QStringLiteral("PRAGMA synchronous=FULL"), error, path))
        return error;
    if (*version < JournalSchemaVersion) {
        if (!exec(db, QStringLiteral("BEGIN IMMEDIATE"), error, path))
            return error;
        bool made = true;
        for (const char* statement : kSchema)
            made = made && exec(db, QString::fromLatin1(statement), error, path);
        made = made &&
               exec(db, QStringLiteral("PRAGMA user_version=%1").arg(JournalSchemaVersion), error,
                    path) &&
               exec(db, QStringLiteral("COMMIT"), error, path);
        if (!made) {
            JournalError ignored;
            exec(db, QStringLiteral("ROLLBACK"), ignored, path);
            return error;
        }
    }
    return {};
}
} // namespace

QString moveDamagedJournalAside(const QString& path, const QDateTime& now)
{
    const QFileInfo info(path);
    const QString stamp = now.toString(QStringLiteral("yyyyMMdd-hhmmss"));
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    QString target;
    for (int i = 0;; ++i) {
        target = info.dir().filePath(info.completeBaseName() + QStringLiteral("-damaged-") + stamp +
                                     (i ? QStringLiteral("-%1").arg(i) : QString()) + suffix);
        if (!QFileInfo::exists(target))
            break;
    }
    if (!QFile::rename(path, target))
        return {};
    // The log belongs to the damaged file; a fresh file must not pick it up.
    for (const char* companion : {"-wal", "-shm"}) {
        const QString from = path + QLatin1String(companion);
        if (QFileInfo::exists(from))
            QFile::rename(from, target + QLatin1String(companion));
    }
    return target;
}

QString journalHostName()
{
    return QSysInfo::machineHostName();
}

bool journalSessionMayRun(const QString& host, qint64 pid)
{
    if (host != journalHostName())
        return true;
    if (pid <= 0)
        return false;
#ifdef Q_OS_UNIX
    // Signal 0 only asks whether the process exists; EPERM means it does, under another user.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#else
    return true;
#endif
}

} // namespace pexumo
