#pragma once

#include <QString>
#include <QtGlobal>

namespace pexumo {

/// The meter's latest live reading, as the main window keeps it. A live frame writes all six
/// fields together; the sampling tick reads them.
struct CurrentReading
{
    /// "pH", "ORP", "COND", "TDS", "Salt", "DO", "O2"; empty before the first reading
    QString FMeasType;
    /// Unsigned value text, in the process's number format
    QString FMeasValue = QStringLiteral("0");
    /// Temperature text
    QString FMeasTemp = QStringLiteral("0");
    /// "pH", "mV", "us", "ms", "ppm", "ppt", "mg/L", "%"
    QString FMeasUnit;
    /// "C" or "F"
    QString FTempUnit;
    /// +1, or -1 for a negative value
    qint32 FValueSign = 1;

    friend bool operator==(const CurrentReading&, const CurrentReading&) = default;
};

} // namespace pexumo
