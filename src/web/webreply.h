#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrlQuery>

#include <functional>
#include <optional>

namespace pexumo {

/// What the routes see of a request: checked fields only, never the raw socket.
struct WebRequest
{
    QByteArray method; ///< "GET", "POST", ...
    QString path;      ///< decoded, without the query
    QUrlQuery query;
    QHostAddress peer;
    QByteArray cookie; ///< the session cookie's value; empty without one
    QByteArray body;
    bool secure = false; ///< came over TLS

    bool isGet() const { return method == "GET" || method == "HEAD"; }
    /// The query item \a name, decoded; "" when missing.
    QString item(const QString& name) const;
};

/// An answer: status, type and body; the server adds the headers every answer carries.
struct WebReply
{
    int status = 200;
    QByteArray contentType = "text/plain; charset=utf-8";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;

    void addHeader(const QByteArray& name, const QByteArray& value) { headers.append({name, value}); }

    static WebReply json(const QJsonObject& object);
    static WebReply json(const QJsonArray& array);
    /// A plain-text error; for the API, {"error": message} as JSON.
    static WebReply error(int status, const QString& message);
    static WebReply redirect(const QByteArray& location);
};

/// Hands a reply back; may be called later, from the server's thread, once.
using Respond = std::function<void(WebReply)>;

/// Checked request parameters: each gives none for a missing or bad value.
std::optional<qint64> wholeNumberItem(const WebRequest& request, const QString& name, qint64 min,
                                      qint64 max);

/// One group of routes: the paths it knows, each turned into a reply.
class WebRoutes
{
public:
    virtual ~WebRoutes() = default;
    /// Answers \a request through \a respond and returns true when the path is one of this
    /// group's; returns false (and does not answer) otherwise.
    virtual bool serve(const WebRequest& request, const Respond& respond) = 0;
};

} // namespace pexumo
