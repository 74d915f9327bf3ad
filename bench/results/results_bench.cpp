// Result lists at scale: adding rows on top of a list shown in its view, the memory a row
// costs, and writing a million-row list to a text file and to a CSV file.
#include "benchapp.h"

#include "results/csvexport.h"
#include "results/gui/resultlist.h"
#include "results/textexport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

using namespace pexumo;

std::size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd; // small blocks plus mmapped large blocks
}

// A day of pH samples: distinct times, a handful of values, each with its instant and local
// offset, like the sampling tick writes.
std::vector<ResultRecord> samplePool()
{
    constexpr qint64 dayStartMs = 1796770800000; // 2026-12-09 00:00:00 at UTC+1
    std::vector<ResultRecord> pool;
    pool.reserve(86400);
    for (int s = 0; s < 86400; ++s) {
        const QString time = QStringLiteral("%1:%2:%3")
                                 .arg(s / 3600, 2, 10, QLatin1Char('0'))
                                 .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                                 .arg(s % 60, 2, 10, QLatin1Char('0'));
        pool.push_back({time, QStringLiteral("pH"), QString::number(6.5 + (s % 97) / 100.0, 'f', 2),
                        QStringLiteral("pH"), QString::number(20 + (s % 61) / 10.0, 'f', 1),
                        QStringLiteral("C"), 0, dayStartMs + s * qint64(1000), 3600});
    }
    return pool;
}

const std::vector<ResultRecord>& pool()
{
    static const std::vector<ResultRecord> records = samplePool();
    return records;
}

// Fills a shown sample list to N rows, then times single top inserts, each drawn before the
// next, as the sampling tick does.
void BM_ResultListTopInsert(benchmark::State& state)
{
    bench::ensureApp();
    const auto rows = static_cast<std::size_t>(state.range(0));
    const auto& records = pool();
    constexpr int timedInserts = 200;
    double nsPerInsert = 0;
    double nsPerModelInsert = 0;
    double bytesPerRow = 0;
    for (auto _ : state) {
        const std::size_t before = heapInUse();
        auto view = std::make_unique<ResultList>(ListKind::Sample);
        ResultListModel* list = view->list();
        for (std::size_t i = 0; i < rows; ++i)
            list->add(records[i % records.size()]);
        bytesPerRow = double(heapInUse() - before) / double(rows);

        view->resize(600, 500);
        view->show();
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < timedInserts; ++i) {
            list->add(records[static_cast<std::size_t>(i)]);
            QCoreApplication::processEvents();
        }
        nsPerInsert = double(timer.nsecsElapsed()) / timedInserts;
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);

        // The same inserts with no event processing in between: the model and the view's
        // bookkeeping alone, without painting.
        timer.restart();
        for (int i = 0; i < timedInserts; ++i)
            list->add(records[static_cast<std::size_t>(timedInserts + i)]);
        nsPerModelInsert = double(timer.nsecsElapsed()) / timedInserts;
        QCoreApplication::processEvents();
        view.reset();
    }
    state.counters["ns_per_insert"] = nsPerInsert;
    state.counters["ns_per_insert_model"] = nsPerModelInsert;
    state.counters["bytes_per_row"] = bytesPerRow;
}
BENCHMARK(BM_ResultListTopInsert)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Saving a million-row list, against writing the same bytes with one plain write.
void BM_ResultExportMillion(benchmark::State& state)
{
    const auto& records = pool();
    ResultListModel list(ListKind::Sample);
    for (std::size_t i = 0; i < 1'000'000; ++i)
        list.add(records[i % records.size()]);
    QTemporaryDir dir;
    const QString saved = dir.filePath("result.txt");
    const QString plain = dir.filePath("plain.txt");
    double exportSeconds = 0;
    double buildSeconds = 0;
    double plainSeconds = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const QByteArray bytes = exportBytes(list);
        buildSeconds = double(timer.nsecsElapsed()) / 1e9;
        const WriteResult result = writeFileAtomically(withTxtExtension(saved), bytes);
        exportSeconds = double(timer.nsecsElapsed()) / 1e9;
        if (!result.ok)
            state.SkipWithError(qPrintable(result.error));

        // The plain write is synced too, as the save is: the ratio shows the save's own cost
        // (building the lines, the temporary file and its rename), not the disk's.
        timer.restart();
        QFile file(plain);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() ||
            !file.flush() || ::fsync(file.handle()) != 0)
            state.SkipWithError("plain write failed");
        file.close();
        plainSeconds = double(timer.nsecsElapsed()) / 1e9;
        state.SetIterationTime(exportSeconds);
        state.counters["file_bytes"] = double(bytes.size());

        timer.restart();
        const QByteArray csv = exportCsvBytes(list, NumberFormat{});
        state.counters["csv_build_seconds"] = double(timer.nsecsElapsed()) / 1e9;
        state.counters["csv_file_bytes"] = double(csv.size());
    }
    state.counters["export_seconds"] = exportSeconds;
    state.counters["build_seconds"] = buildSeconds;
    state.counters["plain_write_seconds"] = plainSeconds;
    state.counters["ratio_to_plain_write"] = plainSeconds > 0 ? exportSeconds / plainSeconds : 0;
}
BENCHMARK(BM_ResultExportMillion)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
