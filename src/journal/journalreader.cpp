#include "journal/journalreader.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

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
    m_path = path;
    const JournalError error = openJournalConnection(m_connection, path, true);
    return error.reason;
}

std::vector<JournalSession> JournalReader::sessions(QString* error) const
{
    std::vector<JournalSession> result;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT id, started_ms, utc_offset_sec, ended_ms, clean, port,"
                               " host, pid, offered, COALESCE(adopted_by, 0) FROM session"
                               " ORDER BY id"))) {
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
        s.host = q.value(6).toString();
        s.pid = q.value(7).toLongLong();
        s.offered = q.value(8).toInt() != 0;
        s.adoptedBy = q.value(9).toLongLong();
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

QString JournalReader::forEachRow(qint64 session, std::optional<ListId> list,
                                  const RowVisitor& visit) const
{
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
    if (!q.exec())
        return journalError(q.lastError(), m_path).reason;
    ResultRecord r;
    while (q.next()) {
        r.TimeOrNo = q.value(1).toString();
        r.Type = q.value(2).toString();
        r.Value = q.value(3).toString();
        r.Unit = q.value(4).toString();
        r.Temp = q.value(5).toString();
        r.TempUnit = q.value(6).toString();
        r.Sign = q.value(7).toInt();
        r.StampMs = q.value(8).toLongLong();
        r.UtcOffsetSec = q.value(9).toInt();
        // A hand-edited file may hold a list number of no list: such a row is no row of ours.
        if (const std::optional<ListId> rowList = listFromIndex(q.value(0).toLongLong()))
            visit(*rowList, r);
    }
    if (q.lastError().isValid())
        return journalError(q.lastError(), m_path).reason;
    return {};
}

QString JournalReader::readSession(const QString& path, qint64 session, const RowVisitor& visit)
{
    using Chunk = std::vector<std::pair<ListId, ResultRecord>>;
    struct Abandoned
    {
    };
    constexpr std::size_t ChunkRows = 4096;
    constexpr std::size_t MaxChunks = 64; // about 20 MB ahead of the consumer at most
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Chunk> chunks;
    bool finished = false;
    bool abandoned = false;
    QString error;

    std::thread producer([&] {
        JournalReader reader; // its connection belongs to this thread
        Chunk chunk;
        const auto hand = [&] {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return chunks.size() < MaxChunks || abandoned; });
            if (abandoned)
                throw Abandoned{};
            chunks.push_back(std::move(chunk));
            changed.notify_all();
            chunk = Chunk();
            chunk.reserve(ChunkRows);
        };
        chunk.reserve(ChunkRows);
        QString reason = reader.open(path);
        try {
            if (reason.isEmpty())
                reason = reader.forEachRow(session, std::nullopt,
                                           [&](ListId list, const ResultRecord& record) {
                                               chunk.emplace_back(list, record);
                                               if (chunk.size() >= ChunkRows)
                                                   hand();
                                           });
            if (!chunk.empty())
                hand();
        } catch (const Abandoned&) {
            return;
        }
        std::lock_guard lock(mutex);
        finished = true;
        error = reason;
        changed.notify_all();
    });

    try {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return !chunks.empty() || finished; });
                if (chunks.empty())
                    break;
                chunk = std::move(chunks.front());
                chunks.pop_front();
                changed.notify_all();
            }
            for (const auto& [list, record] : chunk)
                visit(list, record);
        }
    } catch (...) {
        // The producer must not wait for room that will never come, nor outlive its state.
        {
            std::lock_guard lock(mutex);
            abandoned = true;
            changed.notify_all();
        }
        producer.join();
        throw;
    }
    producer.join();
    return error;
}

std::optional<JournalSession>
findRestoreOffer(const std::vector<JournalSession>& sessions, qint64 own,
                 const std::function<bool(const JournalSession&)>& mayRun)
{
    for (auto it = sessions.rbegin(); it != sessions.rend(); ++it) {
        if (it->id == own)
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
