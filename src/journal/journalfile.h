#pragma once

#include "results/listid.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringView>

#include <array>

namespace pexumo {

/// The version of the tables below, kept in the file's user_version. A later version migrates
/// from it; a file of a newer version is left alone (the journal is then off).
inline constexpr int JournalSchemaVersion = 1;

/// Per-list row counts of a session, indexed by indexOf(ListId).
using ListCounts = std::array<qint64, ListCount>;

/// The SQLite result codes the journal tells apart (QSqlError::nativeErrorCode carries them).
enum class SqliteCode
{
    Other,
    Busy,     ///< 5: another process holds the lock beyond the busy timeout
    ReadOnly, ///< 8
    IoError,  ///< 10
    Corrupt,  ///< 11
    Full,     ///< 13: disk full or a file-size limit
    CantOpen, ///< 14
    NotADb    ///< 26
};
SqliteCode sqliteCode(const QSqlError& error);

/// A failure on the journal file, with the words for the user's "Journal off: <reason>".
struct JournalError
{
    SqliteCode code = SqliteCode::Other;
    QString reason;
    bool damaged() const { return code == SqliteCode::Corrupt || code == SqliteCode::NotADb; }
};
/// \a path names the file in the reason where that helps the user.
JournalError journalError(const QSqlError& error, const QString& path);

/// Opens a connection named \a connection to the file at \a path on the calling thread, which
/// must then be the only one to use it. Sets a busy timeout (another process may be writing),
/// and for a writer WAL mode, synchronous FULL and the tables. A read-only connection creates
/// nothing. Returns an error whose code is Other with an empty reason on success.
JournalError openJournalConnection(const QString& connection, const QString& path, bool readOnly);

/// Moves a damaged journal file (and its -wal and -shm companions) aside to
/// "<name>-damaged-<yyyyMMdd-hhmmss>.<suffix>" in the same folder, so nothing is ever deleted.
/// Returns the new path, or an empty string when it could not be moved.
QString moveDamagedJournalAside(const QString& path, const QDateTime& now);

/// True while the process that wrote a session may still be running: it runs on another host
/// (which this process cannot look into), or on this host under a process id that is alive.
bool journalSessionMayRun(const QString& host, qint64 pid);

/// This machine's name as stored with each session.
QString journalHostName();

/// The busy timeout of every connection, in milliseconds: two processes share the file.
inline constexpr int JournalBusyTimeoutMs = 5000;

} // namespace pexumo
