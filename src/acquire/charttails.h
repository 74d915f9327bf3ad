#pragma once

#include "acquire/windowedseries.h"
#include "results/listid.h"

#include <QtGlobal>

#include <array>
#include <deque>
#include <utility>
#include <vector>

namespace pexumo {

class ResultBook;

/// The last points of a chart after \a total samples: \a ys holds the last min(total, window + 1)
/// of them, oldest first (one more than the window, so that the chart can be left exactly as
/// that many sampling ticks would have left it).
struct ChartTail
{
    std::vector<double> ys;
    qint64 total = 0;
};

/// What the charts showed at the end of a run, worked out from the run's lists in a book: each
/// parameter's small and big chart from the last rows of its list, and the temperature chart,
/// which took a point from every sample that has a temperature, whatever its list, so it needs
/// to be told the order in which the rows were added (take()).
class ChartTails
{
public:
    explicit ChartTails(const ResultBook& book) : m_book(book) {}

    /// The next row in the order of adding was the next row of \a list.
    void take(ListId list);

    ChartTail small(Parameter parameter) const { return tail(parameter, SmallChartWindow); }
    ChartTail big(Parameter parameter) const { return tail(parameter, BigChartWindow); }
    ChartTail temperature() const;

private:
    ChartTail tail(Parameter parameter, int window) const;

    const ResultBook& m_book;
    std::array<qint64, ListCount> m_seen{};
    /// Where the last rows with a temperature stand: their list and their place in it.
    std::deque<std::pair<ListId, qint64>> m_temps;
    qint64 m_tempTotal = 0;
};

} // namespace pexumo
