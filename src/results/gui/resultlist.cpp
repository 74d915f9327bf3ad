#include "results/gui/resultlist.h"

#include <QFontDatabase>
#include <QHeaderView>

#include <array>

namespace pexumo {

int ResultList::defaultColumnWidth(ListKind kind, int column)
{
    static constexpr std::array<int, 5> sample{120, 70, 100, 70, 90};
    static constexpr std::array<int, 6> downloaded{70, 70, 100, 70, 90, 70};
    if (column < 0)
        return 0;
    const auto i = static_cast<std::size_t>(column);
    if (kind == ListKind::Downloaded)
        return i < downloaded.size() ? downloaded[i] : 0;
    return i < sample.size() ? sample[i] : 0;
}

ResultList::ResultList(ListKind kind, QWidget* parent)
    : ResultList(new ResultListModel(kind), parent)
{
    m_list->setParent(this);
}

ResultList::ResultList(ResultListModel* list, QWidget* parent) : QTableView(parent), m_list(list)
{
    const ListKind kind = list->kind();
    setModel(m_list);
    setSortingEnabled(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    setShowGrid(false);

    QHeaderView* header = horizontalHeader();
    header->setVisible(true);
    header->setSectionsMovable(true);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(false);
    header->setHighlightSections(false);
    header->setFont(QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont));
    for (int column = 0; column < m_list->columnCount(); ++column)
        setColumnWidth(column, defaultColumnWidth(kind, column));

    QHeaderView* rows = verticalHeader();
    rows->setVisible(false);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);
}

} // namespace pexumo
