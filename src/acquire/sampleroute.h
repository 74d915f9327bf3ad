#pragma once

#include "base/numberformat.h"
#include "link/currentreading.h"
#include "link/meterframe.h"
#include "results/listid.h"
#include "results/resultrecord.h"

#include <QString>

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

/// Routes a reading by its type (compared exactly, case-sensitively). A pH reading in millivolts
/// goes to the ORP chart and list; ms and ppt are plotted in us and ppm (x 1000) so a range
/// change stays on one scale; only the pH and ORP routes carry the sign into chart and row.
/// Numbers are read with "." or "," as the decimal point, so a reading decoded before the decimal
/// separator changed still plots as its full value. nullopt for an empty or unknown type.
std::optional<SamplePlan> planSample(const CurrentReading& reading);

/// The plan a sampling tick made for \a row of a parameter list, worked out again from the row
/// alone (a pH or ORP value carries its sign as a leading "-"): what its charts showed.
std::optional<SamplePlan> replanRow(const ResultRecord& row);

/// The row of the downloaded-records list for a memory record: its number as TimeOrNo, the value
/// unsigned with the sign apart. The caller stamps it.
ResultRecord memoryRecordRow(std::uint8_t recordNo, const MemoryRecord& record);

} // namespace pexumo
