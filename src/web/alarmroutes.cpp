#include "web/routes.h"

#include <algorithm>

namespace pexumo {

bool AlarmRoutes::serve(const WebRequest& request, const Respond& respond)
{
    if (request.path != QLatin1String("/api/alarms"))
        return false;
    // Either every journal, or the one named; either every parameter, or the one named.
    QList<JournalEntry> entries = m_desk.entries();
    if (!request.item(QStringLiteral("j")).isEmpty()) {
        const std::optional<JournalEntry> entry = journalItem(request, m_desk);
        if (!entry) {
            respond(WebReply::error(400, QStringLiteral("j names no listed journal")));
            return true;
        }
        entries = {*entry};
    }
    QString parameter = request.item(QStringLiteral("parameter"));
    if (!parameter.isEmpty()) {
        if (const std::optional<AlarmParameter> p = alarmParameterFromName(parameter))
            parameter = alarmParameterName(*p);
        else if (parameter.compare(QLatin1String("NoReading"), Qt::CaseInsensitive) == 0)
            parameter = QStringLiteral("NoReading");
        else if (parameter.compare(QLatin1String("Disk"), Qt::CaseInsensitive) == 0)
            parameter = QStringLiteral("Disk");
        else {
            respond(WebReply::error(400, QStringLiteral("parameter: pH, ORP, COND, TDS, Salt, DO, "
                                                        "O2, Temp, NoReading or Disk")));
            return true;
        }
    }
    m_desk.read(
        [entries, parameter] {
            NewestEvents events(MaxEvents);
            QJsonArray problems;
            for (const JournalEntry& e : entries) {
                QString error;
                const JournalReader* reader = threadReader(e.path, &error);
                if (reader)
                    alarmEvents(e, *reader, parameter, events, &error);
                if (!error.isEmpty()) {
                    QJsonObject p;
                    p[QStringLiteral("file")] = e.path;
                    p[QStringLiteral("error")] = error;
                    problems.append(p);
                }
            }
            QJsonObject reply;
            reply[QStringLiteral("events")] = events.newestFirst();
            reply[QStringLiteral("more")] = events.seen() > MaxEvents;
            reply[QStringLiteral("problems")] = problems;
            return WebReply::json(reply);
        },
        respond);
    return true;
}

} // namespace pexumo
