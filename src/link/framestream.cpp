#include "link/framestream.h"

#include <cstring>

namespace pexumo {

namespace {
constexpr char kHeader0 = '\x0F';
constexpr char kHeader1 = '\xFF';
constexpr char kTrailer0 = '\x0F';
constexpr char kTrailer1 = '\xFD';
constexpr auto kSize = static_cast<qsizetype>(kFrameSize);
} // namespace

void FrameStream::append(QByteArrayView bytes)
{
    // Drop what was handed out before growing, so the buffer stays about one chunk long.
    if (m_pos > 0) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
    m_buffer.append(bytes.data(), bytes.size());
}

std::optional<FrameStream::Item> FrameStream::next()
{
    const char* data = m_buffer.constData();
    const qsizetype size = m_buffer.size();
    // Only a position with all eleven bytes present can be judged; a later one may still become
    // a frame start when more bytes arrive, so the scan stops there.
    while (m_pos + kSize <= size) {
        const char* p = data + m_pos;
        if (p[0] == kHeader0 && p[1] == kHeader1 && p[9] == kTrailer0 && p[10] == kTrailer1) {
            // The skipped run is reported once its end is known, which keeps runs independent
            // of how the input was chunked.
            if (m_skippedRun > 0) {
                Item item{Item::Kind::Skipped, {}, m_skippedRun};
                m_skippedRun = 0;
                return item;
            }
            Item item;
            std::memcpy(item.frame.data(), p, kFrameSize);
            m_pos += kSize;
            return item;
        }
        // Not a frame start: jump to the next 0F that could be one.
        const qsizetype last = size - kSize; // last position that can be judged now
        const void* hit = std::memchr(p + 1, kHeader0, static_cast<std::size_t>(last - m_pos));
        const qsizetype nextPos = hit ? static_cast<const char*>(hit) - data : last + 1;
        m_skippedRun += nextPos - m_pos;
        m_totalSkipped += nextPos - m_pos;
        m_pos = nextPos;
    }
    return std::nullopt;
}

std::optional<FrameStream::Item> FrameStream::finish()
{
    const qsizetype rest = m_skippedRun + (m_buffer.size() - m_pos);
    m_totalSkipped += m_buffer.size() - m_pos;
    m_buffer.clear();
    m_pos = 0;
    m_skippedRun = 0;
    if (rest == 0)
        return std::nullopt;
    return Item{Item::Kind::Skipped, {}, rest};
}

qsizetype FrameStream::pending() const
{
    return m_skippedRun + (m_buffer.size() - m_pos);
}

} // namespace pexumo
