#pragma once

#include <QString>
#include <QtGlobal>

namespace pexumo {

/// The meter's latest live reading, as the main window keeps it. A live frame writes all six
/// fields together; the sampling tick reads them.
struct CurrentReading
{
    QString FMeasType;        ///< "pH", "ORP", "COND", "TDS", "Salt", "DO", "O2"; empty before the first reading
    QString FMeasValue = "0"; ///< unsigned value text, in the process's number format
    QString FMeasTemp = "0";  ///< temperature text
    QString FMeasUnit;        ///< "pH", "mV", "us", "ms", "ppm", "ppt", "mg/L", "%"
    QString FTempUnit;        ///< "C" or "F"
    qint32 FValueSign = 1;    ///< +1, or -1 for a negative value

    friend bool operator==(const CurrentReading&, const CurrentReading&) = default;
};

} // namespace pexumo
