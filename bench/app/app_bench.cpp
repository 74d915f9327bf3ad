// Start-up of the main window, and a week of sampling ticks through the real window.
#include "benchapp.h"

#include "app/gui/tfmain.h"
#include "link/comport.h"
#include "link/meterframe.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QPushButton>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

using namespace pexumo;

/// Notes the first paint event of any widget it watches.
class PaintWatcher : public QObject
{
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

void BM_StartupToFirstPaint(benchmark::State& state)
{
    auto& app = bench::ensureApp();
    double totalMs = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        TfMain window;
        window.confirmDiscard = [] { return true; };
        PaintWatcher watcher;
        window.installEventFilter(&watcher);
        window.Panel1->installEventFilter(&watcher);
        window.show();
        while (!watcher.painted)
            app.processEvents(QEventLoop::AllEvents, 5);
        totalMs += static_cast<double>(clock.nsecsElapsed()) / 1e6;
        window.close();
    }
    state.counters["startup_ms"] = totalMs / static_cast<double>(state.iterations());
}
BENCHMARK(BM_StartupToFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(5);

void feed(TfMain& window, const MeterFrame& frame)
{
    window.DecodeFrame(decodeFrame(frame));
}

// 604,800 ticks are a week of sampling at one second. Rows go to the lists and points to the
// charts exactly as in the running program; the window is not shown, as on a page not in view.
void BM_WeekOfTicks(benchmark::State& state)
{
    bench::ensureApp();
    const int ticks = static_cast<int>(state.range(0));
    for (auto _ : state) {
        TfMain window;
        window.confirmDiscard = [] { return true; };
        PortSettings demo = window.ComPort1->settings();
        demo.name = kDemoPortName;
        window.ComPort1->setSettings(demo);
        window.btnConnClick(window.btnConn);
        window.Timer1->stop(); // ticks are driven by hand below

        // Seven readings in turn, so every list and chart gets its share of the week.
        const auto& frames = bench::everyRoute();
        // The first and the last 10,000 ticks show whether a tick slows down as the lists and
        // charts fill up.
        const int edge = std::min(10'000, ticks);
        qint64 firstEndNs = 0;
        qint64 lastStartNs = 0;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < ticks; ++i) {
            if (i == ticks - edge)
                lastStartNs = clock.nsecsElapsed();
            if (i % 1000 == 0)
                feed(window, frames[(i / 1000) % 7]);
            window.Timer1Timer(window.Timer1);
            if (i + 1 == edge)
                firstEndNs = clock.nsecsElapsed();
        }
        const qint64 totalNs = clock.nsecsElapsed();
        state.counters["us_per_tick"] = static_cast<double>(totalNs) / 1e3 / ticks;
        state.counters["us_per_tick_first"] = static_cast<double>(firstEndNs) / 1e3 / edge;
        state.counters["us_per_tick_last"] =
            static_cast<double>(totalNs - lastStartNs) / 1e3 / edge;
        state.counters["rss_mb"] = bench::residentMegabytes();
        window.ComPort1->Close();
    }
}
BENCHMARK(BM_WeekOfTicks)->Arg(604800)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
