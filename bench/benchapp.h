#pragma once

#include "link/meterframe.h"

#include <QApplication>

#include <array>
#include <fstream>
#include <string>

namespace pexumo::bench {

/// The application object the widget benchmarks need. It is made by the benchmark program's
/// main (bench/main.cpp) before any case runs, offscreen unless a platform was asked for.
inline QApplication& ensureApp()
{
    return *qobject_cast<QApplication*>(QCoreApplication::instance());
}

/// Resident memory of this process in MB, as /proc/self/status tells it.
inline double residentMegabytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

/// A live frame of each route in turn (pH, pH in mV, COND in ms, TDS, Salt in ppt, DO, O2 in
/// Fahrenheit), so that a run of them fills every list and chart.
inline const std::array<MeterFrame, 7>& everyRoute()
{
    static const std::array<MeterFrame, 7> frames{
        encodeFrame(0, 712, 253, 13, false, false, false),
        encodeFrame(0, 1205, 250, 16, true, false, false),
        encodeFrame(0, 141, 251, 3, false, false, false),
        encodeFrame(0, 250, 249, 6, false, false, false),
        encodeFrame(0, 120, 252, 11, false, false, false),
        encodeFrame(0, 815, 248, 18, false, false, false),
        encodeFrame(0, 954, 771, 20, false, true, false),
    };
    return frames;
}

} // namespace pexumo::bench
