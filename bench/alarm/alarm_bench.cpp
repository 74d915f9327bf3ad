// The alarm rules' cost per tick: a sample with its temperature, the frame and the no-reading
// check, against limits on every parameter, with values that wander across the limits so that
// alarms rise and clear along the way.
#include "alarm/alarmmonitor.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>

namespace {

using namespace pexumo;

void BM_AlarmTick(benchmark::State& state)
{
    AlarmSettings settings;
    for (AlarmParameter p : AllAlarmParameters)
        settings.limit(p) = {40.0, 60.0};
    settings.delaySeconds = 2;
    AlarmMonitor monitor(settings);
    qint64 nowMs = 1796778787000;
    std::size_t tick = 0;
    std::size_t events = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const auto parameter = AllParameters[tick % AllParameters.size()];
        // A slow swing from 30 to 70 and back: about a third of the samples lie beyond a limit.
        const double value = 50.0 + 20.0 * std::sin(double(tick) / 50.0);
        events += monitor.sample(parameter, value, nowMs).size();
        events += monitor.temperature(value, u"C", nowMs).size();
        events += monitor.frameArrived(nowMs).size();
        events += monitor.check(nowMs, true).size();
        nowMs += 1000;
        ++tick;
    }
    const std::chrono::duration<double, std::micro> spent =
        std::chrono::steady_clock::now() - start;
    benchmark::DoNotOptimize(events);
    state.counters["alarm_us_per_tick"] = spent.count() / double(state.iterations());
    state.counters["events"] = double(events);
}
BENCHMARK(BM_AlarmTick);

} // namespace
