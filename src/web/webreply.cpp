#include "web/webreply.h"

#include <QJsonDocument>

namespace pexumo {

QString WebRequest::item(const QString& name) const
{
    return query.queryItemValue(name, QUrl::FullyDecoded);
}

WebReply WebReply::json(const QJsonObject& object)
{
    return {200, "application/json", QJsonDocument(object).toJson(QJsonDocument::Compact), {}};
}

WebReply WebReply::json(const QJsonArray& array)
{
    return {200, "application/json", QJsonDocument(array).toJson(QJsonDocument::Compact), {}};
}

WebReply WebReply::error(int status, const QString& message)
{
    QJsonObject o;
    o[QStringLiteral("error")] = message;
    WebReply r = json(o);
    r.status = status;
    return r;
}

WebReply WebReply::redirect(const QByteArray& location)
{
    WebReply r{303, "text/plain; charset=utf-8", "See " + location + '\n', {}};
    r.addHeader("Location", location);
    return r;
}

std::optional<qint64> wholeNumberItem(const WebRequest& request, const QString& name, qint64 min,
                                      qint64 max)
{
    const QString text = request.item(name);
    bool ok = false;
    const qint64 n = text.toLongLong(&ok, 10);
    if (!ok || text.startsWith(u'+') || text.contains(u' ') || n < min || n > max)
        return std::nullopt;
    return n;
}

} // namespace pexumo
