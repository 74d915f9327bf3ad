#pragma once

#include "link/meterframe.h"

#include <QByteArray>
#include <QtGlobal>

namespace pexumo {

/// A believable byte stream of a meter, for the built-in demo meter and the simulator.
///
/// Frames are due every kFramePeriod seconds of stream time. The live readings walk through the
/// meter's measurement types in turn (pH in pH and in mV, ORP, COND in us and in ms, TDS, Salt,
/// DO, O2), each for kStagePeriod seconds, with a slow drift and a little noise; every fourth
/// stage reports its temperature in Fahrenheit. From kDownloadStart seconds on, kDownloadRecords
/// memory records (numbered 1 up) replace the live frames, and then the live readings go on.
/// The same seed always gives the same bytes.
class DemoStream
{
public:
    static constexpr double kFramePeriod = 0.3;   ///< seconds between frames (3.3 frames/s)
    static constexpr double kStagePeriod = 4.5;   ///< seconds each measurement type is shown
    static constexpr double kDownloadStart = 6.0; ///< stream time of the first memory record
    static constexpr int kDownloadRecords = 20;

    /// A frame and the stream time, in seconds from the start, at which it is due.
    struct TimedFrame
    {
        double at = 0;
        MeterFrame frame{};
    };

    explicit DemoStream(quint32 seed = 1);

    /// The next frame, whatever its time.
    TimedFrame next();
    /// Advances the stream clock by \a seconds and returns the bytes of every frame due by then.
    QByteArray nextFrames(double seconds);
    /// Stream time reached by nextFrames().
    double elapsed() const { return m_clock; }
    /// Number of frames handed out so far.
    qint64 frameCount() const { return m_index; }

private:
    /// Uniform in [-1, 1), from a 32-bit xorshift generator (same sequence on every platform).
    double noise();
    MeterFrame liveFrame(double t);
    MeterFrame recordFrame(int recordNo, double t);

    quint32 m_state;
    qint64 m_index = 0;
    double m_clock = 0;
};

} // namespace pexumo
