#pragma once

#include "link/meterframe.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace pexumo {

/// Cuts the meter's byte stream into frames. Bytes may arrive in any chunks. A frame starts at the
/// earliest position where 0F FF stands and 0F FD stands nine bytes later; bytes before such a
/// position are discarded and reported as one skipped run. A partial frame waits for the rest.
/// Any split of the same input into chunks gives the same items.
class FrameStream
{
public:
    struct Item
    {
        enum class Kind
        {
            Frame,
            Skipped
        } kind = Kind::Frame;
        MeterFrame frame{};    ///< Kind::Frame
        qsizetype skipped = 0; ///< Kind::Skipped: bytes discarded in this run
    };

    /// Adds received bytes.
    void append(QByteArrayView bytes);
    /// The next complete frame or skipped run, in stream order; nullopt when more bytes are needed.
    std::optional<Item> next();
    /// End of input: the bytes still waiting make no whole frame. Returns them as a skipped run
    /// (nullopt when nothing waits) and empties the stream.
    std::optional<Item> finish();

    /// Bytes received but not yet handed out as a frame or a skipped run (call finish() only once
    /// next() has returned nullopt: a whole frame still waiting would be counted as skipped).
    qsizetype pending() const;
    /// Bytes held in memory, including handed-out bytes not yet dropped.
    qsizetype bufferedBytes() const { return m_buffer.size(); }
    /// All bytes discarded so far.
    qint64 totalSkipped() const { return m_totalSkipped; }

private:
    QByteArray m_buffer;
    qsizetype m_pos = 0;        ///< start of the bytes not yet handed out
    qsizetype m_skippedRun = 0; ///< bytes discarded since the last frame, not yet reported
    qint64 m_totalSkipped = 0;
};

} // namespace pexumo
