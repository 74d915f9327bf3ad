#include "acquire/charttails.h"

#include "acquire/sampleroute.h"

#include <algorithm>

namespace pexumo {

namespace {

/// The chart point a sampling tick drew for \a row of a parameter list: the reading is rebuilt
/// from the row (a pH or ORP value carries its sign as a leading "-") and routed again.
std::optional<SamplePlan> replan(const ResultRecord& row)
{
    CurrentReading reading;
    reading.FMeasType = row.Type;
    reading.FMeasUnit = row.Unit;
    reading.FMeasTemp = row.Temp;
    reading.FTempUnit = row.TempUnit;
    reading.FMeasValue = row.Value;
    reading.FValueSign = 1;
    if (reading.FMeasValue.startsWith(QLatin1Char('-'))) {
        reading.FMeasValue.remove(0, 1);
        reading.FValueSign = -1;
    }
    return planSample(reading);
}

// The big window is the larger: one more row than it is all any chart needs.
constexpr std::size_t KeptRows = std::size_t(std::max(SmallChartWindow, BigChartWindow)) + 1;

} // namespace

void ChartTails::take(ListId list, const ResultRecord& row)
{
    const std::optional<Parameter> parameter = parameterOf(list);
    if (!parameter)
        return;
    const std::size_t i = indexOf(*parameter);
    ++m_totals[i];
    m_rows[i].push_back(row);
    if (m_rows[i].size() > KeptRows)
        m_rows[i].pop_front();
    // Readings in mV (the whole ORP list) have no temperature point.
    if (*parameter == Parameter::ORP)
        return;
    ++m_tempTotal;
    m_temps.push_back(row);
    if (m_temps.size() > std::size_t(SmallChartWindow) + 1)
        m_temps.pop_front();
}

ChartTail ChartTails::tail(Parameter parameter, int window) const
{
    const std::deque<ResultRecord>& rows = m_rows[indexOf(parameter)];
    ChartTail tail;
    tail.total = m_totals[indexOf(parameter)];
    const std::size_t keep = std::min(rows.size(), std::size_t(window) + 1);
    for (auto it = rows.end() - static_cast<std::ptrdiff_t>(keep); it != rows.end(); ++it)
        if (const std::optional<SamplePlan> plan = replan(*it))
            tail.ys.push_back(plan->y);
    return tail;
}

ChartTail ChartTails::temperature() const
{
    ChartTail tail;
    tail.total = m_tempTotal;
    for (const ResultRecord& row : m_temps)
        if (const std::optional<SamplePlan> plan = replan(row); plan && plan->hasTemp)
            tail.ys.push_back(plan->tempY);
    return tail;
}

} // namespace pexumo
