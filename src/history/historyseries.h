#pragma once

#include <QtGlobal>

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace pexumo {

/// Every sample of one result list since the start of the run, as the history view draws it:
/// the instant, the plotted value and the temperature, in 12 bytes a sample.
///
/// Sample i is the i-th row of the list in order of adding (ResultListModel::recordInOrder(i)),
/// so a view can ask the list for the row's own texts. The line of a list can be lost (a pulled
/// cable): breakLine() marks that the next sample starts a new piece of line, and breaks() lists
/// those places.
///
/// Storage: blocks of up to BlockCapacity samples, each sample a 32-bit distance in ms from its
/// block's first stamp plus the value and the temperature as float (7 significant digits, more
/// than the meter shows; the exact text stays with the list). A block never spans more than
/// 2^32 ms (49 days): a later sample opens a new block. Blocks are allocated at full size, so at
/// most one block (48 KiB) is ever unused, whatever the number of samples.
///
/// Stamps never decrease: a sample stamped earlier than the one before it (the clock was set
/// back) is stored at the earlier sample's instant, so the time axis keeps the order of the list.
/// A row without an instant (stamp 0, kept by runs from before rows were stamped) is placed at
/// the instant of the sample before it, or, at the start, of the first sample that has one.
class HistorySeries
{
public:
    /// One stored sample: ms after its block's base stamp, the value, the temperature (NaN: none).
    struct Packed
    {
        quint32 offsetMs;
        float value;
        float temp;
    };

    /// A run of consecutive samples sharing one base stamp, for walking the series fast.
    struct Block
    {
        qint64 baseMs = 0;     ///< stamp of the block's first sample, UTC ms since 1970
        qsizetype first = 0;   ///< index of the block's first sample in the series
        qsizetype count = 0;   ///< samples in the block
        const Packed* samples; ///< \a count samples
    };

    static constexpr qsizetype BlockCapacity = 4096;

    HistorySeries() = default;
    HistorySeries(HistorySeries&&) noexcept = default;
    HistorySeries& operator=(HistorySeries&&) noexcept = default;

    /// Adds the next row's sample: \a stampMs in UTC ms since 1970 (ResultRecord::StampMs),
    /// \a value as plotted (SamplePlan::y), the temperature when the row has one, and the local
    /// offset from UTC that held then (ResultRecord::UtcOffsetSec).
    void append(qint64 stampMs, double value, std::optional<double> temp = std::nullopt,
                qint32 utcOffsetSec = 0);

    /// The line is broken here: the next sample appended starts a new piece of line. Nothing
    /// happens on an empty series or when the line is already broken.
    void breakLine();

    /// Removes every sample (a new run).
    void clear();

    /// Makes room for the block list of \a samples samples; blocks themselves are allocated as
    /// they fill.
    void reserve(qsizetype samples);

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }

    qint64 stampAt(qsizetype i) const
    {
        const auto [b, j] = locate(i);
        return m_blocks[b].baseMs + m_blocks[b].data[j].offsetMs;
    }
    float valueAt(qsizetype i) const
    {
        const auto [b, j] = locate(i);
        return m_blocks[b].data[j].value;
    }
    /// The temperature of sample \a i; none when the row had none.
    std::optional<float> temperatureAt(qsizetype i) const
    {
        const auto [b, j] = locate(i);
        const float t = m_blocks[b].data[j].temp;
        return std::isnan(t) ? std::nullopt : std::optional<float>(t);
    }
    /// The local offset from UTC, in seconds, that held when sample \a i was made.
    qint32 utcOffsetAt(qsizetype i) const;

    /// Sorted sample indexes i where the line is broken before sample i (never 0).
    const std::vector<qsizetype>& breaks() const { return m_breaks; }
    bool breaksBefore(qsizetype i) const;

    /// The first sample stamped at or after \a ms; size() when none.
    qsizetype lowerBound(qint64 ms) const;
    /// The first sample stamped after \a ms; size() when none.
    qsizetype upperBound(qint64 ms) const;
    /// The sample whose stamp is nearest to \a ms (the earliest of equals, the earlier one of
    /// two at the same distance); -1 on an empty series.
    qsizetype indexNear(qint64 ms) const;

    qsizetype blockCount() const { return static_cast<qsizetype>(m_blocks.size()); }
    Block block(qsizetype b) const
    {
        const Storage& s = m_blocks[static_cast<std::size_t>(b)];
        return Block{s.baseMs, s.first, s.count, s.data.get()};
    }
    /// The block that holds sample \a i.
    qsizetype blockOf(qsizetype i) const { return static_cast<qsizetype>(locate(i).first); }

    /// Heap bytes the series holds: blocks at their full size, the block list, breaks and
    /// offset changes.
    qsizetype bytesUsed() const;

private:
    struct Storage
    {
        qint64 baseMs = 0;
        qsizetype first = 0;
        qsizetype count = 0;
        std::unique_ptr<Packed[]> data;
    };

    // Block and position in it of sample i. Blocks are full except where a long pause opened a
    // new one early, so the block is usually i / BlockCapacity and otherwise found by search.
    std::pair<std::size_t, qsizetype> locate(qsizetype i) const
    {
        Q_ASSERT(i >= 0 && i < m_size);
        auto b = static_cast<std::size_t>(i / BlockCapacity);
        if (b >= m_blocks.size() || m_blocks[b].first > i ||
            i >= m_blocks[b].first + m_blocks[b].count)
            b = searchBlock(i);
        return {b, i - m_blocks[b].first};
    }
    std::size_t searchBlock(qsizetype i) const;

    std::vector<Storage> m_blocks;
    std::vector<qsizetype> m_breaks;
    /// (first sample, offset) wherever the UTC offset changed, the first entry at sample 0.
    std::vector<std::pair<qsizetype, qint32>> m_offsets;
    qsizetype m_size = 0;
    qint64 m_lastStamp = 0;
    bool m_breakPending = false;
};

} // namespace pexumo
