// Drives the history's axis functions with arbitrary ranges (any doubles: huge, tiny, denormal,
// infinite, NaN; any span in ms, any offset and tick count) and checks that each ends, that the
// value ticks are at most as many as asked for, ascend and lie within the range, that a range
// widened to its smallest span is at least that wide, and that the time ticks do the same.

#include "history/timeaxis.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

template <class T> T take(const std::uint8_t*& data, std::size_t& size)
{
    T value{};
    if (size >= sizeof value) {
        std::memcpy(&value, data, sizeof value);
        data += sizeof value;
        size -= sizeof value;
    }
    return value;
}

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace pexumo;
    const double lo = take<double>(data, size);
    const double hi = take<double>(data, size);
    const double resolution = take<double>(data, size);
    const int maxTicks = take<std::uint8_t>(data, size) % 64;
    // Stamps within about 7900 years of 1970, as far as the calendar's arithmetic reaches.
    constexpr qint64 Reach = 250'000'000'000'000;
    const qint64 t0 = take<qint64>(data, size) % Reach;
    const qint64 span = take<qint64>(data, size) % Reach;
    const qint32 offset = take<qint32>(data, size) % (18 * 3600);

    const ValueTicks ticks = valueTicks(lo, hi, maxTicks);
    check(ticks.values.size() <= std::size_t(std::max(maxTicks, 2)));
    for (std::size_t i = 0; i < ticks.values.size(); ++i) {
        check(ticks.values[i] >= lo && ticks.values[i] <= hi);
        check(i == 0 || ticks.values[i] > ticks.values[i - 1]);
    }

    const auto [wideLo, wideHi] = widenToSmallestSpan(lo, hi, resolution);
    if (std::isfinite(lo) && std::isfinite(hi)) {
        check(wideLo <= wideHi);
        const double smallest = smallestValueSpan(lo, hi, resolution);
        // Beyond a double's range the span cannot grow; otherwise it holds the smallest one,
        // less what rounding at the values' size takes off.
        if (std::isfinite(wideHi - wideLo) && std::isfinite(smallest))
            check(wideHi - wideLo >= smallest * (1 - 1e-9) ||
                  wideHi - wideLo >= std::abs(wideLo) * 1e-9);
        const ValueTicks wideTicks = valueTicks(wideLo, wideHi, maxTicks);
        check(wideTicks.values.size() <= std::size_t(std::max(maxTicks, 2)));
    }

    const auto [padLo, padHi] = paddedRange(lo, hi);
    (void)valueTicks(padLo, padHi, maxTicks);

    if (span >= 0) {
        const TimeTicks times = timeTicks(t0, t0 + span, offset, maxTicks);
        check(times.ticks.size() <= std::size_t(std::max(maxTicks, 2)));
        for (std::size_t i = 0; i < times.ticks.size(); ++i) {
            check(times.ticks[i].ms >= t0 && times.ticks[i].ms <= t0 + span);
            check(i == 0 || times.ticks[i].ms > times.ticks[i - 1].ms);
        }
    }
    return 0;
}
