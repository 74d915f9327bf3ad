// The journal's costs: UI-thread time per tick, bytes per row on disk, the restore of a run of a
// million rows, and the time from a tick to its commit.
#include "benchapp.h"

#include "app/gui/tfmain.h"
#include "journal/journal.h"
#include "journal/journalreader.h"
#include "link/comport.h"
#include "link/meterframe.h"
#include "results/gui/resultlist.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace pexumo;

void writeConfig(const QTemporaryDir& dir, const QByteArray& lines)
{
    QFile f(dir.filePath("config.ini"));
    if (f.open(QIODevice::WriteOnly))
        f.write("[Pexumo]\n" + lines);
}

/// A typical pH sample row, as the tick makes it.
ResultRecord sampleRow(int i)
{
    ResultRecord r{QStringLiteral("10:%1:%2")
                       .arg((i / 60) % 60, 2, 10, QLatin1Char('0'))
                       .arg(i % 60, 2, 10, QLatin1Char('0')),
                   QStringLiteral("pH"),
                   QStringLiteral("7.12"),
                   QStringLiteral("pH"),
                   QStringLiteral("25.3"),
                   QStringLiteral("C")};
    r.StampMs = 1765270800000 + qint64(i) * 1000;
    r.UtcOffsetSec = 3600;
    return r;
}

/// Seconds of ticks through the real window on the demo meter, journal off and on.
double usPerTick(const QByteArray& config, int ticks)
{
    QTemporaryDir dir;
    writeConfig(dir, config);
    TfMain window(nullptr, dir.filePath("config.ini"));
    window.confirmDiscard = [] { return true; };
    window.askRestore = [](const QString&) { return false; };
    window.startJournal();
    PortSettings demo = window.ComPort1->settings();
    demo.name = kDemoPortName;
    window.ComPort1->setSettings(demo);
    window.btnConnClick(window.btnConn);
    window.Timer1->stop();
    window.DecodeFrame(decodeFrame(encodeFrame(0, 712, 253, 13, false, false, false)));
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < ticks; ++i)
        window.Timer1Timer(window.Timer1);
    const double us = double(clock.nsecsElapsed()) / 1e3 / ticks;
    window.close();
    return us;
}

void BM_JournalTick(benchmark::State& state)
{
    bench::ensureApp();
    const int ticks = int(state.range(0));
    for (auto _ : state) {
        const double off = usPerTick("Journal=0\n", ticks);
        const double on = usPerTick("JournalFile=journal.sqlite\n", ticks);
        state.counters["us_per_tick_journal_off"] = off;
        state.counters["us_per_tick_journal_on"] = on;
        state.counters["journal_us_per_tick"] = on - off;

        // The part the journal itself adds: queueing one row for the writer.
        QTemporaryDir dir;
        Journal journal;
        journal.open(dir.filePath("journal.sqlite"), 30);
        const ResultRecord row = sampleRow(1);
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < ticks; ++i)
            journal.add(ListId::PH, row);
        state.counters["journal_add_us"] = double(clock.nsecsElapsed()) / 1e3 / ticks;
    }
}
BENCHMARK(BM_JournalTick)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_JournalBytesPerRow(benchmark::State& state)
{
    const int rows = int(state.range(0));
    for (auto _ : state) {
        QTemporaryDir dir;
        const QString path = dir.filePath("journal.sqlite");
        {
            Journal journal;
            journal.open(path, 30);
            for (int i = 0; i < rows; ++i)
                journal.add(AllLists[i % 7], sampleRow(i));
            journal.close(true); // the last connection folds the log into the file
        }
        state.counters["journal_bytes_per_row"] = double(QFileInfo(path).size()) / rows;
    }
}
BENCHMARK(BM_JournalBytesPerRow)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_JournalRestore(benchmark::State& state)
{
    bench::ensureApp();
    const int rows = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        writeConfig(dir, "JournalFile=journal.sqlite\n");
        {
            // A run that never closed: rows over the seven parameter lists and the records.
            Journal journal;
            journal.open(dir.filePath("journal.sqlite"), 30);
            for (int i = 0; i < rows; ++i) {
                ResultRecord r = sampleRow(i);
                if (i % 8 == 7) {
                    r.TimeOrNo = QString::number(i % 255 + 1);
                    r.Sign = 1;
                }
                journal.add(AllLists[i % 8], r);
            }
        }
        {
            // As if its process were gone: this one wrote it and is still alive.
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "bench");
            db.setDatabaseName(dir.filePath("journal.sqlite"));
            if (db.open())
                QSqlQuery(db).exec(QStringLiteral("UPDATE session SET pid = 0"));
        }
        QSqlDatabase::removeDatabase("bench");
        {
            // The part of the restore spent reading the file into lists that no view shows.
            std::vector<std::unique_ptr<ResultListModel>> owned;
            std::array<ResultListModel*, ListCount> models{};
            for (ListId list : AllLists) {
                owned.push_back(std::make_unique<ResultListModel>(listKind(list)));
                models[indexOf(list)] = owned.back().get();
            }
            QElapsedTimer readClock;
            readClock.start();
            JournalReader::readSessionInto(dir.filePath("journal.sqlite"), 1, models);
            state.counters["read_seconds"] = double(readClock.nsecsElapsed()) / 1e9;
        }
        TfMain window(nullptr, dir.filePath("config.ini"));
        window.confirmDiscard = [] { return true; };
        qint64 restoreNs = 0;
        QElapsedTimer clock;
        window.askRestore = [&](const QString&) {
            clock.start();
            return true;
        };
        state.ResumeTiming();
        window.startJournal();
        window.show();
        QCoreApplication::processEvents();
        restoreNs = clock.nsecsElapsed();
        state.PauseTiming();
        state.counters["restore_seconds"] = double(restoreNs) / 1e9;
        state.counters["rows_restored"] = double(window.vtPH->list()->size()) * 8;
        window.close();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_JournalRestore)->Arg(1000000)->Unit(benchmark::kSecond)->Iterations(1);

void BM_JournalLag(benchmark::State& state)
{
    const int rows = int(state.range(0));
    for (auto _ : state) {
        QTemporaryDir dir;
        Journal journal;
        journal.open(dir.filePath("journal.sqlite"), 30);
        // One row every 5 ms (two hundred lists a second, far above one tick a second); a
        // watcher notes when each row's commit became visible.
        std::vector<qint64> added(std::size_t(rows), 0);
        std::vector<qint64> committed(std::size_t(rows), 0);
        QElapsedTimer clock;
        clock.start();
        std::atomic<bool> done{false};
        std::thread watcher([&] {
            qint64 seen = 0;
            while (seen < rows) {
                const qint64 now = journal.committedRows();
                const qint64 at = clock.nsecsElapsed();
                for (; seen < now; ++seen)
                    committed[std::size_t(seen)] = at;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            done = true;
        });
        for (int i = 0; i < rows; ++i) {
            added[std::size_t(i)] = clock.nsecsElapsed();
            journal.add(AllLists[i % 7], sampleRow(i));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        watcher.join();
        std::vector<double> lags;
        for (std::size_t i = 0; i < added.size(); ++i)
            lags.push_back(double(committed[i] - added[i]) / 1e6);
        std::sort(lags.begin(), lags.end());
        state.counters["journal_lag_ms_p99"] = lags[lags.size() * 99 / 100];
        state.counters["journal_lag_ms_max"] = lags.back();
    }
}
BENCHMARK(BM_JournalLag)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
