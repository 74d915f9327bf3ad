#include "journal/journalfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStringList>
#include <QSysInfo>
#include <QThread>
#include <QUrl>
#include <QtEndian>

#include <atomic>
#include <optional>
#include <span>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pexumo {

namespace {

// The tables, as a list of steps: step i brings a file of version i to version i + 1. A new
// version appends a step; a step that shipped is never changed, since files out there were
// made by it.
//
// Texts are stored as the row holds them; StampMs is UTC milliseconds and utc_offset_sec the
// local offset then, so a date can be shown as it was seen. A list's saved rows are always a
// prefix of it (a save writes the whole list), so one count per list in list_state records
// them, not a flag per row; list_state.rows counts the rows committed.
const char* const kToVersion1[] = {
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
// A process id alone is reused after a reboot: the boot and the process's start tell a crashed
// run from a live one. Sessions written before stay '' and 0.
const char* const kToVersion2[] = {
    "ALTER TABLE session ADD COLUMN boot_id TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE session ADD COLUMN start_ticks INTEGER NOT NULL DEFAULT 0",
};
// Publishing: per session, the broker acknowledged its rows with seq 1..seq (reading.n below
// seq). The newest session here is where publishing goes on after a restart.
const char* const kToVersion3[] = {
    "CREATE TABLE IF NOT EXISTS mqtt_acked("
    " session INTEGER PRIMARY KEY,"
    " seq INTEGER NOT NULL)",
};
// One row per alarm that rose, completed by its clear. Values and limits are in the alarm unit
// of the parameter (COND in us, TDS and Salt in ppm, Temp in C), seconds for no reading.
// (parameter, side, raised_ms) names an alarm within its session: a clear and the alarm
// command's results find their row by it.
const char* const kToVersion4[] = {
    "CREATE TABLE IF NOT EXISTS alarm("
    " session INTEGER NOT NULL,"
    " n INTEGER NOT NULL,"         // order of rising within the session
    " parameter TEXT NOT NULL,"    // "pH" ... "Temp", or "NoReading"
    " side INTEGER NOT NULL,"      // 0 below the low limit, 1 above the high one, 2 no reading
    " threshold REAL NOT NULL,"    // the limit crossed
    " since_ms INTEGER NOT NULL,"  // the first sample beyond it; the last frame for no reading
    " raised_ms INTEGER NOT NULL," // with raised_offset_sec, the local offset from UTC then
    " raised_offset_sec INTEGER NOT NULL,"
    " raised_value REAL NOT NULL,"
    " cleared_ms INTEGER," // NULL while up, and when the run ended with it up
    " cleared_offset_sec INTEGER,"
    " cleared_value REAL,"
    " worst REAL NOT NULL,"                   // the furthest beyond the limit while up
    " raise_result TEXT NOT NULL DEFAULT ''," // the alarm command's one-line result; '' for none
    " clear_result TEXT NOT NULL DEFAULT '',"
    " PRIMARY KEY(session, n)) WITHOUT ROWID",
};
// The logger's sessions are told from the window's: their rows are never saved to a file, so
// they must never be offered to restore. Every session before was the window's.
const char* const kToVersion5[] = {
    "ALTER TABLE session ADD COLUMN program TEXT NOT NULL DEFAULT 'pexumo'",
};
// Alarms are published from here like rows: each rise and clear is marked once the broker has
// it. The alarms before were sent from memory, or never: they stay marked as sent. The worst
// value at the rise is kept beside the worst while it was up, for the rise's message. A
// no-reading alarm keeps why no frame came ("silent", "lost", "unopened"), the latest cause
// while it was up; NULL for the other alarms and for those of the files before, whose cause is
// not known.
const char* const kToVersion6[] = {
    "ALTER TABLE alarm ADD COLUMN raised_worst REAL",
    "ALTER TABLE alarm ADD COLUMN raise_sent INTEGER NOT NULL DEFAULT 1",
    "ALTER TABLE alarm ADD COLUMN clear_sent INTEGER NOT NULL DEFAULT 1",
    "ALTER TABLE alarm ADD COLUMN cause TEXT",
};
const std::span<const char* const> kMigrations[] = {kToVersion1, kToVersion2, kToVersion3,
                                                    kToVersion4, kToVersion5, kToVersion6};
static_assert(std::size(kMigrations) == JournalSchemaVersion,
              "one migration step per version of the tables");

/// The tables a file of version 1 has, and so every journal.
const QStringList& journalTables()
{
    static const QStringList tables{QStringLiteral("list_state"), QStringLiteral("reading"),
                                    QStringLiteral("session")};
    return tables;
}

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

constexpr QFile::Permissions PrivateFile = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions PrivateFolder = PrivateFile | QFile::ExeOwner;

/// Makes \a folder and the folders above it that are missing, each for the user only.
bool makePrivateFolder(const QString& folder)
{
    QStringList missing;
    for (QString at = QDir::cleanPath(folder); !QFileInfo::exists(at);) {
        missing.prepend(at);
        const QString up = QFileInfo(at).path();
        if (up == at)
            break;
        at = up;
    }
    for (const QString& dir : missing)
        // Another process may have made it meanwhile; what counts is that it is there.
        if (!QDir().mkdir(dir, PrivateFolder) && !QFileInfo(dir).isDir())
            return false;
    return QFileInfo(folder).isDir();
}

/// Asks an SQLite file without the mark through a read-only connection whether it is a journal
/// of version 1 (or already marked, in a log not yet folded into the file).
JournalFileKind peekUnmarked(const QString& path)
{
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("pexumo-journal-peek-%1").arg(++counter);
    JournalFileKind kind = JournalFileKind::Foreign;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1;QSQLITE_OPEN_READONLY")
                                 .arg(JournalBusyTimeoutMs));
        if (db.open()) {
            JournalError error;
            const std::optional<qint64> id =
                scalar(db, QStringLiteral("PRAGMA application_id"), error, path);
            const std::optional<qint64> version =
                scalar(db, QStringLiteral("PRAGMA user_version"), error, path);
            QStringList tables = db.tables(QSql::Tables);
            tables.sort();
            if (id == JournalApplicationId)
                kind = JournalFileKind::Ours;
            else if (id == 0 && version == 1 && tables == journalTables())
                kind = JournalFileKind::Unmarked;
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return kind;
}

/// Makes a new journal file for the user only, before SQLite opens it: SQLite gives its -wal
/// and -shm the mode of the file. False when it could not be made.
bool makePrivateFile(const QString& path)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly, PrivateFile))
        return true;
    return QFileInfo::exists(path); // made by another process at the same moment
}

/// Takes the rights of others away from a journal made before journals were private.
void tightenFile(const QString& path)
{
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const QString file = path + QLatin1String(suffix);
        if (!QFileInfo::exists(file))
            continue;
        // The *User flags say what this process may do, not what the mode grants.
        const QFile::Permissions mode =
            QFile::permissions(file) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        // A file of another user cannot be changed; it is still used as it is.
        if (mode != PrivateFile)
            QFile::setPermissions(file, PrivateFile);
    }
}

} // namespace

QString rootMustNotOpen(const QString& path, QLatin1StringView use)
{
#ifdef Q_OS_UNIX
    struct stat st = {};
    if (::geteuid() != 0 || ::stat(QFile::encodeName(path).constData(), &st) != 0 || st.st_uid == 0)
        return {};
    if (QFileInfo::exists(path + QLatin1String("-wal")) &&
        QFileInfo::exists(path + QLatin1String("-shm")))
        return {}; // in use: there is nothing to make
    const passwd* owner = ::getpwuid(st.st_uid);
    const QString user =
        owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(st.st_uid);
    return QStringLiteral("%1 belongs to %2 and is not in use: %3 it as %2 (sudo -u %2 ...), "
                          "since files made by root beside it would lock %2 out")
        .arg(QDir::toNativeSeparators(path), user, use);
#else
    Q_UNUSED(path);
    Q_UNUSED(use);
    return {};
#endif
}

QString notAJournalReason(const QString& path)
{
    return QStringLiteral("%1 is not a Pexumo journal").arg(QDir::toNativeSeparators(path));
}

JournalFileKind inspectJournalFile(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return JournalFileKind::New;
    if (!file.open(QIODevice::ReadOnly))
        return JournalFileKind::Unreadable;
    // An SQLite file starts with a 100-byte header: the magic text, and at offset 68 the
    // application_id, big-endian.
    const QByteArray header = file.read(100);
    if (header.isEmpty() && file.atEnd())
        return JournalFileKind::New;
    if (header.size() < 100 || !header.startsWith(QByteArrayView("SQLite format 3\0", 16)))
        return JournalFileKind::Foreign;
    const auto id = qFromBigEndian<qint32>(header.constData() + 68);
    if (id == JournalApplicationId)
        return JournalFileKind::Ours;
    if (id != 0)
        return JournalFileKind::Foreign;
    return peekUnmarked(path);
}

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

JournalError prepareJournalFile(const QString& path, bool readOnly)
{
    JournalError error;
    const QString name = QDir::toNativeSeparators(path);
    switch (inspectJournalFile(path)) {
    case JournalFileKind::Foreign:
        error.reason = notAJournalReason(path);
        return error;
    case JournalFileKind::Unreadable:
        error.code = SqliteCode::CantOpen;
        error.reason = QStringLiteral("cannot open %1").arg(name);
        return error;
    case JournalFileKind::New:
        if (readOnly) {
            error.code = SqliteCode::CantOpen;
            error.reason = QStringLiteral("no journal at %1").arg(name);
            return error;
        }
        if (const QString folder = QFileInfo(path).absolutePath(); !makePrivateFolder(folder)) {
            error.code = SqliteCode::CantOpen;
            error.reason =
                QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(folder));
            return error;
        }
        if (!makePrivateFile(path)) {
            error.code = SqliteCode::CantOpen;
            error.reason = QStringLiteral("cannot open %1").arg(name);
            return error;
        }
        break;
    case JournalFileKind::Ours:
    case JournalFileKind::Unmarked:
        if (!readOnly)
            tightenFile(path);
        else if (const QString refused = rootMustNotOpen(path, QLatin1StringView("read"));
                 !refused.isEmpty())
            error = {SqliteCode::CantOpen, refused};
        break;
    }
    return error;
}

JournalError openJournalConnection(const QString& connection, const QString& path, bool readOnly,
                                   bool unchanging)
{
    JournalError error;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        error.reason = QStringLiteral("the SQLite driver of Qt is not installed");
        return error;
    }
    error = prepareJournalFile(path, readOnly);
    if (!error.reason.isEmpty())
        return error;

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    if (readOnly && unchanging) {
        db.setDatabaseName(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath())
                               .toString(QUrl::FullyEncoded) +
                           QStringLiteral("?mode=ro&immutable=1"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    } else {
        db.setDatabaseName(path);
        db.setConnectOptions(
            QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1%2")
                .arg(JournalBusyTimeoutMs)
                .arg(readOnly ? QStringLiteral(";QSQLITE_OPEN_READONLY") : QString()));
    }
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

int journalVersion(const QSqlDatabase& db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return -1;
    return query.value(0).toInt();
}

namespace {

/// Marks the file and brings its tables from \a version up to JournalSchemaVersion, in one
/// transaction: a crash half way leaves the file as it was.
JournalError migrate(QSqlDatabase& db, const QString& path)
{
    JournalError error;
    if (!exec(db, QStringLiteral("BEGIN IMMEDIATE"), error, path))
        return error;
    // Read again under the write lock: another process may have done it meanwhile.
    std::optional<qint64> version = scalar(db, QStringLiteral("PRAGMA user_version"), error, path);
    bool done = version.has_value();
    for (qint64 step = version.value_or(0); done && step < JournalSchemaVersion; ++step)
        for (const char* statement : kMigrations[step])
            done = done && exec(db, QString::fromLatin1(statement), error, path);
    done =
        done &&
        exec(db, QStringLiteral("PRAGMA application_id=%1").arg(JournalApplicationId), error,
             path) &&
        exec(db, QStringLiteral("PRAGMA user_version=%1").arg(JournalSchemaVersion), error, path) &&
        exec(db, QStringLiteral("COMMIT"), error, path);
    if (!done) {
        JournalError ignored;
        exec(db, QStringLiteral("ROLLBACK"), ignored, path);
        return error;
    }
    return {};
}

JournalError setUpConnection(QSqlDatabase& db, const QString& path, bool readOnly)
{
    JournalError error;
    // Reading the version touches the file's first page, and the tables' list its schema: a
    // damaged header or schema fails here.
    const std::optional<qint64> version =
        scalar(db, QStringLiteral("PRAGMA user_version"), error, path);
    if (!version || !scalar(db, QStringLiteral("SELECT count(*) FROM sqlite_master"), error, path))
        return error;
    if (*version > JournalSchemaVersion) {
        error.reason =
            QStringLiteral("%1 was made by a newer Pexumo").arg(QDir::toNativeSeparators(path));
        return error;
    }
    if (readOnly)
        return {};

    const std::optional<qint64> id =
        scalar(db, QStringLiteral("PRAGMA application_id"), error, path);
    if (!id || !exec(db, QStringLiteral("PRAGMA synchronous=FULL"), error, path))
        return error;
    // The mark and the first tables go into the file itself, before WAL mode: a log that a
    // crash left unfolded must not hide the mark from the next start's look at the header.
    if (*version < JournalSchemaVersion || *id != JournalApplicationId) {
        error = migrate(db, path);
        if (!error.reason.isEmpty())
            return error;
    }
    // WAL: readers (pexumo-journal, a second Pexumo) never block the writer. synchronous FULL
    // syncs the log at every commit, and commits come in batches at most a few times a second,
    // so a committed row survives a power cut, not just a crash.
    if (!exec(db, QStringLiteral("PRAGMA journal_mode=WAL"), error, path))
        return error;
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

namespace {

QString currentBootId()
{
    QFile file(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll().trimmed());
}

/// Field 22 of /proc/PID/stat, the process's start in clock ticks since the boot; 0 when it is
/// gone or cannot be read.
qint64 processStartTicks(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = file.readAll();
    // Field 2 is the command name in parentheses, which may itself hold blanks and ")": the
    // fields from 3 on follow its last ")".
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return 0;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    constexpr qsizetype StartTime = 22 - 3;
    return fields.size() > StartTime ? fields[StartTime].toLongLong() : 0;
}

bool processAlive(qint64 pid)
{
#ifdef Q_OS_UNIX
    // Signal 0 only asks whether the process exists; EPERM means it does, under another user.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#else
    Q_UNUSED(pid);
    return true;
#endif
}

} // namespace

ProcessIdentity currentProcessIdentity()
{
    const qint64 pid = QCoreApplication::applicationPid();
    return {journalHostName(), currentBootId(), pid, processStartTicks(pid)};
}

bool journalSessionMayRun(const ProcessIdentity& writer)
{
    if (writer.host != journalHostName())
        return true;
    if (writer.pid <= 0 || !processAlive(writer.pid))
        return false;
    if (writer.bootId.isEmpty() && writer.startTicks == 0)
        return true; // written before boots were recorded: the process id is all there is
    return writer.bootId == currentBootId() && processStartTicks(writer.pid) == writer.startTicks;
}

} // namespace pexumo
