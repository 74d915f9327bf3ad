#include "journal/journalexport.h"
#include "web/routes.h"

#include <QFileInfo>

namespace pexumo {

bool ExportRoutes::serve(const WebRequest& request, const Respond& respond)
{
    if (request.path != QLatin1String("/download"))
        return false;
    const std::optional<JournalEntry> entry = journalItem(request, m_desk);
    const std::optional<qint64> session =
        wholeNumberItem(request, QStringLiteral("session"), 1, std::numeric_limits<qint64>::max());
    const std::optional<ListId> list = listFromName(request.item(QStringLiteral("list")));
    const QString format = request.item(QStringLiteral("format"));
    if (!entry || !session || !list ||
        (format != QLatin1String("csv") && format != QLatin1String("text"))) {
        respond(WebReply::error(400, QStringLiteral("name a listed journal (j), a session, a list "
                                                    "and a format: csv or text")));
        return true;
    }
    const ExportFormat how = format == QLatin1String("csv") ? ExportFormat::Csv : ExportFormat::Text;
    m_desk.read(
        [entry = *entry, session = *session, list = *list, how] {
            QString error;
            const JournalReader* reader = threadReader(entry.path, &error);
            if (!reader)
                return WebReply::error(503, error);
            if (!reader->session(session, &error))
                return error.isEmpty() ? WebReply::error(404, QStringLiteral("no session %1").arg(session))
                                       : WebReply::error(503, error);
            const QByteArray bytes = exportSessionList(*reader, session, list, how, &error);
            if (!error.isEmpty())
                return WebReply::error(503, error);
            // "<journal>-<session>-<list>.csv": letters, digits and "-" only.
            QString base = QFileInfo(entry.path).completeBaseName();
            base.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
            const QString name = QStringLiteral("%1-%2-%3.%4")
                                     .arg(base)
                                     .arg(session)
                                     .arg(listName(list))
                                     .arg(how == ExportFormat::Csv ? QStringLiteral("csv")
                                                                   : QStringLiteral("txt"));
            WebReply reply{200,
                           how == ExportFormat::Csv ? "text/csv; charset=utf-8"
                                                    : "text/plain; charset=us-ascii",
                           bytes,
                           {}};
            reply.addHeader("Content-Disposition", "attachment; filename=\"" + name.toLatin1() + '"');
            return reply;
        },
        respond);
    return true;
}

} // namespace pexumo
