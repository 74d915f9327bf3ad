#include "link/framestream.h"
#include "link/meterframe.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

using namespace pexumo;

// A capture of live frames with varied digits over every mode code, as the meter streams them.
QByteArray liveCapture(int frames)
{
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> digits(0, 9999);
    std::uniform_int_distribution<int> mode(1, 20);
    std::uniform_int_distribution<int> flag(0, 1);
    QByteArray bytes;
    bytes.reserve(frames * qsizetype(kFrameSize));
    for (int i = 0; i < frames; ++i) {
        const MeterFrame f = encodeFrame(0, digits(rng), digits(rng), mode(rng), flag(rng) != 0,
                                         flag(rng) != 0, flag(rng) != 0);
        bytes.append(reinterpret_cast<const char*>(f.data()), qsizetype(f.size()));
    }
    return bytes;
}

// Bytes arrive in chunks as a serial port delivers them; every frame is cut out and decoded.
void BM_DecodeLiveStream(benchmark::State& state)
{
    const int frames = 10000;
    const qsizetype chunk = state.range(0);
    const QByteArray bytes = liveCapture(frames);
    const NumberFormat format{u'.', u','};
    std::int64_t decoded = 0;
    for (auto _ : state) {
        FrameStream stream;
        for (qsizetype pos = 0; pos < bytes.size(); pos += chunk) {
            stream.append(QByteArrayView(bytes).sliced(pos, std::min(chunk, bytes.size() - pos)));
            while (auto item = stream.next()) {
                FrameEvent ev = decodeFrame(item->frame, format);
                benchmark::DoNotOptimize(ev);
                ++decoded;
            }
        }
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(decoded), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeLiveStream)->Arg(11)->Arg(4096);

} // namespace
