#pragma once

#include <QString>
#include <QStringView>

namespace pexumo {

/// The longest sampling interval, in seconds: the timer takes milliseconds in a signed 32-bit
/// int, and 2147483 * 1000 is the largest such product that fits.
inline constexpr int MaxIntervalSeconds = 2147483;

/// The outcome of checking the text of the interval box.
struct IntervalCheck
{
    enum class Result
    {
        Ok,         ///< \a seconds is the interval to apply
        NotInteger, ///< not a whole number that fits 32 bits
        OutOfRange, ///< a whole number, but not 1 to MaxIntervalSeconds
    };
    Result result = Result::NotInteger;
    int seconds = 0; ///< the number read; meaningful for Ok and OutOfRange
};

/// Checks an interval text: an optional sign and decimal digits, blanks around it allowed.
/// 0 and negative intervals are refused: a period of 0 would never tick while the run button
/// says "Stop", and a negative one cannot be a timer period.
IntervalCheck checkInterval(QStringView text);

/// The warning text for a refused interval; empty for Ok.
QString intervalMessage(const IntervalCheck& check);

/// The sampling interval last applied in the window (by a Connect that opened the port, or by
/// Set), kept per user in the file of the remembered port (see PortMemory), group [Run]:
///
///     Interval=5      seconds, as the interval box takes them
///
/// pexumo-logger starts with it. 1 when none is kept or the kept text is no valid interval.
int rememberedInterval();

/// Keeps \a seconds for the next start. False when the file could not be written; \a error
/// then names it.
bool rememberInterval(int seconds, QString* error = nullptr);

} // namespace pexumo
