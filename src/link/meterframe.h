#pragma once

#include "base/numberformat.h"
#include "link/currentreading.h"

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>

namespace pexumo {

/// The meter's fixed frame, in the order received:
///   0-1   header 0F FF
///   2     record number: 0 = live reading, 1..255 = a record of the meter's memory (binary)
///   3-4   value digits, packed decimal, high nibble first
///   5-6   temperature digits, packed decimal
///   7     mode byte: bits 0-4 mode code, bit 5 negative value, bit 6 Fahrenheit,
///         bit 7 whole degrees (clear: tenths of a degree)
///   8     spare (only the halt test looks at it)
///   9-10  trailer 0F FD
/// A frame whose bytes 2..8 are all 0x99 is a halt frame.
inline constexpr std::size_t kFrameSize = 11;
using MeterFrame = std::array<std::uint8_t, kFrameSize>;

/// One row of the mode table: codes 1..20 are defined, 0 and 21..31 are not.
struct ModeInfo
{
    const char* type; ///< "COND", "TDS", "Salt", "pH", "ORP", "DO", "O2"
    const char* unit; ///< "us", "ms", "ppm", "ppt", "pH", "mV", "mg/L", "%"
    int decimals;     ///< 0: factor 1 (digits used as they stand); 1: factor 0.1; 2: factor 0.01
};

/// The mode table entry of a code, or nullptr for an undefined code.
const ModeInfo* lookupMode(int code);

/// A record of the meter's memory as its frame holds it; the record number is FrameEvent::recordNo.
/// The run turns it into a row of the records list.
struct MemoryRecord
{
    QString type;  ///< "COND", "TDS", "Salt", "pH", "ORP", "DO", "O2"
    QString value; ///< unsigned, in the process's number format
    QString unit;
    /// Tenths shown only where they are not zero ("25", "25.3"); empty for an electrode voltage
    /// (ORP, or pH shown in mV), which the meter stores without its temperature.
    QString temp;
    QString tempUnit; ///< "C" or "F"; empty with the temperature
    qint32 sign = 0;  ///< +1, or -1 for a negative value; 0 on a frame that is not a record

    friend bool operator==(const MemoryRecord&, const MemoryRecord&) = default;
};

/// What one frame means. The decoder keeps no state: the same frame always decodes the same way
/// under the same number format.
struct FrameEvent
{
    enum class Kind
    {
        Live,   ///< a live reading: `live` holds it
        Record, ///< a memory record: `record` holds the row for the downloaded-records list
        Halt,   ///< the meter halted: stop sampling
        Dropped ///< nothing to apply beyond the timer effect; see `reason`
    };
    enum class DropReason
    {
        None,
        UndefinedMode, ///< mode code 0 or 21..31 (`mode` holds it); the timer effect still applies
        BadDigits,     ///< a value or temperature nibble above 9: the frame is damaged, no effect
        BadFraming     ///< header or trailer wrong (FrameStream never hands out such a frame)
    };
    /// What the frame does to the sampling timer.
    enum class TimerEffect
    {
        None,
        Enable,
        Disable
    };

    Kind kind = Kind::Dropped;
    DropReason reason = DropReason::None;
    TimerEffect timer = TimerEffect::None;
    std::uint8_t recordNo = 0; ///< byte 2
    int mode = 0;              ///< byte 7 & 0x1F
    CurrentReading live;       ///< valid for Kind::Live
    MemoryRecord record;       ///< valid for Kind::Record
};

/// Decodes one frame. Order of the tests: framing (Dropped/BadFraming, no effect), halt (timer
/// Disable), undefined mode code (Dropped/UndefinedMode, with the timer effect of its kind: live
/// Enable, record Disable), damaged digits (Dropped/BadDigits, no effect), then the live reading
/// (timer Enable) or the memory record (timer Disable).
FrameEvent decodeFrame(const MeterFrame& frame, NumberFormat format = NumberFormat::current());

/// True when bytes 0-1 and 9-10 hold the header and trailer.
bool hasFraming(const MeterFrame& frame);

/// Builds a frame from its parts (used by the demo meter, the simulator and tests).
/// \a value and \a temp are the four decimal digits as numbers 0..9999 (clamped to that range);
/// \a mode is the 5-bit mode code (higher bits are masked off).
MeterFrame encodeFrame(std::uint8_t recordNo, int value, int temp, int mode, bool negative,
                       bool fahrenheit, bool wholeDegrees);
/// The halt frame: payload bytes all 0x99.
MeterFrame haltFrame();

} // namespace pexumo
