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
    /// A view over a list of its own.
    explicit ResultList(ListKind kind, QWidget* parent = nullptr);
    /// A view over \a list, which stays its owner's and must outlive the view.
    explicit ResultList(ResultListModel* list, QWidget* parent = nullptr);

    /// The rows of this list.
    ResultListModel* list() const { return m_list; }

    /// Initial width in pixels of logical column \a column of a list of \a kind.
    static int defaultColumnWidth(ListKind kind, int column);

private:
    ResultListModel* m_list;
};

} // namespace pexumo
