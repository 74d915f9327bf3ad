// pexumo-logger's run over a month of one-second ticks, driven in-process: the logger's own
// Station (lists that keep counts only, the journal on) reads a line the bench feeds, and the
// bench fires the sampling ticks by hand instead of waiting a month.
#include "benchapp.h"

#include "app/logger.h"
#include "journal/journal.h"
#include "link/meterframe.h"
#include "support/feeddevice.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <ctime>
#include <malloc.h>

namespace {

using namespace pexumo;

/// Resident memory in MB, after the heap freed so far went back to the system: what the run
/// holds, not what the allocator keeps of the queue's swells (see the loop).
double residentMegabytes()
{
    malloc_trim(0);
    return bench::residentMegabytes();
}

/// Processor time of the whole process, the journal's writer thread included, in seconds.
double processCpuSeconds()
{
    timespec t = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// 2,592,000 ticks are 30 days at one second. The meter sends one live frame per tick, each kind
// in turn for a minute, so every list grows and every frame is decoded; pH has alarm limits,
// so every pH sample is checked against them.
void BM_LoggerMonth(benchmark::State& state)
{
    const int ticks = int(state.range(0));
    constexpr int Hour = 3600;
    const auto& frames = bench::everyRoute();
    for (auto _ : state) {
        QTemporaryDir dir;
        QFile alarms(dir.filePath(QStringLiteral("alarms.conf")));
        if (!alarms.open(QIODevice::WriteOnly) || alarms.write("[Alarms]\npH=6.5..8.5\n") < 0) {
            state.SkipWithError("cannot write the alarm settings");
            return;
        }
        alarms.close();
        LoggerSetup setup;
        setup.station.configPath = dir.filePath(QStringLiteral("config.ini")); // none: defaults
        setup.station.journalPath = dir.filePath(QStringLiteral("journal.sqlite"));
        setup.port.name = QStringLiteral("meter");
        setup.alarmSettingsPath = alarms.fileName();
        Logger logger(setup);
        logger.print = [](Severity, const QString&) {};
        test::FeedDevice line;
        logger.station().port().setDevice(&line);
        if (logger.start()) {
            state.SkipWithError("the logger did not start");
            return;
        }
        Journal& journal = *logger.station().journal();
        MeterRun& run = logger.station().run();
        const double rssStart = residentMegabytes();
        double rssHour = 0;
        const double cpuStart = processCpuSeconds();
        for (int i = 0; i < ticks; ++i) {
            line.feed(frames[(i / 60) % 7]);
            run.tick();
            // At one tick a second the journal's queue holds a row or two; fired as fast as
            // this, it swells between two commits, and the writer keeps the room of its
            // largest batch. The queue is held to about an hour of ticks, as much as the first
            // hour can queue, so that the hour and the month are measured alike.
            if (i % 1000 == 0)
                while (journal.pendingRows() > 4000)
                    QThread::msleep(1);
            if (i + 1 == Hour) {
                journal.flush();
                rssHour = residentMegabytes();
            }
        }
        journal.flush();
        const double rssMonth = residentMegabytes();
        const qint64 rows = journal.committedRows();
        const int status = logger.stop(QStringLiteral("the end of the month"));
        const double cpu = processCpuSeconds() - cpuStart;
        if (status != 0)
            state.SkipWithError("rows were lost");
        state.counters["logger_us_per_tick"] = cpu * 1e6 / ticks;
        state.counters["logger_rss_mb_start"] = rssStart;
        state.counters["logger_rss_mb_hour"] = rssHour;
        state.counters["logger_rss_mb_month"] = rssMonth;
        state.counters["logger_rss_mb_growth"] = rssMonth - rssHour;
        state.counters["logger_rows"] = double(rows);
    }
}
BENCHMARK(BM_LoggerMonth)->Arg(2592000)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
