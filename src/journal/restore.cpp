#include "journal/restore.h"

#include "results/resultbook.h"

namespace pexumo {

RestoredRun restoreRun(const QString& path, const JournalSession& session, ResultBook& book)
{
    RestoredRun run;
    run.error =
        JournalReader::readSession(path, session.id, [&](ListId list, const ResultRecord& r) {
            book.restore(list, r);
            run.charts.take(list, r);
            ++run.rows;
        });
    for (ListId list : AllLists)
        book.restoreSaved(list, session.saved[indexOf(list)]);
    return run;
}

} // namespace pexumo
