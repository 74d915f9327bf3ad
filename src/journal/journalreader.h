#pragma once

#include "alarm/alarmmonitor.h"
#include "journal/journalfile.h"
#include "results/resultlistmodel.h"
#include "results/resultrecord.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace pexumo {

/// What a read of a whole session did.
struct SessionRead
{
    QString error;          ///< "" or why reading stopped; the rows read before it are kept
    qint64 rows = 0;        ///< rows handed on
    qint64 skippedRows = 0; ///< rows whose list number is of no list (a hand-edited file)
};

/// One run of the program as the journal holds it.
struct JournalSession
{
    qint64 id = 0;
    QDateTime started;              ///< in the local time of that run
    std::optional<QDateTime> ended; ///< none: still running, or it did not close
    bool clean = false;             ///< ended by a normal close of the window
    QString port;
    ProcessIdentity writer; ///< the process that wrote it
    /// The program that wrote it: WindowProgram or LoggerProgram.
    QString program = QString::fromLatin1(WindowProgram);
    bool offered = false; ///< restore was already asked for
    qint64 adoptedBy = 0; ///< the session its rows were restored into; 0 for none
    ListCounts rows{};    ///< rows committed per list
    ListCounts saved{};   ///< of those, the first this many were saved to a file

    qint64 unsaved(ListId list) const;
    qint64 unsavedTotal() const;
    qint64 totalRows() const;
};

/// An alarm of a session as the journal keeps it: its rise, and its clear once it cleared.
/// Values are in the alarm unit of the parameter (seconds for no reading).
struct JournalAlarm
{
    QString parameter; ///< "pH" ... "Temp", "NoReading", or "Disk"
    AlarmSide side = AlarmSide::Below;
    double limit = 0;
    QDateTime since;  ///< the first sample beyond the limit; the last frame for no reading
    QDateTime raised; ///< times in the local time of the rise and of the clear
    double raisedValue = 0;
    std::optional<QDateTime> cleared; ///< none: still up, or the run ended with it up
    std::optional<double> clearedValue;
    double worst = 0;    ///< the furthest beyond the limit while it was up
    QString raiseResult; ///< the alarm command's result for the rise; "" when none ran
    QString clearResult;
    /// For no reading: why no frame came, the latest cause while it was up. None for the other
    /// alarms, and where the journal did not keep it (a file of an earlier version).
    std::optional<NoReadingCause> cause = std::nullopt;

    /// alarmUnit() of the parameter, "s" for no reading, "MB" for the disk.
    QString unit() const;

    friend bool operator==(const JournalAlarm&, const JournalAlarm&) = default;
};

/// Reads a journal file through a read-only connection of its own, on the thread that made
/// the reader; works while a Pexumo process writes the same file.
class JournalReader
{
public:
    JournalReader();
    ~JournalReader();
    JournalReader(const JournalReader&) = delete;
    JournalReader& operator=(const JournalReader&) = delete;

    /// "" on success, else why the file cannot be read (missing, damaged, newer version).
    /// Nothing is ever written to the file. A journal in a folder this process may not write
    /// (a read-only mount), which no writer has open (no -wal beside it), cannot be read the
    /// usual way: SQLite would have to make its -wal and -shm. It is then read as an unchanging
    /// file, and needsReopen() says when a writer has started on it since.
    QString open(const QString& path);
    /// The file was opened as unchanging and a writer has opened it since: open it again to
    /// see what the writer adds.
    bool needsReopen() const;

    /// PRAGMA data_version of the connection: it changes whenever another connection commits
    /// to the file. A cheap question with no lock held beyond the moment of asking.
    std::optional<qint64> dataVersion() const;

    /// Every session, oldest first. Empty with \a error set when the file cannot be read.
    std::vector<JournalSession> sessions(QString* error = nullptr) const;
    std::optional<JournalSession> session(qint64 id, QString* error = nullptr) const;
    /// The alarms of \a session in the order they rose; none in a file older than the alarms.
    std::vector<JournalAlarm> alarms(qint64 session, QString* error = nullptr) const;

    using RowVisitor = std::function<void(ListId list, const ResultRecord& record)>;

    /// Hands every row of \a session to \a visit in the order the rows were added, with its
    /// list; only the rows of \a list when one is given. A row whose list number is of no list
    /// is skipped and counted.
    SessionRead forEachRow(qint64 session, std::optional<ListId> list,
                           const RowVisitor& visit) const;

    /// The latest row of each list of \a session, indexed by indexOf(ListId); none for a list
    /// without rows. Only the lists \a rows counts rows in are looked at: finding that a list
    /// has none would walk the whole session.
    std::array<std::optional<ResultRecord>, ListCount> latestRows(const JournalSession& session,
                                                                  QString* error = nullptr) const;
    /// The stamps of the last \a count sample rows (lists pH .. O2) of \a session, newest first.
    std::vector<qint64> recentSampleStamps(qint64 session, int count,
                                           QString* error = nullptr) const;
    /// Row \a n of \a session (reading.n) with its list; none when there is no such row.
    std::optional<std::pair<ListId, ResultRecord>> row(qint64 session, qint64 n,
                                                       QString* error = nullptr) const;

    /// What a chart needs of a row: its number (reading.n), its instant, and the texts that make
    /// its point, as the journal keeps them (UTF-8, valid during the call only).
    struct ChartRow
    {
        qint64 n = 0;
        qint64 stampMs = 0;
        qint32 utcOffsetSec = 0;
        QByteArrayView type;
        QByteArrayView unit;
        QByteArrayView value;
        QByteArrayView temp;
    };
    using ChartRowVisitor = std::function<void(const ChartRow& row)>;
    /// Hands the rows of \a list of \a session whose number (reading.n) is above \a afterN to
    /// \a visit in the order they were added, with only what a chart draws of them: what a
    /// growing copy of a list lacks. Reads through SQLite's own interface, without copying a
    /// text or making a row, so a million rows take a small part of a second.
    SessionRead forEachChartRowAfter(qint64 session, ListId list, qint64 afterN,
                                     const ChartRowVisitor& visit) const;

    using PackedRowVisitor =
        std::function<void(ListId list, const ResultListModel::PackedRecord& row)>;

    /// Reads every row of \a session in the journal at \a path into the list model of its
    /// list, \a models being indexed by indexOf(ListId): the restore of a run. Each model gets
    /// its rows in one insertion, after the rows it holds. Then \a visit, when given, sees
    /// every row in the order the rows were added (the texts point into the models). Rows are
    /// read straight into the models' packed form, without a ResultRecord per row, so a
    /// million rows take well under a second.
    static SessionRead readSessionInto(const QString& path, qint64 session,
                                       const std::array<ResultListModel*, ListCount>& models,
                                       const PackedRowVisitor& visit = {});

private:
    QString m_connection;
    QString m_path;
    int m_version = 0;
    bool m_unchanging = false;
};

/// Which session to offer to restore at start: the newest of the window's \a sessions other
/// than \a own and not possibly running (\a mayRun, normally journalSessionMayRun() of its
/// writer), when it was never offered and holds unsaved rows. A logger's sessions are passed
/// over: their rows were never in lists to save.
/// A session that ended unsaved rows under a clean close counts as well; one without unsaved
/// rows is never offered, whatever its end.
std::optional<JournalSession>
findRestoreOffer(const std::vector<JournalSession>& sessions, qint64 own,
                 const std::function<bool(const JournalSession&)>& mayRun);

/// The question asked before restoring \a session.
QString restoreQuestion(const JournalSession& session);

} // namespace pexumo
