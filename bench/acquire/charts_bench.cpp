#include "acquire/gui/trendchart.h"
#include "acquire/windowedseries.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

namespace {

// One tick's worth of chart work for the whole window: eight small and seven big charts, each
// getting a point (the real tick feeds three of them; this is the worst case). state.range(0):
// 0 all hidden (a page not shown; axes catch up when it is), 1 all shown, 2 shown and every chart
// painted before the clock stops.
void BM_FifteenChartsUpdate(benchmark::State& state)
{
    const bool shown = state.range(0) >= 1;
    const bool painted = state.range(0) == 2;
    std::vector<std::unique_ptr<pexumo::TrendChart>> charts;
    for (int i = 0; i < 15; ++i) {
        auto chart = std::make_unique<pexumo::TrendChart>(QStringLiteral("C%1").arg(i));
        if (i < 8) {
            chart->resize(257, 185);
        } else {
            chart->resize(785, 273);
        }
        if (shown)
            chart->show();
        charts.push_back(std::move(chart));
    }
    QCoreApplication::processEvents();

    double totalMs = 0;
    long sample = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double y = 7 + std::sin(double(sample++) / 5);
        for (int i = 0; i < 15; ++i)
            charts[std::size_t(i)]->addWindowedPoint(y, i < 8 ? pexumo::SmallChartWindow
                                                              : pexumo::BigChartWindow);
        if (painted) {
            for (auto& chart : charts)
                chart->viewport()->repaint();
        }
        totalMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    }
    state.counters["ms_per_update"] = totalMs / double(state.iterations());
}

} // namespace

BENCHMARK(BM_FifteenChartsUpdate)
    ->ArgName("shown")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond);
