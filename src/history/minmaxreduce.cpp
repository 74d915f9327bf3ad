#include "history/minmaxreduce.h"

#include "history/historyseries.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pexumo {

namespace {

// Columns beyond this are refused: the boundary arithmetic below stays exact in 64 bits up to
// there, and no screen or export is wider.
constexpr int MaxColumns = 1 << 20;
// About 146 million years either side of 1970: t1 - t0 and the sums below cannot overflow.
constexpr qint64 MaxStampMs = qint64(1) << 62;

// The first stamp that falls into column c + 1 or later: t0 + ceil((c + 1) * span / columns),
// computed without overflow as quotient and remainder parts.
class ColumnBounds
{
public:
    ColumnBounds(qint64 t0, qint64 t1, int columns)
        : m_t0(t0), m_t1(t1), m_columns(columns), m_quot((t1 - t0) / columns),
          m_rem((t1 - t0) % columns)
    {
    }

    qint64 nextAfter(int c) const
    {
        // The last column takes t1 itself.
        if (c + 1 >= m_columns)
            return m_t1 == std::numeric_limits<qint64>::max() ? m_t1 : m_t1 + 1;
        const qint64 a = c + 1;
        return m_t0 + a * m_quot + (a * m_rem + m_columns - 1) / m_columns;
    }

private:
    qint64 m_t0;
    qint64 m_t1;
    qint64 m_columns;
    qint64 m_quot;
    qint64 m_rem;
};

// How far the line is followed beyond the span's edges through samples without a value on the
// channel: a list without temperatures would otherwise be searched to its start at every repaint.
constexpr qsizetype LookAround = HistorySeries::BlockCapacity;

// The line as the pass has it after a sample.
struct LineState
{
    bool open = false;         ///< a drawn sample precedes, and the line runs on from it
    bool breakPending = false; ///< broken after the last drawn sample, at a sample without value
    bool joinedFromBefore = false; ///< the first piece joins the sample before the span
};

// The pass over the samples in [lo, hi), for one channel. The piece being built lives in locals
// (not in the vector) so that the loop keeps it in registers.
template <HistoryChannel Channel>
void reduceSpan(const HistorySeries& series, qsizetype lo, qsizetype hi, const ColumnBounds& bounds,
                LineState& line, std::vector<ReducedColumn>& pieces)
{
    const std::vector<qsizetype>& breaks = series.breaks();
    auto nextBreak = std::lower_bound(breaks.begin(), breaks.end(), lo);
    constexpr qsizetype NoBreak = std::numeric_limits<qsizetype>::max();
    int column = 0;
    qint64 next = bounds.nextAfter(0);
    ReducedColumn piece{-1, 0, 0, 0, 0, 0, 0, false};

    for (qsizetype b = series.blockOf(lo); b < series.blockCount(); ++b) {
        const HistorySeries::Block block = series.block(b);
        const HistorySeries::Packed* samples = block.samples;
        const qsizetype from = std::max(lo, block.first) - block.first;
        const qsizetype to = std::min(hi, block.first + block.count) - block.first;
        // Offsets from the block's base below which samples stay in the current column.
        qint64 limit = next - block.baseMs;
        qsizetype breakAt = nextBreak != breaks.end() ? *nextBreak - block.first : NoBreak;
        const auto valueOf = [](const HistorySeries::Packed& q) {
            return Channel == HistoryChannel::Value ? q.value : q.temp;
        };
        for (qsizetype j = from; j < to;) {
            // One sample the long way: a new column, a break or a missing value.
            const HistorySeries::Packed& p = samples[j];
            if (qint64(p.offsetMs) >= limit) {
                const qint64 t = block.baseMs + p.offsetMs;
                do {
                    ++column;
                    next = bounds.nextAfter(column);
                } while (t >= next);
                limit = next - block.baseMs;
            }
            bool broken = line.breakPending;
            line.breakPending = false;
            if (j == breakAt) {
                broken = true;
                ++nextBreak;
                breakAt = nextBreak != breaks.end() ? *nextBreak - block.first : NoBreak;
            }
            const float y = valueOf(p);
            ++j;
            if (std::isnan(y)) {
                // Skipped; a break here still parts the samples on either side.
                line.breakPending = broken;
                continue;
            }
            const bool joined = line.open && !broken;
            if (piece.column == column && joined) {
                piece.last = block.first + j - 1;
                piece.lastY = y;
                piece.minY = std::min(piece.minY, y);
                piece.maxY = std::max(piece.maxY, y);
            } else {
                if (piece.column >= 0)
                    pieces.push_back(piece);
                else
                    line.joinedFromBefore = joined;
                const qsizetype i = block.first + j - 1;
                piece = ReducedColumn{column, i, i, y, y, y, y, joined};
            }
            line.open = true;

            // Then the run that follows in the same column, unbroken and with values: the
            // common case, kept to a load, two compares and min/max per sample.
            const qsizetype stop = std::min(to, breakAt);
            float lo = piece.minY;
            float hi = piece.maxY;
            qsizetype k = j;
            for (; k < stop; ++k) {
                const HistorySeries::Packed& q = samples[k];
                const float v = valueOf(q);
                if (qint64(q.offsetMs) >= limit || std::isnan(v))
                    break;
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            if (k > j) {
                piece.last = block.first + k - 1;
                piece.lastY = valueOf(samples[k - 1]);
                piece.minY = lo;
                piece.maxY = hi;
                j = k;
            }
        }
        if (block.first + block.count >= hi)
            break;
    }
    if (piece.column >= 0)
        pieces.push_back(piece);
}

} // namespace

Reduction reduceMinMax(const HistorySeries& series, qint64 t0Ms, qint64 t1Ms, int columns,
                       HistoryChannel channel)
{
    Reduction out;
    if (columns < 1 || columns > MaxColumns || t1Ms <= t0Ms || t0Ms < -MaxStampMs ||
        t1Ms > MaxStampMs || series.isEmpty())
        return out;
    const qsizetype lo = series.lowerBound(t0Ms);
    const qsizetype hi = series.upperBound(t1Ms);

    const std::vector<qsizetype>& breaks = series.breaks();
    const auto hasValue = [&](qsizetype i) { return !std::isnan(channelAt(series, i, channel)); };

    // The nearest sample before the span with a value and no break after it up to the span.
    const auto breakUpTo = std::upper_bound(breaks.begin(), breaks.end(), lo);
    const qsizetype lineStart = breakUpTo == breaks.begin() ? 0 : *std::prev(breakUpTo);
    qsizetype before = -1;
    for (qsizetype k = lo - 1; k >= std::max(lineStart, lo - LookAround); --k) {
        if (hasValue(k)) {
            before = k;
            break;
        }
    }

    LineState line;
    line.open = before >= 0;
    if (lo < hi) {
        out.pieces.reserve(static_cast<std::size_t>(std::min<qsizetype>(hi - lo, columns) + 1));
        const ColumnBounds bounds(t0Ms, t1Ms, columns);
        if (channel == HistoryChannel::Value)
            reduceSpan<HistoryChannel::Value>(series, lo, hi, bounds, line, out.pieces);
        else
            reduceSpan<HistoryChannel::Temperature>(series, lo, hi, bounds, line, out.pieces);
    }

    // The nearest sample after the span with a value, when the line runs on to it.
    if (line.open && !line.breakPending) {
        const qsizetype end = std::min(series.size(), hi + LookAround);
        for (qsizetype k = hi; k < end && !series.breaksBefore(k); ++k) {
            if (hasValue(k)) {
                out.after = k;
                break;
            }
        }
    }
    // With nothing drawn inside, the line crosses the whole span from before to after or not at
    // all.
    if (out.pieces.empty() ? out.after >= 0 : line.joinedFromBefore)
        out.before = before;
    return out;
}

float channelAt(const HistorySeries& series, qsizetype i, HistoryChannel channel)
{
    if (channel == HistoryChannel::Value)
        return series.valueAt(i);
    return series.temperatureAt(i).value_or(std::numeric_limits<float>::quiet_NaN());
}

std::optional<std::pair<double, double>> reducedExtent(const HistorySeries& series,
                                                       const Reduction& r, HistoryChannel channel)
{
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (const ReducedColumn& c : r.pieces) {
        lo = std::min<double>(lo, c.minY);
        hi = std::max<double>(hi, c.maxY);
    }
    if (r.pieces.empty()) {
        for (const qsizetype i : {r.before, r.after}) {
            if (i >= 0) {
                lo = std::min<double>(lo, channelAt(series, i, channel));
                hi = std::max<double>(hi, channelAt(series, i, channel));
            }
        }
    }
    if (!(lo <= hi) || !std::isfinite(lo) || !std::isfinite(hi))
        return std::nullopt;
    return std::pair{lo, hi};
}

} // namespace pexumo
