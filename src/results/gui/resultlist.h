#pragma once

#include "results/resultlistmodel.h"

#include <QTableView>

namespace pexumo {

/// The view of one result list: a flat, read-only table over its own ResultListModel. The
/// header is visible and its columns can be resized and dragged to other places; cell texts
/// follow the logical column wherever it is shown. Sized for a million rows: fixed row height
/// and no sizing to contents, so adding a row never measures the others.
class ResultList : public QTableView
{
    Q_OBJECT
public:
    explicit ResultList(ListKind kind, QWidget* parent = nullptr);

    /// The rows of this list; owned by the view.
    ResultListModel* list() const { return m_list; }

    /// Initial width in pixels of logical column \a column of a list of \a kind.
    static int defaultColumnWidth(ListKind kind, int column);

private:
    ResultListModel* m_list;
};

} // namespace pexumo
