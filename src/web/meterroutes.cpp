#include "web/routes.h"

#include <QDateTime>

namespace pexumo {

namespace {
constexpr qint64 MaxMs = qint64(1) << 50; // beyond the year 37000
}

bool MeterRoutes::serve(const WebRequest& request, const Respond& respond)
{
    if (request.path != QLatin1String("/api/meter"))
        return false;
    const std::optional<JournalEntry> entry = journalItem(request, m_desk);
    const std::optional<qint64> session =
        wholeNumberItem(request, QStringLiteral("session"), 1, std::numeric_limits<qint64>::max());
    if (!entry || !session) {
        respond(WebReply::error(400, QStringLiteral("name a listed journal (j) and a session")));
        return true;
    }
    const AlarmSettings limits = m_limits;
    m_desk.read(
        [entry = *entry, session = *session, limits] {
            QString error;
            const JournalReader* reader = threadReader(entry.path, &error);
            if (!reader)
                return WebReply::error(503, error);
            const QJsonObject view = meterView(entry, *reader, session, limits, &error);
            if (!error.isEmpty())
                return WebReply::error(503, error);
            if (view.isEmpty())
                return WebReply::error(404, QStringLiteral("no session %1 in this journal").arg(session));
            return WebReply::json(view);
        },
        respond);
    return true;
}

bool SeriesRoutes::serve(const WebRequest& request, const Respond& respond)
{
    const bool series = request.path == QLatin1String("/api/series");
    if (!series && request.path != QLatin1String("/api/row"))
        return false;
    const std::optional<JournalEntry> entry = journalItem(request, m_desk);
    const std::optional<qint64> session =
        wholeNumberItem(request, QStringLiteral("session"), 1, std::numeric_limits<qint64>::max());
    const std::optional<ListId> list = listFromName(request.item(QStringLiteral("list")));
    if (!entry || !session || !list || *list == ListId::Records) {
        respond(WebReply::error(400, QStringLiteral("name a listed journal (j), a session and a "
                                                    "list: pH, ORP, COND, TDS, Salt, DO or O2")));
        return true;
    }
    if (!series) {
        const std::optional<qint64> at = wholeNumberItem(request, QStringLiteral("at"), 0, MaxMs);
        if (!at) {
            respond(WebReply::error(400, QStringLiteral("at: a time in ms since 1970")));
            return true;
        }
        SeriesCache* cache = &m_desk.series();
        m_desk.read(
            [cache, entry = *entry, session = *session, list = *list, at = *at] {
                QString error;
                const JournalReader* reader = threadReader(entry.path, &error);
                if (!reader)
                    return WebReply::error(503, error);
                const QJsonObject row = rowView(*cache, entry, *reader, session, list, at, &error);
                if (!error.isEmpty())
                    return WebReply::error(503, error);
                return row.isEmpty() ? WebReply::error(404, QStringLiteral("no row there"))
                                     : WebReply::json(row);
            },
            respond);
        return true;
    }
    const std::optional<qint64> from = wholeNumberItem(request, QStringLiteral("from"), 0, MaxMs);
    const std::optional<qint64> to = wholeNumberItem(request, QStringLiteral("to"), 0, MaxMs);
    const std::optional<qint64> width =
        wholeNumberItem(request, QStringLiteral("width"), 1, MaxColumns);
    if (!from || !to || *to <= *from || !width) {
        respond(WebReply::error(400, QStringLiteral("from < to (ms since 1970) and width (1 to %1)")
                                         .arg(MaxColumns)));
        return true;
    }
    SeriesCache* cache = &m_desk.series();
    m_desk.read(
        [cache, entry = *entry, session = *session, list = *list, from = *from, to = *to,
         width = int(*width)] {
            QString error;
            const JournalReader* reader = threadReader(entry.path, &error);
            if (!reader)
                return WebReply::error(503, error);
            const QJsonObject view =
                seriesView(*cache, entry, *reader, session, list, from, to, width, &error);
            if (!error.isEmpty())
                return WebReply::error(503, error);
            return WebReply::json(view);
        },
        respond);
    return true;
}

} // namespace pexumo
