#pragma once

#include "acquire/windowedseries.h"
#include "results/listid.h"
#include "results/resultrecord.h"

#include <array>
#include <deque>
#include <vector>

namespace pexumo {

/// The last points of a chart after \a total samples: \a ys holds the last min(total, window + 1)
/// of them, oldest first (one more than the window, so that the chart can be left exactly as
/// that many sampling ticks would have left it).
struct ChartTail
{
    std::vector<double> ys;
    qint64 total = 0;
};

/// What the charts showed at the end of a run, worked out from its rows in the order they were
/// added: each parameter's small and big chart, and the temperature chart, which takes a point
/// from every sample that has a temperature, whatever its list.
class ChartTails
{
public:
    /// Takes the next row of \a list (records are ignored: they have no chart).
    void take(ListId list, const ResultRecord& row);

    ChartTail small(Parameter parameter) const { return tail(parameter, SmallChartWindow); }
    ChartTail big(Parameter parameter) const { return tail(parameter, BigChartWindow); }
    ChartTail temperature() const;

private:
    ChartTail tail(Parameter parameter, int window) const;

    std::array<std::deque<ResultRecord>, ParameterCount> m_rows;
    std::array<qint64, ParameterCount> m_totals{};
    std::deque<ResultRecord> m_temps;
    qint64 m_tempTotal = 0;
};

} // namespace pexumo
