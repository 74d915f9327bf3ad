// Publishing's costs: the time a row costs the thread that lists it, and how fast a backlog
// reaches a broker on this machine once the broker is back. The headline figures use the
// journal as the outbox, as the program does; the memory outbox beside them shows what the
// journal adds.
#include "journal/journal.h"
#include "journal/journaloutbox.h"
#include "publish/memoryoutbox.h"
#include "publish/mqttpublisher.h"
#include "support/mqttbroker.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <mutex>

namespace {

using namespace pexumo;
using namespace std::chrono_literals;

MqttConfig localBroker(quint16 port)
{
    MqttConfig config;
    config.host = QStringLiteral("127.0.0.1");
    config.port = port;
    config.topic = QStringLiteral("bench");
    config.clientId = QStringLiteral("pexumo-bench");
    return config;
}

ResultRecord benchRow()
{
    return {"10:00:00", "pH", "7.12", "pH", "25.3", "C", 0, 1765270800000, 3600};
}

/// The journal's outbox, telling the benchmark the moment the broker acknowledged a row.
class WatchedOutbox final : public Outbox
{
public:
    WatchedOutbox(const QString& path, qint64 firstSession) : m_outbox(path, firstSession) {}

    bool waitAcknowledged(OutboxPosition position, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_acknowledged >= position; });
    }
    void rowsCommitted() { m_outbox.rowsCommitted(); }

    QString attach(std::function<void()> wake) override { return m_outbox.attach(wake); }
    void detach() override { m_outbox.detach(); }
    std::vector<OutboxRow> after(OutboxPosition from, int limit) override
    {
        return m_outbox.after(from, limit);
    }
    qint64 countAfter(OutboxPosition from) override { return m_outbox.countAfter(from); }
    void acknowledged(OutboxPosition upTo) override
    {
        m_outbox.acknowledged(upTo);
        std::lock_guard lock(m_mutex);
        m_acknowledged = upTo;
        m_changed.notify_all();
    }
    OutboxPosition acknowledgedPosition() override { return m_outbox.acknowledgedPosition(); }
    QString problem() override { return m_outbox.problem(); }

private:
    JournalOutbox m_outbox;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    OutboxPosition m_acknowledged;
};

/// Rows listed while a connected publisher sends them from the journal: the time on the
/// listing thread (the UI thread in the program), which only queues the row for the journal's
/// writer; the writer's commit wakes the publisher.
void BM_MqttPerRow(benchmark::State& state)
{
    const int rows = int(state.range(0));
    test::MqttBroker broker;
    QTemporaryDir dir;
    Journal journal;
    if (!broker.start() || journal.open(dir.filePath("journal.sqlite"), 30) != QString()) {
        state.SkipWithError("no broker or no journal");
        return;
    }
    WatchedOutbox outbox(journal.path(), journal.session());
    journal.setCommitHook([&outbox] { outbox.rowsCommitted(); });
    const auto unhook = qScopeGuard([&journal] { journal.setCommitHook({}); });
    MqttPublisher publisher(outbox);
    publisher.start(localBroker(broker.port()));
    journal.add(ListId::PH, benchRow());
    if (!outbox.waitAcknowledged({journal.session(), 1}, 10s)) {
        state.SkipWithError("the publisher did not connect");
        return;
    }
    const ResultRecord row = benchRow();
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < rows; ++i)
            journal.add(AllLists[i % 7], row);
        state.counters["mqtt_us_per_row"] = double(clock.nsecsElapsed()) / 1e3 / rows;
        state.PauseTiming();
        outbox.waitAcknowledged({journal.session(), 1 + rows}, 120s);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MqttPerRow)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

/// A backlog of rows in a journal file that piled up while the broker was down, from the
/// broker's start until the broker acknowledged the last row.
void BM_MqttCatchUp(benchmark::State& state)
{
    const int rows = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString path = dir.filePath("journal.sqlite");
        Journal journal;
        test::MqttBroker broker;
        if (journal.open(path, 30) != QString() || !broker.start()) {
            state.SkipWithError("no broker or no journal");
            return;
        }
        broker.stop();
        for (int i = 0; i < rows; ++i)
            journal.add(AllLists[i % 8], benchRow());
        const qint64 session = journal.session();
        journal.close(true);
        WatchedOutbox outbox(path, session);
        // Short waits between attempts, so that the measurement is of sending, not waiting.
        MqttPublisher publisher(outbox, MqttTiming{20ms, 20ms, 10s, 3s, 30});
        publisher.start(localBroker(broker.port()));
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        if (!broker.start() || !outbox.waitAcknowledged({session, rows}, 120s)) {
            state.SkipWithError("the backlog did not reach the broker");
            return;
        }
        state.counters["mqtt_catchup_rows_per_s"] = rows / (double(clock.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_MqttCatchUp)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

/// As BM_MqttPerRow with rows in memory only.
void BM_MqttMemoryPerRow(benchmark::State& state)
{
    const int rows = int(state.range(0));
    test::MqttBroker broker;
    if (!broker.start()) {
        state.SkipWithError(broker.errorString().toUtf8().constData());
        return;
    }
    MemoryOutbox outbox;
    MqttPublisher publisher(outbox);
    publisher.start(localBroker(broker.port()));
    if (!outbox.waitAcknowledged(outbox.add(1, ListId::PH, benchRow()), 10s)) {
        state.SkipWithError("the publisher did not connect");
        return;
    }
    const ResultRecord row = benchRow();
    for (auto _ : state) {
        OutboxPosition last;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < rows; ++i)
            last = outbox.add(1, AllLists[i % 7], row);
        state.counters["mqtt_memory_us_per_row"] = double(clock.nsecsElapsed()) / 1e3 / rows;
        state.PauseTiming();
        outbox.waitAcknowledged(last, 60s);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MqttMemoryPerRow)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

/// As BM_MqttCatchUp with the backlog in memory only.
void BM_MqttMemoryCatchUp(benchmark::State& state)
{
    const int rows = int(state.range(0));
    for (auto _ : state) {
        test::MqttBroker broker;
        if (!broker.start()) {
            state.SkipWithError(broker.errorString().toUtf8().constData());
            return;
        }
        broker.stop();
        MemoryOutbox outbox;
        MqttPublisher publisher(outbox, MqttTiming{20ms, 20ms, 10s, 3s, 30});
        publisher.start(localBroker(broker.port()));
        OutboxPosition last;
        for (int i = 0; i < rows; ++i)
            last = outbox.add(1, AllLists[i % 8], benchRow());
        QElapsedTimer clock;
        clock.start();
        if (!broker.start() || !outbox.waitAcknowledged(last, 120s)) {
            state.SkipWithError("the backlog did not reach the broker");
            return;
        }
        state.counters["mqtt_memory_catchup_rows_per_s"] =
            rows / (double(clock.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_MqttMemoryCatchUp)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
