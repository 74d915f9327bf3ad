#include "acquire/charttails.h"

#include "acquire/sampleroute.h"
#include "results/resultbook.h"

#include <algorithm>

namespace pexumo {

void ChartTails::take(ListId list)
{
    const qint64 at = m_seen[indexOf(list)]++;
    // Memory records have no chart, and readings in mV (the whole ORP list) no temperature.
    if (list == ListId::Records || list == ListId::ORP)
        return;
    ++m_tempTotal;
    m_temps.emplace_back(list, at);
    if (m_temps.size() > std::size_t(SmallChartWindow) + 1)
        m_temps.pop_front();
}

ChartTail ChartTails::tail(Parameter parameter, int window) const
{
    const ResultListModel* rows = m_book.list(listOf(parameter));
    ChartTail tail;
    if (!rows)
        return tail;
    tail.total = rows->size();
    for (qint64 k = std::max<qint64>(0, tail.total - window - 1); k < tail.total; ++k)
        if (const std::optional<SamplePlan> plan = replanRow(rows->recordInOrder(k)))
            tail.ys.push_back(plan->y);
    return tail;
}

ChartTail ChartTails::temperature() const
{
    ChartTail tail;
    tail.total = m_tempTotal;
    for (const auto& [list, at] : m_temps) {
        const ResultListModel* rows = m_book.list(list);
        if (!rows || at >= rows->size())
            continue;
        if (const std::optional<SamplePlan> plan = replanRow(rows->recordInOrder(at));
            plan && plan->hasTemp)
            tail.ys.push_back(plan->tempY);
    }
    return tail;
}

} // namespace pexumo
