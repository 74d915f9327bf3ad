#include "benchapp.h"
#include "history/gui/historychart.h"
#include "history/historyseries.h"

#include <QImage>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <memory>

namespace {

constexpr qsizetype Samples = 1'000'000;
constexpr int PlotWidth = 1200;

// A night and a half of one-second samples: a slow wave with a spike now and then, the
// temperature alongside, and the line lost and back every 100,000 samples.
void fill(pexumo::HistorySeries& series)
{
    const qint64 start = 1'796'807'730'000;
    for (qsizetype i = 0; i < Samples; ++i) {
        if (i > 0 && i % 100'000 == 0)
            series.breakLine();
        const double v = 7 + 0.3 * std::sin(double(i) / 900) + (i % 7919 == 0 ? 2.5 : 0);
        series.append(start + i * 1000, v, 25 + std::sin(double(i) / 5000), 3600);
    }
}

// A chart whose plot is PlotWidth pixels wide, showing every sample and the temperature.
std::unique_ptr<pexumo::HistoryChart> chartOf(const pexumo::HistorySeries& series)
{
    auto chart = std::make_unique<pexumo::HistoryChart>();
    chart->setTemperatureVisible(true);
    chart->resize(PlotWidth + 200, 400);
    chart->resize(chart->width() + PlotWidth - chart->plotRect().width(), 400);
    chart->setSeries(&series);
    chart->setUnit(QStringLiteral("pH"));
    chart->setLimits(6.5, 8.5);
    return chart;
}

// Both clocks: the machines this runs on are shared, and there the time on the wall grows with
// the load of others while the thread's own processor time does not.
struct Stopwatch
{
    double wallMs = 0;
    double cpuMs = 0;

    template <typename Work> void time(Work work)
    {
        const auto wall = std::chrono::steady_clock::now();
        const double cpu = threadCpuMs();
        work();
        cpuMs += threadCpuMs() - cpu;
        wallMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall)
                      .count();
    }

    static double threadCpuMs()
    {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
    }
};

// Reduce and paint the whole run, offscreen, from scratch each time.
void BM_HistoryDraw(benchmark::State& state)
{
    pexumo::bench::ensureApp();
    const std::size_t heapBefore = mallinfo2().uordblks;
    pexumo::HistorySeries series;
    fill(series);
    auto chart = chartOf(series);
    chart->valueAxisMin(); // makes the reduction
    // Everything the view adds to the list: the samples, the chart and its reduction.
    const double bytesPerSample = double(mallinfo2().uordblks - heapBefore) / double(Samples);

    QImage image(chart->size(), QImage::Format_RGB32);
    Stopwatch watch;
    for (auto _ : state) {
        watch.time([&] {
            chart->showAll(); // drops the reduction
            chart->render(&image);
        });
    }
    state.counters["history_draw_ms"] = watch.cpuMs / double(state.iterations());
    state.counters["history_draw_wall_ms"] = watch.wallMs / double(state.iterations());
    state.counters["bytes_per_sample"] = bytesPerSample;
    state.counters["series_bytes_per_sample"] = double(series.bytesUsed()) / double(Samples);
}

// One wheel notch at the middle of the plot and the repaint it causes, in and out in turn.
void BM_HistoryZoom(benchmark::State& state)
{
    pexumo::bench::ensureApp();
    pexumo::HistorySeries series;
    fill(series);
    auto chart = chartOf(series);
    QImage image(chart->size(), QImage::Format_RGB32);
    const QRect plot = chart->plotRect();
    const double middle = plot.left() + plot.width() / 2.0;
    Stopwatch watch;
    bool in = true;
    for (auto _ : state) {
        watch.time([&] {
            chart->zoomAt(middle,
                          in ? pexumo::HistoryChart::ZoomStep : 1 / pexumo::HistoryChart::ZoomStep);
            chart->render(&image);
        });
        in = !in;
    }
    state.counters["history_zoom_ms"] = watch.cpuMs / double(state.iterations());
    state.counters["history_zoom_wall_ms"] = watch.wallMs / double(state.iterations());
}

} // namespace

BENCHMARK(BM_HistoryDraw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryZoom)->Unit(benchmark::kMillisecond);
