#pragma once

#include "results/listid.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringView>

#include <array>

namespace pexumo {

/// The version of the tables, kept in the file's user_version. An older file is brought up to
/// it one step at a time; a file of a newer version is left alone (the journal is then off).
/// 2: session.boot_id and session.start_ticks. 3: mqtt_acked. 4: alarm. 5: session.program.
/// 6: what publishing marks of alarms (alarm.raised_worst, raise_sent, clear_sent) and the cause
/// of a no-reading alarm (alarm.cause).
inline constexpr int JournalSchemaVersion = 6;

/// The program that wrote a session, as session.program names it. The window keeps its rows in
/// lists the user saves; pexumo-logger keeps them in the journal only, so its sessions are never
/// offered to restore. Sessions of files made before the column are the window's.
inline constexpr char WindowProgram[] = "pexumo";
inline constexpr char LoggerProgram[] = "pexumo-logger";

/// The file's application_id (header bytes 68-71): "PXMJ". Every journal carries it from its
/// creation on, so that a path that names any other file (a typo, another program's database)
/// is never written, migrated or moved aside.
inline constexpr qint32 JournalApplicationId = 0x50584d4a;

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

/// What the file at a journal's path is, judged before anything is written to it.
enum class JournalFileKind
{
    New,       ///< no file, or an empty one: ours to make
    Ours,      ///< carries JournalApplicationId
    Unmarked,  ///< the layout of version 1 without the mark, as the first release made it
    Foreign,   ///< anything else: never touched
    Unreadable ///< it is there but cannot be read (no rights)
};

/// Looks at the file at \a path without changing it: its header, and for an SQLite file
/// without the mark its version and tables through a read-only connection.
JournalFileKind inspectJournalFile(const QString& path);

/// The reason given for a Foreign file: "<path> is not a Pexumo journal".
QString notAJournalReason(const QString& path);

/// For root and a journal of another user: why it must not be opened now, "" when it may. A
/// program that opens a journal nobody has open makes its log and index (-wal, -shm) beside it;
/// made by root, they would lock the journal's owner, such as the user of a logger service, out
/// of it for good. The reason tells to \a use ("read", "prune") it as its owner.
QString rootMustNotOpen(const QString& path, QLatin1StringView use);

/// Lets only a journal be opened at \a path: inspects the file and returns why it cannot be
/// used (a foreign file, no file for a reader, for root a journal of another user that nobody
/// has open), or an empty reason. For a writer it first makes
/// a missing file and its folders private to the user (0600, 0700) and tightens an existing
/// file of ours and its -wal and -shm to 0600.
JournalError prepareJournalFile(const QString& path, bool readOnly);

/// Opens a connection named \a connection to the file at \a path on the calling thread, which
/// must then be the only one to use it, with a busy timeout (another process may be writing).
/// The file goes through prepareJournalFile() first. A writer marks the file, brings its
/// tables up to date and sets WAL mode and synchronous FULL; a read-only connection creates
/// nothing. Returns an error whose code is Other with an empty
/// reason on success; a damaged file of ours gives Corrupt or NotADb.
/// With \a unchanging (readers only) the file is opened as immutable: no lock, no -wal or -shm
/// looked at or made. Only for a file that no writer has open and that cannot get its -wal made.
JournalError openJournalConnection(const QString& connection, const QString& path, bool readOnly,
                                   bool unchanging = false);

/// The version of the tables of the file behind an open connection; -1 when it cannot be read.
int journalVersion(const QSqlDatabase& db);

/// Moves a damaged journal file (and its -wal and -shm companions) aside to
/// "<name>-damaged-<yyyyMMdd-hhmmss>.<suffix>" in the same folder, so nothing is ever deleted.
/// Returns the new path, or an empty string when it could not be moved.
QString moveDamagedJournalAside(const QString& path, const QDateTime& now);

/// What tells the process that wrote a session from every other one, across reboots too: a
/// process id alone is reused, often by a process that has nothing to do with the journal.
struct ProcessIdentity
{
    QString host;
    QString bootId; ///< /proc/sys/kernel/random/boot_id at its start; "" in files of version 1
    qint64 pid = 0;
    /// Field 22 of /proc/PID/stat: its start in clock ticks since the boot; 0 when not known.
    qint64 startTicks = 0;

    friend bool operator==(const ProcessIdentity&, const ProcessIdentity&) = default;
};

/// This process, as it is recorded with its session.
ProcessIdentity currentProcessIdentity();

/// True while the process that wrote a session may still be running: it runs on another host
/// (which this process cannot look into), or it runs here now: same boot, a live process of
/// that id, started at the same tick. A session of a version 1 file (no boot, no start)
/// counts as running while any process has its id.
bool journalSessionMayRun(const ProcessIdentity& writer);

/// This machine's name as stored with each session.
QString journalHostName();

/// The busy timeout of every connection while it opens, in milliseconds: two processes share
/// the file.
inline constexpr int JournalBusyTimeoutMs = 5000;

} // namespace pexumo
