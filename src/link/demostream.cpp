#include "link/demostream.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace pexumo {

namespace {

/// One measurement type as the demo shows it; values in the unit of the mode.
struct Stage
{
    int mode;     ///< mode code of the meter's table
    int decimals; ///< 2: digits are hundredths, 1: tenths, 0: whole units
    double centre;
    double drift;  ///< amplitude of the slow sine drift
    double jitter; ///< amplitude of the noise
};

// Typical values of tap water (salinity of sea water), so the read-outs look familiar.
constexpr std::array<Stage, 9> kStages{{
    {13, 2, 7.05, 0.25, 0.02}, // pH, pH
    {14, 1, -18.0, 14.0, 0.4}, // pH, mV: around pH 7.3 the electrode reads slightly negative
    {17, 0, 235.0, 30.0, 2.0}, // ORP, mV
    {2, 0, 640.0, 45.0, 3.0},  // COND, us
    {4, 1, 12.8, 1.2, 0.1},    // COND, ms
    {6, 0, 410.0, 25.0, 2.0},  // TDS, ppm
    {12, 1, 34.8, 0.6, 0.05},  // Salt, ppt
    {18, 2, 8.35, 0.35, 0.03}, // DO, mg/L
    {20, 1, 94.0, 3.5, 0.3},   // O2, %
}};

constexpr double kDriftPeriod = 90.0; ///< seconds of one full drift swing

int digitsOf(double magnitude, int decimals)
{
    const double scaled = std::round(magnitude * std::pow(10.0, decimals));
    return static_cast<int>(std::clamp(scaled, 0.0, 9999.0));
}

} // namespace

DemoStream::DemoStream(quint32 seed) : m_state(seed == 0 ? 0x9E3779B9u : seed) {}

double DemoStream::noise()
{
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return static_cast<double>(m_state) / 2147483648.0 - 1.0;
}

MeterFrame DemoStream::liveFrame(double t)
{
    const auto stageNo = static_cast<qint64>(t / kStagePeriod);
    const Stage& stage = kStages[static_cast<std::size_t>(stageNo % qint64(kStages.size()))];
    const bool fahrenheit = stageNo % 4 == 3;

    const double phase = 2 * std::numbers::pi * t / kDriftPeriod;
    const double value = stage.centre + stage.drift * std::sin(phase) + stage.jitter * noise();
    const double celsius = 23.5 + 1.8 * std::sin(phase / 3) + 0.05 * noise();
    const double temp = fahrenheit ? celsius * 9 / 5 + 32 : celsius;

    return encodeFrame(0, digitsOf(std::abs(value), stage.decimals), digitsOf(temp, 1), stage.mode,
                       value < 0, fahrenheit, false);
}

MeterFrame DemoStream::recordFrame(int recordNo, double t)
{
    // The stored records were taken earlier, a minute apart, each of another type.
    const Stage& stage = kStages[static_cast<std::size_t>(recordNo) % kStages.size()];
    const double taken = t + 60.0 * recordNo;
    const double value = stage.centre + stage.drift * std::sin(2 * std::numbers::pi * taken / 700) +
                         stage.jitter * noise();
    const double celsius = 21.0 + 3.0 * std::sin(taken / 400) + 0.05 * noise();
    // Some records were stored in whole degrees.
    const bool wholeDegrees = recordNo % 5 == 0;
    const int tempDigits = wholeDegrees ? digitsOf(celsius, 0) : digitsOf(celsius, 1);
    return encodeFrame(static_cast<std::uint8_t>(recordNo),
                       digitsOf(std::abs(value), stage.decimals), tempDigits, stage.mode, value < 0,
                       false, wholeDegrees);
}

DemoStream::TimedFrame DemoStream::next()
{
    TimedFrame out;
    out.at = static_cast<double>(m_index) * kFramePeriod;
    const auto firstRecord = static_cast<qint64>(std::ceil(kDownloadStart / kFramePeriod - 1e-9));
    const qint64 recordIndex = m_index - firstRecord;
    if (recordIndex >= 0 && recordIndex < kDownloadRecords)
        out.frame = recordFrame(static_cast<int>(recordIndex) + 1, out.at);
    else
        out.frame = liveFrame(out.at);
    ++m_index;
    return out;
}

QByteArray DemoStream::nextFrames(double seconds)
{
    m_clock += std::max(0.0, seconds);
    QByteArray bytes;
    // A small tolerance so that a clock advanced in exact steps of the period still meets each
    // frame on time despite rounding.
    while (static_cast<double>(m_index) * kFramePeriod <= m_clock + 1e-9) {
        const MeterFrame frame = next().frame;
        bytes.append(reinterpret_cast<const char*>(frame.data()),
                     static_cast<qsizetype>(frame.size()));
    }
    return bytes;
}

} // namespace pexumo
