#include "journal/restore.h"

#include "results/resultbook.h"

namespace pexumo {

RestoredRun restoreRun(const QString& path, const JournalSession& session, ResultBook& book)
{
    RestoredRun run(book);
    std::array<ResultListModel*, ListCount> lists{};
    for (ListId list : AllLists)
        lists[indexOf(list)] = book.list(list);
    run.read = JournalReader::readSessionInto(
        path, session.id, lists,
        [&run](ListId list, const ResultListModel::PackedRecord&) { run.charts.take(list); });
    for (ListId list : AllLists)
        book.restoreSaved(list, session.saved[indexOf(list)]);
    return run;
}

} // namespace pexumo
