#pragma once

#include "acquire/charttails.h"
#include "journal/journalreader.h"

#include <QString>

namespace pexumo {

class ResultBook;

/// A run read back from the journal.
struct RestoredRun
{
    explicit RestoredRun(const ResultBook& book) : charts(book) {}

    SessionRead read;  ///< rows read, rows of no list skipped, and why reading stopped if it did
    ChartTails charts; ///< what the charts showed at the end of the run
};

/// Reads every row of \a session in the journal at \a path back into \a book (which keeps its
/// rows), in the order the rows were added, with each list's saved count, and works out the
/// charts' last points. Rows read before a failure stay in the book.
RestoredRun restoreRun(const QString& path, const JournalSession& session, ResultBook& book);

} // namespace pexumo
