#pragma once

namespace pexumo {

/// Points kept by each dashboard chart.
inline constexpr int SmallChartWindow = 11;
/// Points kept by each parameter page's chart.
inline constexpr int BigChartWindow = 26;

/// Appends \a y to a series that keeps at most \a window points, oldest dropped first.
///
/// While the series is filling, a point's X is the count before the append, so the first points
/// sit at X = 0, 1, 2, ... Once full, the oldest point goes and the new one is placed one step
/// (the distance between the two oldest points, taken before the removal) after the last, so X
/// keeps counting samples and a full window always spans the latest \a window sample numbers.
///
/// Series needs: int count(), double x(int i), add(double y) (X = count before the call),
/// addXY(double x, double y), removeFirst().
template <class Series> void AddWindowedPoint(Series& s, int window, double y)
{
    if (s.count() < window) {
        s.add(y);
        return;
    }
    // A window below 2 has no two points to take a step from; one sample apart then.
    const double step = s.count() >= 2 ? s.x(1) - s.x(0) : 1.0;
    while (s.count() >= window && s.count() > 0)
        s.removeFirst();
    const double lastX = s.count() > 0 ? s.x(s.count() - 1) : -step;
    s.addXY(lastX + step, y);
}

} // namespace pexumo
