#include "journal/journalexport.h"

#include "results/csvexport.h"
#include "results/resultlistmodel.h"
#include "results/textexport.h"

namespace pexumo {

QByteArray exportSessionList(const JournalReader& reader, qint64 session, ListId list,
                             ExportFormat format, QString* error)
{
    ResultListModel model(listKind(list));
    const SessionRead read = reader.forEachRow(
        session, list, [&](ListId, const ResultRecord& record) { model.add(record); });
    if (!read.error.isEmpty()) {
        if (error)
            *error = read.error;
        return {};
    }
    switch (format) {
    case ExportFormat::Csv:
        return exportCsvBytes(model);
    case ExportFormat::Text:
        break;
    }
    return exportBytes(model);
}

} // namespace pexumo
