#pragma once

#include "journal/journalfile.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>

#include <optional>
#include <vector>

namespace pexumo {

/// A session of the journal as the removal of old sessions judges it: by JournalKeepDays when a
/// program opens the journal, or by hand with pexumo-journal prune.
struct OldSession
{
    qint64 id = 0;
    QDateTime started;              ///< in the local time of that run
    std::optional<QDateTime> ended; ///< none: it did not close
    QString program;                ///< WindowProgram or LoggerProgram
    ProcessIdentity writer;
    qint64 rows = 0;           ///< its rows in all lists
    bool allSaved = false;     ///< every row was saved to a file (true for a session of none)
    bool allPublished = false; ///< the MQTT broker acknowledged every row
    bool adopted = false;      ///< its rows live on in the session that restored them
    /// Rows kept nowhere but here: neither saved to a file nor acknowledged by the broker;
    /// 0 for an adopted session.
    qint64 unkept = 0;
    /// Alarm rises and clears of a published session (one the broker acknowledged rows of, or
    /// that a publisher started from) that the broker has not acknowledged: the journal is
    /// where the publisher sends them from. 0 for a session never published, whose alarms no
    /// publisher will ever send.
    qint64 unsentAlarms = 0;
    /// Its program may still be writing it: it did not close and its process may run.
    bool running = false;

    /// Whether JournalKeepDays removes it once it is old enough: it is closed (ended, or its
    /// process is gone), every row of it is kept elsewhere (all saved to a file, restored into
    /// a later session, or, for a logger's session, all acknowledged by the broker) and none of
    /// its alarms still waits to be published. A logger's session that was never published
    /// stays.
    bool expires() const;
};

/// What findOldSessions() counts.
enum class UnkeptRows
{
    Count, ///< OldSession::unkept is counted (a read of the rows of sessions not kept elsewhere)
    Skip   ///< OldSession::unkept stays 0: expires() needs no count
};

/// The sessions of the journal behind \a db (a writer's connection) that ended before
/// \a cutoffMs (milliseconds since 1970 UTC; a session that did not close counts from its
/// start), oldest first; with \a only, that session alone when it is one of them. Empty with
/// \a error set when the file cannot be read.
std::vector<OldSession> findOldSessions(const QSqlDatabase& db, qint64 cutoffMs,
                                        std::optional<qint64> only, QString* error,
                                        UnkeptRows unkept = UnkeptRows::Count);

/// Removes the sessions \a ids with their rows, lists, alarms and acknowledgements, all in one
/// transaction (the newest acknowledgement stays: publishing goes on from it). Returns "" or
/// why nothing was removed. The file keeps its size; SQLite reuses the space for new rows.
QString removeSessions(const QSqlDatabase& db, const std::vector<qint64>& ids);

/// True when the program of some session may still be writing the journal; a VACUUM, which
/// locks the whole file for as long as it copies it, must then wait.
bool journalBeingWritten(const QSqlDatabase& db, QString* error);

} // namespace pexumo
