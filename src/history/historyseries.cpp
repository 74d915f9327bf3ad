#include "history/historyseries.h"

#include <algorithm>
#include <limits>

namespace pexumo {

namespace {
constexpr qint64 MaxOffsetMs = std::numeric_limits<quint32>::max();
} // namespace

void HistorySeries::append(qint64 stampMs, double value, std::optional<double> temp,
                           qint32 utcOffsetSec)
{
    if (m_size > 0 && m_lastStamp == 0 && stampMs != 0) {
        // Every sample so far had no instant: they take this first one. Their offsets are 0.
        for (Storage& block : m_blocks)
            block.baseMs = stampMs;
    }
    if (m_size > 0)
        stampMs = std::max(stampMs, m_lastStamp);
    if (m_blocks.empty() || m_blocks.back().count == BlockCapacity ||
        stampMs - m_blocks.back().baseMs > MaxOffsetMs) {
        Storage block;
        block.baseMs = stampMs;
        block.first = m_size;
        block.data = std::make_unique<Packed[]>(BlockCapacity);
        m_blocks.push_back(std::move(block));
    }
    Storage& block = m_blocks.back();
    block.data[block.count++] =
        Packed{static_cast<quint32>(stampMs - block.baseMs), static_cast<float>(value),
               temp ? static_cast<float>(*temp) : std::numeric_limits<float>::quiet_NaN()};

    if (m_breakPending)
        m_breaks.push_back(m_size);
    m_breakPending = false;
    if (m_offsets.empty() || m_offsets.back().second != utcOffsetSec)
        m_offsets.emplace_back(m_size, utcOffsetSec);
    m_lastStamp = stampMs;
    ++m_size;
}

void HistorySeries::breakLine()
{
    if (m_size > 0)
        m_breakPending = true;
}

void HistorySeries::clear()
{
    *this = HistorySeries();
}

void HistorySeries::reserve(qsizetype samples)
{
    m_blocks.reserve(static_cast<std::size_t>((samples + BlockCapacity - 1) / BlockCapacity));
}

qint32 HistorySeries::utcOffsetAt(qsizetype i) const
{
    const auto it =
        std::upper_bound(m_offsets.begin(), m_offsets.end(), i,
                         [](qsizetype v, const auto& change) { return v < change.first; });
    return it == m_offsets.begin() ? 0 : std::prev(it)->second;
}

bool HistorySeries::breaksBefore(qsizetype i) const
{
    return std::binary_search(m_breaks.begin(), m_breaks.end(), i);
}

std::size_t HistorySeries::searchBlock(qsizetype i) const
{
    const auto it = std::upper_bound(m_blocks.begin(), m_blocks.end(), i,
                                     [](qsizetype v, const Storage& s) { return v < s.first; });
    return static_cast<std::size_t>(std::prev(it) - m_blocks.begin());
}

qsizetype HistorySeries::lowerBound(qint64 ms) const
{
    // The last block starting before ms holds the answer, or the answer is the next block's first.
    const auto it = std::lower_bound(m_blocks.begin(), m_blocks.end(), ms,
                                     [](const Storage& s, qint64 v) { return s.baseMs < v; });
    if (it == m_blocks.begin())
        return 0;
    const Storage& s = *std::prev(it);
    if (ms - s.baseMs > MaxOffsetMs)
        return s.first + s.count;
    const auto offset = static_cast<quint32>(ms - s.baseMs);
    const Packed* begin = s.data.get();
    const Packed* p = std::lower_bound(begin, begin + s.count, offset,
                                       [](const Packed& a, quint32 v) { return a.offsetMs < v; });
    return s.first + (p - begin);
}

qsizetype HistorySeries::upperBound(qint64 ms) const
{
    return ms == std::numeric_limits<qint64>::max() ? m_size : lowerBound(ms + 1);
}

qsizetype HistorySeries::indexNear(qint64 ms) const
{
    if (m_size == 0)
        return -1;
    const qsizetype after = lowerBound(ms);
    if (after == 0)
        return 0;
    if (after == m_size)
        return lowerBound(stampAt(m_size - 1));
    // The earliest sample of the nearer stamp: equal stamps before `after - 1` are skipped back
    // to their first.
    const qint64 before = stampAt(after - 1);
    if (ms - before <= stampAt(after) - ms)
        return lowerBound(before);
    return after;
}

qsizetype HistorySeries::bytesUsed() const
{
    return static_cast<qsizetype>(
        m_blocks.capacity() * sizeof(Storage) + m_blocks.size() * BlockCapacity * sizeof(Packed) +
        m_breaks.capacity() * sizeof(qsizetype) + m_offsets.capacity() * sizeof(m_offsets[0]));
}

} // namespace pexumo
