#pragma once

#include "history/gui/historychart.h"
#include "history/minmaxreduce.h"

namespace pexumo {

/// What the chart draws of one span at one width: the reduced samples of both lines and the
/// ranges of their axes. Kept until the span, the width or the samples change.
struct HistoryChart::View
{
    int columns = 0;
    Reduction value;
    Reduction temp;
    double yMin = 0;
    double yMax = 1;
    double tempMin = 0;
    double tempMax = 1;
};

} // namespace pexumo
