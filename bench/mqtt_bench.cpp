// Publishing's costs: the time a row costs the thread that lists it, and how fast a backlog
// reaches a broker on this machine once the broker is back.
#include "publish/memoryoutbox.h"
#include "publish/mqttpublisher.h"
#include "support/mqttbroker.h"

#include <QElapsedTimer>

#include <benchmark/benchmark.h>

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

/// Rows handed to a running, connected publisher back to back: the time on the calling thread.
void BM_MqttPerRow(benchmark::State& state)
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
        state.counters["mqtt_us_per_row"] = double(clock.nsecsElapsed()) / 1e3 / rows;
        state.PauseTiming();
        outbox.waitAcknowledged(last, 60s);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MqttPerRow)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

/// A backlog that piled up while the broker was down, from the broker's start until the broker
/// acknowledged the last row.
void BM_MqttCatchUp(benchmark::State& state)
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
        // Short waits between attempts, so that the measurement is of sending, not waiting.
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
        state.counters["mqtt_catchup_rows_per_s"] = rows / (double(clock.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_MqttCatchUp)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
