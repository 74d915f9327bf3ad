#include "history/timeaxis.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

namespace pexumo {

namespace {

constexpr qint64 Second = 1000;
constexpr qint64 Minute = 60 * Second;
constexpr qint64 Hour = 60 * Minute;
constexpr qint64 Day = 24 * Hour;
constexpr qint64 Week = 7 * Day;
// 1970-01-05, the first Monday after the epoch: weeks are counted from there.
constexpr qint64 MondayAnchor = 4 * Day;

enum class Unit
{
    Fixed, // a whole number of ms
    Month,
    Year
};

struct Step
{
    Unit unit;
    qint64 size; // ms for Fixed, else a count of months or years
};

constexpr std::array FixedSteps{Step{Unit::Fixed, Second},
                                Step{Unit::Fixed, 2 * Second},
                                Step{Unit::Fixed, 5 * Second},
                                Step{Unit::Fixed, 10 * Second},
                                Step{Unit::Fixed, 15 * Second},
                                Step{Unit::Fixed, 30 * Second},
                                Step{Unit::Fixed, Minute},
                                Step{Unit::Fixed, 2 * Minute},
                                Step{Unit::Fixed, 5 * Minute},
                                Step{Unit::Fixed, 10 * Minute},
                                Step{Unit::Fixed, 15 * Minute},
                                Step{Unit::Fixed, 30 * Minute},
                                Step{Unit::Fixed, Hour},
                                Step{Unit::Fixed, 2 * Hour},
                                Step{Unit::Fixed, 3 * Hour},
                                Step{Unit::Fixed, 6 * Hour},
                                Step{Unit::Fixed, 12 * Hour},
                                Step{Unit::Fixed, Day},
                                Step{Unit::Fixed, 2 * Day},
                                Step{Unit::Fixed, Week},
                                Step{Unit::Fixed, 2 * Week},
                                Step{Unit::Month, 1},
                                Step{Unit::Month, 2},
                                Step{Unit::Month, 3},
                                Step{Unit::Month, 6}};

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

qint64 ceilDiv(qint64 a, qint64 b)
{
    return -floorDiv(-a, b);
}

std::chrono::year_month_day dateOf(qint64 localMs)
{
    using namespace std::chrono;
    return year_month_day{sys_days{days{floorDiv(localMs, Day)}}};
}

qint64 monthStartMs(qint64 monthIndex) // months since year 0
{
    using namespace std::chrono;
    const year_month_day ymd{
        year{static_cast<int>(floorDiv(monthIndex, 12))},
        month{static_cast<unsigned>(monthIndex - floorDiv(monthIndex, 12) * 12 + 1)}, day{1}};
    return qint64(sys_days{ymd}.time_since_epoch().count()) * Day;
}

QString twoDigits(qint64 v)
{
    return QString::number(v).rightJustified(2, u'0');
}

QString dateText(const std::chrono::year_month_day& ymd, Unit unit)
{
    QString text = QString::number(static_cast<int>(ymd.year())).rightJustified(4, u'0');
    if (unit == Unit::Year)
        return text;
    text += u'-' + twoDigits(static_cast<unsigned>(ymd.month()));
    if (unit == Unit::Month)
        return text;
    return text + u'-' + twoDigits(static_cast<unsigned>(ymd.day()));
}

// Local tick instants of a step within [local0, local1], at most limit + 1 of them (enough to
// tell that a step has too many).
std::vector<qint64> placeTicks(Step step, qint64 local0, qint64 local1, int limit)
{
    std::vector<qint64> out;
    const auto room = static_cast<std::size_t>(limit) + 1;
    if (step.unit == Unit::Fixed) {
        const qint64 anchor = step.size % Week == 0 ? MondayAnchor : 0;
        if ((local1 - local0) / step.size > limit)
            return std::vector<qint64>(room);
        for (qint64 t = ceilDiv(local0 - anchor, step.size) * step.size + anchor;
             t <= local1 && out.size() < room; t += step.size)
            out.push_back(t);
        return out;
    }
    const qint64 monthsPerStep = step.unit == Unit::Month ? step.size : step.size * 12;
    // A month is at least 28 days: too many ticks can be told without placing them.
    if ((local1 - local0) / (28 * Day * monthsPerStep) > limit)
        return std::vector<qint64>(room);
    const auto first = dateOf(local0);
    qint64 month =
        qint64(static_cast<int>(first.year())) * 12 + static_cast<unsigned>(first.month()) - 1;
    if (monthStartMs(month) < local0)
        ++month;
    month = ceilDiv(month, monthsPerStep) * monthsPerStep;
    for (qint64 t = monthStartMs(month); t <= local1 && out.size() < room;
         month += monthsPerStep, t = monthStartMs(month))
        out.push_back(t);
    return out;
}

} // namespace

TimeTicks timeTicks(qint64 t0Ms, qint64 t1Ms, qint32 utcOffsetSec, int maxTicks)
{
    TimeTicks result;
    maxTicks = std::max(maxTicks, 2);
    if (t1Ms < t0Ms)
        return result;
    const qint64 offsetMs = qint64(utcOffsetSec) * Second;
    const qint64 local0 = t0Ms + offsetMs;
    const qint64 local1 = t1Ms + offsetMs;

    std::vector<qint64> local;
    Step chosen{Unit::Year, 1};
    bool found = false;
    for (const Step& step : FixedSteps) {
        local = placeTicks(step, local0, local1, maxTicks);
        if (static_cast<int>(local.size()) <= maxTicks) {
            chosen = step;
            found = true;
            break;
        }
    }
    // Years: 1, 2, 5, 10, 20, 50, ... until the span fits.
    for (qint64 decade = 1; !found && decade <= 1'000'000; decade *= 10) {
        for (const qint64 factor : {1, 2, 5}) {
            chosen = Step{Unit::Year, decade * factor};
            local = placeTicks(chosen, local0, local1, maxTicks);
            if (static_cast<int>(local.size()) <= maxTicks) {
                found = true;
                break;
            }
        }
    }
    if (!found)
        return result;

    const bool subDay = chosen.unit == Unit::Fixed && chosen.size < Day;
    result.stepMs = chosen.unit == Unit::Fixed   ? chosen.size
                    : chosen.unit == Unit::Month ? chosen.size * 30 * Day
                                                 : chosen.size * 365 * Day;
    qint64 lastDay = 0;
    for (std::size_t k = 0; k < local.size(); ++k) {
        const qint64 t = local[k];
        TimeTick tick;
        tick.ms = t - offsetMs;
        const qint64 dayNumber = floorDiv(t, Day);
        if (subDay) {
            const qint64 inDay = t - dayNumber * Day;
            tick.time = twoDigits(inDay / Hour) + u':' + twoDigits(inDay / Minute % 60);
            if (chosen.size < Minute)
                tick.time += u':' + twoDigits(inDay / Second % 60);
        }
        if (!subDay || k == 0 || dayNumber != lastDay)
            tick.date = dateText(dateOf(t), chosen.unit);
        lastDay = dayNumber;
        result.ticks.push_back(std::move(tick));
    }
    return result;
}

ValueTicks valueTicks(double lo, double hi, int maxTicks)
{
    ValueTicks result;
    maxTicks = std::max(maxTicks, 2);
    if (!std::isfinite(lo) || !std::isfinite(hi) || hi < lo)
        return result;
    const double span = hi - lo;
    // The smallest 1-2-5 step whose ticks within [lo, hi] number at most maxTicks, searched from
    // a decade below span / maxTicks; a zero span holds one tick at most, so any step does.
    const double decade = span > 0 ? std::floor(std::log10(span / maxTicks)) - 1 : 0;
    const auto count = [&](double s) { return std::floor(hi / s) - std::ceil(lo / s) + 1; };
    constexpr std::array<double, 3> Mantissas{1, 2, 5};
    double step = 0;
    for (int i = 0;; ++i) {
        step = Mantissas[static_cast<std::size_t>(i % 3)] * std::pow(10.0, decade + i / 3);
        if (count(step) <= maxTicks)
            break;
    }
    result.step = step;
    for (double k = std::ceil(lo / step); k * step <= hi; k += 1)
        result.values.push_back(k * step);
    return result;
}

std::pair<double, double> paddedRange(double lo, double hi)
{
    if (hi > lo) {
        const double pad = (hi - lo) * 5.0 / 90.0;
        return {lo - pad, hi + pad};
    }
    const double half = lo != 0 ? std::abs(lo) * 0.05 : 1.0;
    return {lo - half, hi + half};
}

} // namespace pexumo
