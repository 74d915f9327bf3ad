#include "results/resultbook.h"

#include <algorithm>

namespace pexumo {

ResultBook::ResultBook(Storage storage, QObject* parent) : QObject(parent)
{
    if (storage == Storage::Rows)
        for (ListId id : AllLists)
            m_lists[indexOf(id)] = new ResultListModel(listKind(id), this);
}

qint64 ResultBook::rows(ListId list) const
{
    const ResultListModel* model = m_lists[indexOf(list)];
    return model ? model->size() : m_counts[indexOf(list)];
}

void ResultBook::add(ListId list, const ResultRecord& row)
{
    restore(list, row);
    if (m_sink)
        m_sink->rowAdded(list, row);
}

void ResultBook::restore(ListId list, const ResultRecord& row)
{
    if (ResultListModel* model = m_lists[indexOf(list)])
        model->add(row);
    else
        ++m_counts[indexOf(list)];
}

void ResultBook::markSaved(ListId list, qint64 rows)
{
    restoreSaved(list, rows);
    if (m_sink)
        m_sink->rowsSaved(list, saved(list));
}

void ResultBook::restoreSaved(ListId list, qint64 rows)
{
    m_saved[indexOf(list)] = std::clamp<qint64>(rows, 0, this->rows(list));
}

bool ResultBook::hasUnsaved() const
{
    for (ListId id : AllLists)
        if (rows(id) > saved(id))
            return true;
    return false;
}

} // namespace pexumo
