#pragma once

#include "base/numberformat.h"
#include "link/currentreading.h"
#include "link/meterframe.h"
#include "results/listid.h"
#include "results/resultrecord.h"

#include <QAnyStringView>
#include <QString>
#include <QUtf8StringView>

#include <optional>

namespace pexumo {

/// What one sampling tick does with the current reading: the chart and list it goes to, the
/// point to plot, the row to insert and the dashboard read-out.
struct SamplePlan
{
    Parameter target;     ///< the charts and the list that receive the sample
    double y = 0;         ///< the value plotted on both charts of \a target
    ResultRecord row;     ///< the new top row; TimeOrNo is left empty for the caller
    bool hasTemp = false; ///< false for a millivolt reading: no temperature point, read-out emptied
    double tempY = 0;     ///< the temperature point, in the reading's own unit (C or F)
    QString readoutValue; ///< the value text of the read-out, "-" in front for a negative sign
};

/// Where a reading of a type and unit goes and how its value is drawn.
struct SampleRoute
{
    Parameter target = Parameter::PH; ///< the charts and the list that receive it
    bool signedValue = false; ///< the pH and ORP routes carry the sign into chart and row
    double scale = 1.0;       ///< ms and ppt are drawn in us and ppm: 1000
    bool hasTemp = false;     ///< false for millivolts: no temperature point
    bool dropsTemp = false;   ///< the row keeps no temperature (the ORP route)
};

/// The route of a reading of \a type in \a unit (compared exactly, case-sensitively); none for an
/// empty or unknown type. planSample's and replanRow's own rule.
std::optional<SampleRoute> routeOf(QAnyStringView type, QAnyStringView unit);

/// Routes a reading by its type (compared exactly, case-sensitively). A pH reading in millivolts
/// goes to the ORP chart and list; ms and ppt are plotted in us and ppm (x 1000) so a range
/// change stays on one scale; only the pH and ORP routes carry the sign into chart and row.
/// Numbers are read with "." or "," as the decimal point, so a reading decoded before the decimal
/// separator changed still plots as its full value. nullopt for an empty or unknown type.
std::optional<SamplePlan> planSample(const CurrentReading& reading);

/// The plan a sampling tick made for \a row of a parameter list, worked out again from the row
/// alone (a pH or ORP value carries its sign as a leading "-"): what its charts showed.
std::optional<SamplePlan> replanRow(const ResultRecord& row);

/// What a chart draws of a row: the value and the temperature (none for millivolts).
struct PlotPoint
{
    double y = 0;
    std::optional<double> temp;
};

/// The point replanRow() draws for a row of \a route (routeOf() the row's type and unit), from
/// the row's value and temperature texts as the journal keeps them (UTF-8), read where they lie:
/// a leading "-" of the value is its sign. For the reads of a million rows that only draw.
PlotPoint plotPointOf(const SampleRoute& route, QUtf8StringView value,
                      QUtf8StringView temp);

/// The smallest step the meter's readings of \a parameter take on its charts: 0.01 for pH,
/// 0.1 for ORP (mV), COND (us), TDS and Salt (ppm) and O2 (%), 0.01 for DO.
double plotResolution(Parameter parameter);

/// The row of the downloaded-records list for a memory record: its number as TimeOrNo, the value
/// unsigned with the sign apart. The caller stamps it.
ResultRecord memoryRecordRow(std::uint8_t recordNo, const MemoryRecord& record);

} // namespace pexumo
