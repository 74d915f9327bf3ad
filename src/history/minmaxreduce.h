#pragma once

#include <QtGlobal>

#include <optional>
#include <utility>
#include <vector>

namespace pexumo {

class HistorySeries;

/// Which line of a series a reduction follows.
enum class HistoryChannel
{
    Value,
    Temperature
};

/// The samples of one pixel column that belong to one piece of line: drawn as a vertical stroke
/// from minY to maxY, entered at firstY and left at lastY.
struct ReducedColumn
{
    int column = 0;      ///< 0 .. columns-1, left to right
    qsizetype first = 0; ///< index of the first sample of the piece in the column
    qsizetype last = 0;  ///< index of its last sample
    float firstY = 0;
    float lastY = 0;
    float minY = 0;
    float maxY = 0;
    /// The line comes here from the previous piece (from Reduction::before for the first one);
    /// false where the line was broken in between.
    bool joined = false;

    friend bool operator==(const ReducedColumn&, const ReducedColumn&) = default;
};

/// A span of a series reduced to pixel columns.
struct Reduction
{
    /// Left to right; a column holds more than one piece only where the line breaks inside it.
    std::vector<ReducedColumn> pieces;
    /// The last sample before the span with a value when the line runs from it into the span (to
    /// the first piece, or straight across to \a after when nothing inside is drawn); -1
    /// otherwise, and also when it lies more than 4096 samples without value away.
    qsizetype before = -1;
    /// The first sample after the span with a value when the line runs on to it; -1 otherwise,
    /// and when it lies more than 4096 samples away.
    qsizetype after = -1;
};

/// Reduces the samples stamped in [\a t0Ms, \a t1Ms] to \a columns pixel columns of equal time:
/// a sample stamped t goes to column floor((t - t0) * columns / (t1 - t0)), the one at t1 to the
/// last column. Per column and piece of line it keeps the first, last, lowest and highest value,
/// so no peak is lost and the drawn shape is the exact one at pixel resolution. The line breaks
/// where the series says so, and no piece is joined across a break. A sample without a value on
/// \a channel (a row without temperature) is left out: the line runs from the sample before it
/// to the one after, unless a break lies between them.
///
/// Finding the span takes O(log n), the rest is one pass over the samples in it plus the
/// columns. An empty span, t1 <= t0, columns outside 1 .. 2^20 or stamps beyond 2^62 ms give no
/// pieces.
Reduction reduceMinMax(const HistorySeries& series, qint64 t0Ms, qint64 t1Ms, int columns,
                       HistoryChannel channel = HistoryChannel::Value);

/// Sample \a i's value on \a channel; NaN where it has none (a row without temperature).
float channelAt(const HistorySeries& series, qsizetype i, HistoryChannel channel);

/// Lowest and highest value a reduction draws, its neighbours outside the span included only when
/// nothing inside is drawn; none when there is nothing at all.
std::optional<std::pair<double, double>>
reducedExtent(const HistorySeries& series, const Reduction& reduction, HistoryChannel channel);

} // namespace pexumo
