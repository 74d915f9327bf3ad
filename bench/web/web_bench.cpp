// pexumo-web's costs: a chart of a million rows reduced to 1000 columns (cold: read from the
// journal; warm: the rows kept since), the time from a commit to its arrival on 50 open live
// pages, the processor time and memory of the server while they watch a row a second, and the
// logger's commit lag while 20 pages watch. The first view of the site page in a browser is
// measured by first_view.py beside this file.
#include "journal/journal.h"
#include "journal/journalreader.h"
#include "web/journalviews.h"
#include "web/seriescache.h"
#include "web/serieswarmer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QVariant>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using namespace pexumo;

constexpr qint64 StartMs = 1796806800000; // 2026-12-09 10:00:00 UTC+1

/// A journal with one logger session of \a rows pH rows a second apart, written in bulk.
QString millionRowJournal(const QTemporaryDir& dir, int rows)
{
    const QString path = dir.filePath(QStringLiteral("big.sqlite"));
    {
        Journal journal;
        journal.open(path, 30, QDateTime::fromMSecsSinceEpoch(StartMs, Qt::OffsetFromUTC, 3600),
                     QString::fromLatin1(LoggerProgram));
        journal.setPort(QStringLiteral("/dev/ttyUSB0"));
        journal.close(true);
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bulk"));
    db.setDatabaseName(path);
    db.open();
    {
        QSqlQuery q(db);
        q.exec(QStringLiteral("BEGIN"));
        q.prepare(QStringLiteral("INSERT INTO reading VALUES(1, ?, 0, ?, 'pH', ?, 'pH', '25.3', 'C',"
                                 " 0, ?, 3600)"));
        for (int i = 0; i < rows; ++i) {
            const qint64 stamp = StartMs + 1000 * qint64(i);
            q.addBindValue(i);
            q.addBindValue(QDateTime::fromMSecsSinceEpoch(stamp, Qt::OffsetFromUTC, 3600)
                               .toString(QStringLiteral("hh:mm:ss")));
            q.addBindValue(QStringLiteral("%1").arg(7.0 + 0.5 * std::sin(i / 500.0), 0, 'f', 2));
            q.addBindValue(stamp);
            q.exec();
        }
        q.exec(QStringLiteral("UPDATE list_state SET rows = %1 WHERE session = 1 AND list = 0").arg(rows));
        q.exec(QStringLiteral("INSERT OR IGNORE INTO list_state VALUES(1, 0, %1, 0)").arg(rows));
        q.exec(QStringLiteral("COMMIT"));
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("bulk"));
    return path;
}

double threadCpuMs()
{
    timespec t = {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

void BM_WebSeries(benchmark::State& state)
{
    const int rows = int(state.range(0));
    QTemporaryDir dir;
    const QString path = millionRowJournal(dir, rows);
    const JournalEntry entry{journalIdOf(path), path};
    for (auto _ : state) {
        JournalReader reader;
        reader.open(path);
        SeriesCache cache;
        QString error;
        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = threadCpuMs();
        QJsonObject view = seriesView(cache, entry, reader, 1, ListId::PH, StartMs,
                                      StartMs + 1000 * qint64(rows), 1000, &error);
        const double cold = double(clock.nsecsElapsed()) / 1e6;
        // Processor time too: on a machine shared with other work it is the steadier figure.
        state.counters["web_series_cold_cpu_ms"] = threadCpuMs() - cpuBefore;
        // The next look: the rows are kept, only what came since is read.
        std::vector<double> warm;
        for (int i = 0; i < 20; ++i) {
            clock.restart();
            view = seriesView(cache, entry, reader, 1, ListId::PH, StartMs,
                              StartMs + 1000 * qint64(rows), 1000, &error);
            warm.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        std::sort(warm.begin(), warm.end());
        // As pexumo-web runs: the warmer reads the newest runs ahead on its own thread, and the
        // first look finds the list in memory.
        SeriesCache ahead;
        clock.restart();
        {
            SeriesWarmer warmer(ahead);
            warmer.warm({entry});
            warmer.waitIdle();
        }
        const double warmUp = double(clock.nsecsElapsed()) / 1e6;
        clock.restart();
        seriesView(ahead, entry, reader, 1, ListId::PH, StartMs, StartMs + 1000 * qint64(rows),
                   1000, &error);
        state.counters["web_series_first_look_ms"] = double(clock.nsecsElapsed()) / 1e6;
        state.counters["web_series_warmup_ms"] = warmUp;
        state.counters["web_series_ms"] = warm[warm.size() / 2];
        state.counters["web_series_cold_ms"] = cold;
        state.counters["points"] = double(view[QStringLiteral("x")].toArray().size());
        state.counters["samples"] = view[QStringLiteral("samples")].toDouble();
    }
}
BENCHMARK(BM_WebSeries)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

/// pexumo-web on \a journal, as a process, with a private home.
struct WebProcess
{
    QTemporaryDir home;
    QProcess process;
    quint16 port = 0;

    bool start(const QString& journal)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral("state")));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(home.path());
        process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/pexumo-web"),
                      {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                       QStringLiteral("--journal"), journal});
        if (!process.waitForReadyRead(10000))
            return false;
        static const QRegularExpression address(QStringLiteral(":(\\d+)/"));
        const QRegularExpressionMatch m = address.match(QString::fromUtf8(process.readAllStandardOutput()));
        port = m.hasMatch() ? quint16(m.captured(1).toUInt()) : 0;
        return port != 0;
    }
    ~WebProcess()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
    /// utime + stime of the process in seconds.
    double cpuSeconds() const
    {
        std::ifstream stat("/proc/" + std::to_string(process.processId()) + "/stat");
        std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::istringstream fields(all.substr(all.rfind(')') + 2));
        std::string f;
        double ticks = 0;
        for (int i = 3; i <= 15 && fields >> f; ++i)
            if (i == 14 || i == 15)
                ticks += std::stod(f);
        return ticks / double(sysconf(_SC_CLK_TCK));
    }
    double residentMegabytes() const
    {
        std::ifstream status("/proc/" + std::to_string(process.processId()) + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("VmRSS:", 0) == 0)
                return std::stod(line.substr(6)) / 1024.0;
        return 0;
    }
};

/// One GET on a new connection to 127.0.0.1:\a port: the whole answer.
QByteArray httpGet(quint16 port, const QByteArray& target)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QByteArray answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        const QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
        ::send(fd, request.constData(), std::size_t(request.size()), MSG_NOSIGNAL);
        char buf[65536];
        for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;)
            answer.append(buf, n);
    }
    ::close(fd);
    return answer;
}

/// pexumo-web on a journal of a million rows, as a user meets it: the first chart some seconds
/// after the start (the warmer has read it ahead), over HTTP, and the memory it then holds.
void BM_WebMillionRows(benchmark::State& state)
{
    const int rows = int(state.range(0));
    QTemporaryDir dir;
    const QString path = millionRowJournal(dir, rows);
    for (auto _ : state) {
        WebProcess web;
        if (!web.start(path)) {
            state.SkipWithError("pexumo-web did not start");
            return;
        }
        QThread::msleep(5000);
        const QByteArray target = "/api/series?j=" + journalIdOf(path).toLatin1() +
                                  "&session=1&list=pH&from=" + QByteArray::number(StartMs) +
                                  "&to=" + QByteArray::number(StartMs + 1000 * qint64(rows)) +
                                  "&width=1000";
        QElapsedTimer clock;
        clock.start();
        const QByteArray first = httpGet(web.port, target);
        const double firstMs = double(clock.nsecsElapsed()) / 1e6;
        if (!first.startsWith("HTTP/1.1 200")) {
            state.SkipWithError("no chart");
            return;
        }
        std::vector<double> next;
        for (int i = 0; i < 20; ++i) {
            clock.restart();
            httpGet(web.port, target);
            next.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        std::sort(next.begin(), next.end());
        state.counters["web_series_http_first_ms"] = firstMs;
        state.counters["web_series_http_ms"] = next[next.size() / 2];
        state.counters["web_rss_mb_million_rows"] = web.residentMegabytes();
    }
}
BENCHMARK(BM_WebMillionRows)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

/// \a count live pages (SSE streams) on a thread of their own; each event's arrival is noted
/// against the values it carries.
class LivePages
{
public:
    LivePages(quint16 port, int count)
    {
        for (int i = 0; i < count; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a = {};
            a.sin_family = AF_INET;
            a.sin_port = htons(port);
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
            const char request[] = "GET /events HTTP/1.1\r\nHost: x\r\n\r\n";
            ::send(fd, request, sizeof request - 1, MSG_NOSIGNAL);
            m_fds.push_back(fd);
        }
        m_thread = std::thread([this] { run(); });
    }
    ~LivePages()
    {
        m_stop = true;
        m_thread.join();
        for (int fd : m_fds)
            ::close(fd);
    }
    /// When the value \a marker first reached every page, ns on \a clock's scale; 0 if not.
    qint64 lastArrival(const std::string& marker)
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_arrivals.find(marker);
        return it != m_arrivals.end() && it->second.first == int(m_fds.size()) ? it->second.second : 0;
    }
    QElapsedTimer clock;

private:
    void run()
    {
        std::vector<std::string> pending(m_fds.size());
        std::vector<std::map<std::string, bool>> seen(m_fds.size());
        while (!m_stop) {
            std::vector<pollfd> polls;
            for (int fd : m_fds)
                polls.push_back({fd, POLLIN, 0});
            if (::poll(polls.data(), polls.size(), 50) <= 0)
                continue;
            const qint64 at = clock.nsecsElapsed();
            for (std::size_t i = 0; i < polls.size(); ++i) {
                if (!(polls[i].revents & POLLIN))
                    continue;
                char buf[65536];
                const ssize_t n = ::recv(m_fds[i], buf, sizeof buf, 0);
                if (n <= 0)
                    continue;
                pending[i].append(buf, std::size_t(n));
                // Each row's value is "v<number>", unique to it.
                for (std::size_t p = pending[i].find("\"value\":\"v"); p != std::string::npos;
                     p = pending[i].find("\"value\":\"v", p + 1)) {
                    const std::size_t end = pending[i].find('"', p + 10);
                    if (end == std::string::npos)
                        break;
                    const std::string marker = pending[i].substr(p + 9, end - p - 9);
                    if (!seen[i][marker]) {
                        seen[i][marker] = true;
                        const std::lock_guard lock(m_mutex);
                        auto& a = m_arrivals[marker];
                        ++a.first;
                        a.second = std::max(a.second, at);
                    }
                }
                if (pending[i].size() > 1 << 16)
                    pending[i].erase(0, pending[i].size() - 4096);
            }
        }
    }
    std::vector<int> m_fds;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::map<std::string, std::pair<int, qint64>> m_arrivals;
};

ResultRecord markedRow(int i)
{
    ResultRecord r;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    r.TimeOrNo = QDateTime::fromMSecsSinceEpoch(now).toString(QStringLiteral("hh:mm:ss"));
    r.Type = QStringLiteral("pH");
    r.Value = QStringLiteral("v%1").arg(i);
    r.Unit = QStringLiteral("pH");
    r.Temp = QStringLiteral("25.3");
    r.TempUnit = QStringLiteral("C");
    r.StampMs = now;
    return r;
}

/// A logger's journal with its first row, and pexumo-web watching it.
struct WatchedJournal
{
    QTemporaryDir dir;
    Journal journal;
    WebProcess web;

    bool start()
    {
        const QString path = dir.filePath(QStringLiteral("journal.sqlite"));
        journal.open(path, 30, QDateTime::currentDateTime(), QString::fromLatin1(LoggerProgram));
        journal.add(ListId::PH, markedRow(0));
        journal.flush();
        return web.start(path);
    }
};

/// 50 live pages while a logger writes a row a second: from each commit to its arrival on the
/// last of the pages, and the server's processor time and memory.
void BM_WebLive(benchmark::State& state)
{
    const int pages = int(state.range(0));
    const int rows = int(state.range(1));
    for (auto _ : state) {
        WatchedJournal watched;
        if (!watched.start()) {
            state.SkipWithError("pexumo-web did not start");
            return;
        }
        Journal& journal = watched.journal;
        WebProcess& web = watched.web;
        LivePages live(web.port, pages);
        live.clock.start();
        std::vector<qint64> committedAt(std::size_t(rows) + 1, 0);
        std::atomic<int> current{0};
        journal.setCommitHook([&] { committedAt[std::size_t(current.load())] = live.clock.nsecsElapsed(); });
        QThread::msleep(1500); // the pages have their first event
        const double cpuBefore = web.cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        for (int i = 1; i <= rows; ++i) {
            current = i;
            journal.add(ListId::PH, markedRow(i));
            journal.flush();
            QThread::msleep(1000);
        }
        const double cpu = web.cpuSeconds() - cpuBefore;
        const double seconds = double(wall.nsecsElapsed()) / 1e9;
        std::vector<double> latencies;
        for (int i = 1; i <= rows; ++i) {
            const qint64 arrived = live.lastArrival("v" + std::to_string(i));
            latencies.push_back(arrived && committedAt[std::size_t(i)]
                                    ? double(arrived - committedAt[std::size_t(i)]) / 1e6
                                    : 1e9);
        }
        std::sort(latencies.begin(), latencies.end());
        state.counters["web_live_latency_ms_p99"] = latencies[latencies.size() * 99 / 100];
        state.counters["web_live_latency_ms_median"] = latencies[latencies.size() / 2];
        state.counters["web_cpu_percent_50_clients"] = 100.0 * cpu / seconds;
        state.counters["web_rss_mb"] = web.residentMegabytes();
        journal.setCommitHook({});
        journal.close(true);
    }
}
BENCHMARK(BM_WebLive)->Args({50, 30})->Unit(benchmark::kSecond)->Iterations(1);

/// The logger's commit lag (a row to its commit, as journal_lag_ms_p99 measures it) while 20
/// pages watch the journal through pexumo-web.
void BM_WebLoggerLag(benchmark::State& state)
{
    const int rows = int(state.range(0));
    for (auto _ : state) {
        WatchedJournal watched;
        if (!watched.start()) {
            state.SkipWithError("pexumo-web did not start");
            return;
        }
        Journal& journal = watched.journal;
        WebProcess& web = watched.web;
        LivePages live(web.port, 20);
        live.clock.start();
        QThread::msleep(1000);
        std::vector<qint64> added(std::size_t(rows), 0);
        std::vector<qint64> committed(std::size_t(rows), 0);
        const qint64 base = journal.committedRows();
        QElapsedTimer clock;
        clock.start();
        std::thread watcher([&] {
            qint64 seen = 0;
            while (seen < rows) {
                const qint64 now = journal.committedRows() - base;
                const qint64 at = clock.nsecsElapsed();
                for (; seen < now && seen < rows; ++seen)
                    committed[std::size_t(seen)] = at;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        // A row every 50 ms: twenty commits a second for the pages to follow.
        for (int i = 0; i < rows; ++i) {
            added[std::size_t(i)] = clock.nsecsElapsed();
            journal.add(ListId::PH, markedRow(i + 1));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        watcher.join();
        std::vector<double> lags;
        for (std::size_t i = 0; i < added.size(); ++i)
            lags.push_back(double(committed[i] - added[i]) / 1e6);
        std::sort(lags.begin(), lags.end());
        state.counters["web_logger_lag_ms_p99_20_pages"] = lags[lags.size() * 99 / 100];
        state.counters["web_logger_lag_ms_max_20_pages"] = lags.back();
        journal.close(true);
    }
}
BENCHMARK(BM_WebLoggerLag)->Arg(400)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
