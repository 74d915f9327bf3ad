#pragma once

#include <QString>
#include <QtGlobal>

#include <utility>
#include <vector>

namespace pexumo {

/// One mark on the time axis of the history view.
struct TimeTick
{
    qint64 ms = 0; ///< UTC ms since 1970
    /// "HH:mm:ss" for steps below a minute, "HH:mm" below a day, empty for longer steps.
    QString time;
    /// Where the local date changes (and at the first tick): "yyyy-MM-dd" for steps up to two
    /// weeks, "yyyy-MM" for month steps, "yyyy" for year steps; empty elsewhere.
    QString date;

    friend bool operator==(const TimeTick&, const TimeTick&) = default;
};

struct TimeTicks
{
    /// The step in ms; for month and year steps that of 30 and 365 days, a measure of size only.
    qint64 stepMs = 0;
    std::vector<TimeTick> ticks;
};

/// Ticks for a time axis from \a t0Ms to \a t1Ms (UTC ms), placed and labelled in the local time
/// \a utcOffsetSec seconds ahead of UTC, at most \a maxTicks of them (at least 2 are allowed).
/// The step is the smallest of 1, 2, 5, 10, 15, 30 s; 1, 2, 5, 10, 15, 30 min; 1, 2, 3, 6, 12 h;
/// 1, 2 days; 1, 2 weeks (from Monday); 1, 2, 3, 6 months; 1, 2, 5, 10, ... years that keeps
/// the count within \a maxTicks. Ticks fall on round local times: minutes on :00 seconds, hours
/// on the hour, days at midnight (two-day steps on even days counted from 1970-01-01), weeks on
/// Mondays, months and years on their first day.
TimeTicks timeTicks(qint64 t0Ms, qint64 t1Ms, qint32 utcOffsetSec, int maxTicks);

/// Ticks for a value axis.
struct ValueTicks
{
    double step = 0; ///< 1, 2 or 5 times a power of ten
    std::vector<double> values;
};

/// Ticks at whole multiples of a step of 1, 2 or 5 times a power of ten within [\a lo, \a hi],
/// the smallest step that gives at most \a maxTicks (at least 2 are allowed). Nothing for an
/// empty or non-finite range.
ValueTicks valueTicks(double lo, double hi, int maxTicks);

/// The axis range around [\a lo, \a hi] with 5/90 of the span free on each side, so the samples
/// fill the band from 5 % to 95 % of the plot, as on the trend charts. A single value gets 5 % of
/// itself either side (1 either side of 0).
std::pair<double, double> paddedRange(double lo, double hi);

} // namespace pexumo
