#include "journal/journal.h"
#include "journal/journalprune.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace pexumo {

namespace {

/// A queued piece of work for the writer.
struct Op
{
    enum class Kind
    {
        Row,     ///< list, n (order number), record
        Saved,   ///< list, n (rows saved)
        Port,    ///< text
        Offered, ///< n (session)
        Adopt,   ///< n (session)
        Close,   ///< clean
        Raise,   ///< n (order of the alarm), alarm
        Clear,   ///< alarm
        Cause,   ///< alarm (up, with its new cause)
        Result   ///< alarm (its rise or clear), text
    };
    Kind kind = Kind::Row;
    ListId list = ListId::PH;
    qint64 n = 0;
    ResultRecord record;
    QString text;
    bool clean = false;
    AlarmEvent alarm;
};

/// A null QString binds as SQL NULL; the columns hold texts, empty ones included.
QString notNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

/// The alarm.cause of \a alarm: its word, or NULL (a null QString) for none.
QString causeColumn(const ActiveAlarm& alarm)
{
    return alarm.cause && alarm.side == AlarmSide::NoReading ? noReadingCauseWord(*alarm.cause)
                                                              : QString();
}

/// A batch larger than this is committed without waiting out the batch window (a download).
constexpr std::size_t MaxBatch = 20000;

struct Opened
{
    JournalError error;
    qint64 session = 0;
    QString movedAside;
};

} // namespace

struct Journal::Writer
{
    Journal* owner = nullptr;
    QString path;
    QString connection;
    int keepDays = 30;
    QDateTime started;
    QString program;

    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake; ///< the writer waits for work
    std::condition_variable done; ///< flush() and close() wait for the writer
    std::deque<Op> queue;
    quint64 queued = 0;   ///< ops ever queued
    quint64 finished = 0; ///< ops committed or dropped
    bool stop = false;    ///< commit what is queued, then end
    bool abandon = false; ///< end after the current attempt, whatever is left
    bool exited = false;  ///< the thread has left run()
    bool broken = false;  ///< the file failed: everything is dropped from now on
    QString reason;
    QString stall; ///< why the last attempt to commit failed while it is retried; "" after success
    std::mutex hookMutex; ///< held while the hook runs, so that setCommitHook() can wait it out
    std::function<void()> hook;
    std::atomic<qint64> committedRows{0};
    std::atomic<qint64> pendingRows{0}; ///< rows queued and not committed, dropped ones included
    qint64 session = 0;

    void run(std::promise<Opened>& opened);
    Opened openFile();
    void removeOldSessions(QSqlDatabase& db);
    JournalError commit(QSqlDatabase& db, QSqlQuery& insertRow, const std::vector<Op>& ops,
                        qint64& rows);
    bool writeAlarm(QSqlQuery& q, const Op& op);
    void loop(QSqlDatabase& db);
    void finish(std::size_t count);
    void push(Op&& op);
    void end(int timeoutMs);
};

Opened Journal::Writer::openFile()
{
    Opened result;
    result.error = openJournalConnection(connection, path, false);
    if (result.error.damaged()) {
        QSqlDatabase::database(connection, false).close();
        result.movedAside = moveDamagedJournalAside(path, started);
        if (result.movedAside.isEmpty()) {
            result.error.reason += QStringLiteral(" and cannot be moved aside");
            return result;
        }
        QSqlDatabase::removeDatabase(connection);
        result.error = openJournalConnection(connection, path, false);
    }
    if (!result.error.reason.isEmpty())
        return result;

    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery insert(db);
    insert.prepare(
        QStringLiteral("INSERT INTO session(started_ms, utc_offset_sec, host, pid, boot_id,"
                       " start_ticks, program) VALUES(?, ?, ?, ?, ?, ?, ?)"));
    const ProcessIdentity self = currentProcessIdentity();
    insert.addBindValue(started.toMSecsSinceEpoch());
    insert.addBindValue(started.offsetFromUtc());
    insert.addBindValue(self.host);
    insert.addBindValue(self.pid);
    insert.addBindValue(self.bootId);
    insert.addBindValue(self.startTicks);
    insert.addBindValue(program);
    if (!insert.exec()) {
        result.error = journalError(insert.lastError(), path);
        return result;
    }
    result.session = insert.lastInsertId().toLongLong();
    // From now on a lock held by another program is waited for only briefly per attempt, so
    // that a stop request is noticed; the batch is tried again.
    QSqlQuery(db).exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(LockWaitMs));
    return result;
}

void Journal::Writer::run(std::promise<Opened>& opened)
{
    connection =
        QStringLiteral("pexumo-journal-writer-%1").arg(reinterpret_cast<quintptr>(this), 0, 16);
    {
        const Opened result = openFile();
        session = result.session;
        const bool ok = result.error.reason.isEmpty();
        opened.set_value(result); // the promise's owner may be gone after this line
        if (ok) {
            QSqlDatabase db = QSqlDatabase::database(connection, false);
            removeOldSessions(db);
            loop(db);
            db.close();
        } else {
            std::lock_guard lock(mutex);
            broken = true;
        }
    }
    QSqlDatabase::removeDatabase(connection);
    // Whatever is left can no longer be written; let every flush() return.
    std::lock_guard lock(mutex);
    finished = queued;
    queue.clear();
    exited = true;
    done.notify_all();
}

void Journal::Writer::removeOldSessions(QSqlDatabase& db)
{
    if (keepDays < 0)
        return;
    const qint64 cutoff = started.toMSecsSinceEpoch() - qint64(keepDays) * 24 * 3600 * 1000;
    std::vector<qint64> old;
    for (const OldSession& s : findOldSessions(db, cutoff, std::nullopt, nullptr, UnkeptRows::Skip))
        if (s.id != session && s.expires())
            old.push_back(s.id);
    // A failure (another program's lock) leaves them for the next start.
    removeSessions(db, old);
}

bool Journal::Writer::writeAlarm(QSqlQuery& q, const Op& op)
{
    const ActiveAlarm& a = op.alarm.alarm;
    if (op.kind == Op::Kind::Raise) {
        q.prepare(QStringLiteral(
            "INSERT INTO alarm(session, n, parameter, side, threshold, since_ms, raised_ms,"
            " raised_offset_sec, raised_value, worst, raised_worst, cause, raise_sent,"
            " clear_sent) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, 0)"));
        q.addBindValue(session);
        q.addBindValue(op.n);
        q.addBindValue(a.name());
        q.addBindValue(int(a.side));
        q.addBindValue(a.limit);
        q.addBindValue(a.sinceMs);
        q.addBindValue(op.alarm.atMs);
        q.addBindValue(op.alarm.utcOffsetSec);
        q.addBindValue(a.value);
        q.addBindValue(a.worst);
        q.addBindValue(a.worst);
        q.addBindValue(causeColumn(a));
        return q.exec();
    }
    // The alarm's row, by what names it in its session: a clear, a new cause, or a result of its
    // rise or of its clear. One that matches none (its rise was never journaled) changes nothing.
    const QString where =
        QStringLiteral(" WHERE session = ? AND parameter = ? AND side = ? AND raised_ms = ?");
    if (op.kind == Op::Kind::Clear) {
        // The clear tells the cause the alarm had last; one without (a limit alarm) leaves it.
        q.prepare(QStringLiteral("UPDATE alarm SET cleared_ms = ?, cleared_offset_sec = ?,"
                                 " cleared_value = ?, worst = ?, cause = COALESCE(?, cause)") +
                  where + QStringLiteral(" AND cleared_ms IS NULL"));
        q.addBindValue(op.alarm.atMs);
        q.addBindValue(op.alarm.utcOffsetSec);
        q.addBindValue(a.value);
        q.addBindValue(a.worst);
        q.addBindValue(causeColumn(a));
    } else if (op.kind == Op::Kind::Cause) {
        q.prepare(QStringLiteral("UPDATE alarm SET cause = ?") + where +
                  QStringLiteral(" AND cleared_ms IS NULL"));
        q.addBindValue(causeColumn(a));
    } else {
        q.prepare((op.alarm.change == AlarmChange::Raise
                       ? QStringLiteral("UPDATE alarm SET raise_result = ?")
                       : QStringLiteral("UPDATE alarm SET clear_result = ?")) +
                  where);
        q.addBindValue(op.text);
    }
    q.addBindValue(session);
    q.addBindValue(a.name());
    q.addBindValue(int(a.side));
    q.addBindValue(a.raisedMs);
    return q.exec();
}

JournalError Journal::Writer::commit(QSqlDatabase& db, QSqlQuery& insertRow,
                                     const std::vector<Op>& ops, qint64& rows)
{
    QSqlQuery q(db);
    const auto fail = [&](const QSqlQuery& failed) {
        const JournalError e = journalError(failed.lastError(), path);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return e;
    };
    // IMMEDIATE takes the write lock at once, waiting out another writer within the busy
    // timeout, rather than failing half way.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return journalError(q.lastError(), path);
    ListCounts added{};
    rows = 0;
    for (const Op& op : ops) {
        switch (op.kind) {
        case Op::Kind::Row: {
            const ResultRecord& r = op.record;
            insertRow.bindValue(0, session);
            insertRow.bindValue(1, op.n);
            insertRow.bindValue(2, int(indexOf(op.list)));
            insertRow.bindValue(3, notNull(r.TimeOrNo));
            insertRow.bindValue(4, notNull(r.Type));
            insertRow.bindValue(5, notNull(r.Value));
            insertRow.bindValue(6, notNull(r.Unit));
            insertRow.bindValue(7, notNull(r.Temp));
            insertRow.bindValue(8, notNull(r.TempUnit));
            insertRow.bindValue(9, r.Sign);
            insertRow.bindValue(10, r.StampMs);
            insertRow.bindValue(11, r.UtcOffsetSec);
            if (!insertRow.exec())
                return fail(insertRow);
            ++added[indexOf(op.list)];
            ++rows;
            break;
        }
        case Op::Kind::Saved:
            q.prepare(
                QStringLiteral("INSERT INTO list_state(session, list, saved) VALUES(?, ?, ?)"
                               " ON CONFLICT(session, list) DO UPDATE SET saved = excluded.saved"));
            q.addBindValue(session);
            q.addBindValue(int(indexOf(op.list)));
            q.addBindValue(op.n);
            if (!q.exec())
                return fail(q);
            break;
        case Op::Kind::Port:
            q.prepare(QStringLiteral("UPDATE session SET port = ? WHERE id = ?"));
            q.addBindValue(op.text);
            q.addBindValue(session);
            if (!q.exec())
                return fail(q);
            break;
        case Op::Kind::Offered:
            q.prepare(QStringLiteral("UPDATE session SET offered = 1 WHERE id = ?"));
            q.addBindValue(op.n);
            if (!q.exec())
                return fail(q);
            break;
        case Op::Kind::Adopt:
            for (const char* sql :
                 {"INSERT INTO reading SELECT :to, n, list, time_or_no, type, value, unit, temp,"
                  " temp_unit, sign, stamp_ms, utc_offset_sec FROM reading WHERE session = :from",
                  "INSERT OR REPLACE INTO list_state SELECT :to, list, rows, saved"
                  " FROM list_state WHERE session = :from",
                  "UPDATE session SET adopted_by = :to, offered = 1 WHERE id = :from"}) {
                q.prepare(QString::fromLatin1(sql));
                q.bindValue(QStringLiteral(":to"), session);
                q.bindValue(QStringLiteral(":from"), op.n);
                if (!q.exec())
                    return fail(q);
            }
            break;
        case Op::Kind::Raise:
        case Op::Kind::Clear:
        case Op::Kind::Cause:
        case Op::Kind::Result:
            if (!writeAlarm(q, op))
                return fail(q);
            break;
        case Op::Kind::Close:
            q.prepare(QStringLiteral("UPDATE session SET ended_ms = ?, clean = ? WHERE id = ?"));
            q.addBindValue(QDateTime::currentMSecsSinceEpoch());
            q.addBindValue(op.clean ? 1 : 0);
            q.addBindValue(session);
            if (!q.exec())
                return fail(q);
            break;
        }
    }
    for (ListId id : AllLists) {
        const std::size_t list = indexOf(id);
        if (!added[list])
            continue;
        q.prepare(QStringLiteral("INSERT INTO list_state(session, list, rows) VALUES(?, ?, ?)"
                                 " ON CONFLICT(session, list) DO UPDATE SET rows = rows + "
                                 "excluded.rows"));
        q.addBindValue(session);
        q.addBindValue(int(list));
        q.addBindValue(added[list]);
        if (!q.exec())
            return fail(q);
    }
    if (!q.exec(QStringLiteral("COMMIT")))
        return fail(q);
    return {};
}

void Journal::Writer::finish(std::size_t count)
{
    std::lock_guard lock(mutex);
    finished += count;
    done.notify_all();
}

void Journal::Writer::loop(QSqlDatabase& db)
{
    QSqlQuery insertRow(db);
    insertRow.prepare(
        QStringLiteral("INSERT INTO reading VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    std::vector<Op> batch;
    for (;;) {
        batch.clear();
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [&] { return stop || !queue.empty(); });
            if (queue.empty())
                return; // stopped with nothing left
            wake.wait_for(lock, std::chrono::milliseconds(BatchWindowMs),
                          [&] { return stop || queue.size() >= MaxBatch; });
            const std::size_t take = std::min(queue.size(), MaxBatch);
            batch.assign(std::make_move_iterator(queue.begin()),
                         std::make_move_iterator(queue.begin() + static_cast<qsizetype>(take)));
            queue.erase(queue.begin(), queue.begin() + static_cast<qsizetype>(take));
        }
        qint64 rows = 0;
        const JournalError error = commit(db, insertRow, batch, rows);
        if (error.reason.isEmpty()) {
            committedRows += rows;
            pendingRows -= rows;
            {
                std::lock_guard lock(mutex);
                stall.clear();
            }
            {
                std::lock_guard lock(hookMutex);
                if (hook)
                    hook();
            }
            finish(batch.size());
            continue;
        }
        if (error.code == SqliteCode::Busy) {
            // Another program holds the file (an open transaction in a shell, a backup): keep
            // the batch for the next attempt, unless the owner gave up waiting.
            std::lock_guard lock(mutex);
            stall = error.reason;
            queue.insert(queue.begin(), std::make_move_iterator(batch.begin()),
                         std::make_move_iterator(batch.end()));
            if (abandon)
                return;
            continue;
        }
        {
            std::lock_guard lock(mutex);
            broken = true;
            reason = error.reason;
        }
        // Off before any flush() returns, so whoever waited sees the journal off.
        owner->fail(error.reason);
        {
            std::lock_guard lock(mutex);
            finished += batch.size() + queue.size();
            queue.clear();
            done.notify_all();
        }
        return;
    }
}

Journal::Journal(QObject* parent) : QObject(parent) {}

Journal::~Journal()
{
    if (m_writer && m_writer->thread.joinable())
        m_writer->end(DefaultCloseTimeoutMs);
}

void Journal::Writer::end(int timeoutMs)
{
    {
        std::unique_lock lock(mutex);
        stop = true;
        wake.notify_all();
        // A lock held by another program can keep the last batches out: past the time given,
        // the writer gives up after its current attempt, which LockWaitMs bounds.
        if (!done.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                           [&] { return exited; }))
            abandon = true;
    }
    thread.join();
}

QString Journal::open(const QString& path, int keepDays, const QDateTime& started,
                      const QString& program)
{
    Q_ASSERT(!m_writer);
#ifdef Q_OS_UNIX
    // Past a file-size limit the system stops the process with SIGXFSZ unless it is ignored;
    // ignored, the write fails and the journal goes off like on a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    m_path = path;
    m_writer = std::make_unique<Writer>();
    m_writer->owner = this;
    m_writer->path = path;
    m_writer->keepDays = keepDays;
    m_writer->started = started;
    m_writer->program = program;
    std::promise<Opened> promise;
    std::future<Opened> opened = promise.get_future();
    m_writer->thread = std::thread([this, &promise] { m_writer->run(promise); });
    const Opened result = opened.get();
    m_movedAside = result.movedAside;
    if (!result.error.reason.isEmpty()) {
        m_writer->thread.join();
        std::lock_guard lock(m_writer->mutex);
        m_writer->reason = result.error.reason;
        return result.error.reason;
    }
    m_session = result.session;
    m_on = true;
    return {};
}

QString Journal::offReason() const
{
    if (!m_writer)
        return {};
    std::lock_guard lock(m_writer->mutex);
    return m_writer->reason;
}

void Journal::fail(const QString& reason)
{
    // Called on the writer thread: the flag at once, the signal on the owner's thread.
    m_on = false;
    QMetaObject::invokeMethod(
        this, [this, reason] { emit failed(reason); }, Qt::QueuedConnection);
}

void Journal::Writer::push(Op&& op)
{
    {
        std::lock_guard lock(mutex);
        if (broken || stop)
            return;
        ++queued;
        if (op.kind == Op::Kind::Row)
            ++pendingRows;
        queue.push_back(std::move(op));
    }
    wake.notify_one();
}

void Journal::add(ListId list, const ResultRecord& record)
{
    if (!m_on)
        return;
    Op op;
    op.kind = Op::Kind::Row;
    op.list = list;
    op.n = m_nextRow++;
    op.record = record;
    m_writer->push(std::move(op));
}

void Journal::markSaved(ListId list, qint64 rows)
{
    if (!m_on)
        return;
    Op op;
    op.kind = Op::Kind::Saved;
    op.list = list;
    op.n = rows;
    m_writer->push(std::move(op));
}

void Journal::setPort(const QString& port)
{
    if (!m_on)
        return;
    Op op;
    op.kind = Op::Kind::Port;
    op.text = port;
    m_writer->push(std::move(op));
}

void Journal::markOffered(qint64 session)
{
    if (!m_on)
        return;
    Op op;
    op.kind = Op::Kind::Offered;
    op.n = session;
    m_writer->push(std::move(op));
}

void Journal::adopt(qint64 session, qint64 rows)
{
    if (!m_on)
        return;
    Q_ASSERT(m_nextRow == 0);
    Op op;
    op.kind = Op::Kind::Adopt;
    op.n = session;
    m_nextRow = rows;
    m_writer->push(std::move(op));
}

void Journal::alarmRaised(const AlarmEvent& event)
{
    if (!m_on)
        return;
    Op op;
    op.kind = Op::Kind::Raise;
    op.n = m_nextAlarm++;
    op.alarm = event;
    m_writer->push(std::move(op));
}

void Journal::alarmCleared(const AlarmEvent& event)
{
    if (!m_on)
        return;
    Op op;
    op.kind = Op::Kind::Clear;
    op.alarm = event;
    m_writer->push(std::move(op));
}

void Journal::alarmCauseChanged(const ActiveAlarm& alarm)
{
    if (!m_on)
        return;
    Op op;
    op.kind = Op::Kind::Cause;
    op.alarm.alarm = alarm;
    m_writer->push(std::move(op));
}

void Journal::alarmCommandFinished(const AlarmEvent& event, const QString& result)
{
    if (!m_on)
        return;
    Op op;
    op.kind = Op::Kind::Result;
    op.alarm = event;
    op.text = notNull(result);
    m_writer->push(std::move(op));
}

void Journal::setCommitHook(std::function<void()> hook)
{
    if (!m_writer)
        return;
    std::lock_guard lock(m_writer->hookMutex);
    m_writer->hook = std::move(hook);
}

qint64 Journal::close(bool clean, int timeoutMs)
{
    if (!m_writer || !m_writer->thread.joinable())
        return pendingRows();
    Op op;
    op.kind = Op::Kind::Close;
    op.clean = clean;
    m_writer->push(std::move(op));
    m_writer->end(timeoutMs);
    m_on = false;
    return pendingRows();
}

bool Journal::flush(int timeoutMs)
{
    if (!m_writer)
        return true;
    std::unique_lock lock(m_writer->mutex);
    const quint64 target = m_writer->queued;
    return m_writer->done.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [&] { return m_writer->finished >= target; });
}

qint64 Journal::committedRows() const
{
    return m_writer ? m_writer->committedRows.load() : 0;
}

qint64 Journal::pendingRows() const
{
    return m_writer ? m_writer->pendingRows.load() : 0;
}

QString Journal::stallReason() const
{
    if (!m_writer)
        return {};
    std::lock_guard lock(m_writer->mutex);
    return m_writer->stall;
}

} // namespace pexumo
