#pragma once

#include "results/listid.h"
#include "results/resultlistmodel.h"
#include "results/resultrecord.h"

#include <QObject>

#include <array>

namespace pexumo {

/// Where the rows of a run go besides the lists: the journal plugs in here.
class RowSink
{
public:
    virtual ~RowSink() = default;
    /// A row was just added to \a list.
    virtual void rowAdded(ListId list, const ResultRecord& row) = 0;
    /// The first \a rows rows of \a list are now saved in a file.
    virtual void rowsSaved(ListId list, qint64 rows) = 0;
};

/// The eight result lists of a run, with how much of each was saved. Every row of the run is
/// added here, and from here it reaches the sink. The window keeps the rows to show and save
/// them; a logger keeps only the counts (its rows live in the journal), so a month of ticks stays
/// small.
class ResultBook : public QObject
{
    Q_OBJECT
public:
    enum class Storage
    {
        Rows,      ///< each list keeps its rows in a ResultListModel
        CountsOnly ///< only the number of rows per list is kept
    };

    explicit ResultBook(Storage storage = Storage::Rows, QObject* parent = nullptr);

    /// The rows of \a list; null when the book keeps counts only.
    ResultListModel* list(ListId list) const { return m_lists[indexOf(list)]; }
    /// Rows added to \a list, restored ones included.
    qint64 rows(ListId list) const;

    /// Adds \a row to \a list and hands it to the sink.
    void add(ListId list, const ResultRecord& row);
    /// The first \a rows rows of \a list were written to a file.
    void markSaved(ListId list, qint64 rows);
    /// Rows of \a list saved to a file.
    qint64 saved(ListId list) const { return m_saved[indexOf(list)]; }
    /// True while some list holds rows that were never saved.
    bool hasUnsaved() const;

    /// Rows and saved counts brought back from an earlier run: they reach neither the sink nor
    /// anyone else, since they are already kept where they came from.
    void restore(ListId list, const ResultRecord& row);
    void restoreSaved(ListId list, qint64 rows);

    /// Where every added row and every save goes besides the lists; null for nowhere. Not owned.
    void setSink(RowSink* sink) { m_sink = sink; }

private:
    std::array<ResultListModel*, ListCount> m_lists{};
    std::array<qint64, ListCount> m_counts{};
    std::array<qint64, ListCount> m_saved{};
    RowSink* m_sink = nullptr;
};

} // namespace pexumo
