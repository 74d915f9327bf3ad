#pragma once

#include "results/resultlistmodel.h"

namespace pexumo {

/// Walks the rows that a saved file of \a list holds, in the file's order: rows are stored
/// oldest first, which is that order for every kind of list. Calls \a sample(row, withTemp) for
/// each row of a Sample list (withTemp true) or of the Orp list (false), and \a record(row) for
/// each downloaded record whose Sign is +1 or -1; a record with any other sign has no line.
template <typename SampleRow, typename RecordRow>
void forEachSavedRow(const ResultListModel& list, SampleRow&& sample, RecordRow&& record)
{
    const qsizetype rows = list.size();
    for (qsizetype i = 0; i < rows; ++i) {
        const ResultListModel::PackedRecord row = list.packedInOrder(i);
        switch (list.kind()) {
        case ListKind::Sample:
            sample(row, true);
            break;
        case ListKind::Orp:
            sample(row, false);
            break;
        case ListKind::Downloaded:
            if (row.sign == 1 || row.sign == -1)
                record(row);
            break;
        }
    }
}

} // namespace pexumo
