#include "web/routes.h"

#include <QUrlQuery>

namespace pexumo {

bool AuthRoutes::admits(const WebRequest& request)
{
    if (!m_auth.required())
        return true;
    if (request.path == QLatin1String("/login") || request.path == QLatin1String("/static/login.js") ||
        request.path == QLatin1String("/static/style.css"))
        return true;
    return !request.cookie.isEmpty() && m_auth.valid(request.cookie);
}

bool AuthRoutes::serve(const WebRequest& request, const Respond& respond)
{
    const QByteArray cookieEnd =
        QByteArray("; Path=/; HttpOnly; SameSite=Strict") + (request.secure ? "; Secure" : "");
    if (request.path == QLatin1String("/logout")) {
        if (request.method != "POST") {
            respond(WebReply::error(405, QStringLiteral("log out with POST")));
            return true;
        }
        m_auth.logout(request.cookie);
        WebReply reply = WebReply::redirect(m_auth.required() ? "/login" : "/");
        reply.addHeader("Set-Cookie", QByteArray(CookieName) + "=" + cookieEnd + "; Max-Age=0");
        respond(reply);
        return true;
    }
    if (request.path != QLatin1String("/login"))
        return false;
    if (request.isGet()) {
        WebReply reply;
        reply.body = builtInAsset(QStringLiteral("login.html"), &reply.contentType);
        respond(reply);
        return true;
    }
    if (request.method != "POST") {
        respond(WebReply::error(405, QStringLiteral("GET or POST")));
        return true;
    }
    // A form's body: "+" stands for a blank (QUrlQuery takes it literally).
    QByteArray body = request.body;
    body.replace('+', ' ');
    const QUrlQuery form(QString::fromUtf8(body));
    const QByteArray password =
        form.queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded).toUtf8();
    QByteArray token;
    switch (m_auth.login(request.peer, password, &token)) {
    case WebAuth::Login::Granted: {
        WebReply reply = WebReply::redirect("/");
        reply.addHeader("Set-Cookie", QByteArray(CookieName) + "=" + token + cookieEnd);
        respond(reply);
        break;
    }
    case WebAuth::Login::Refused:
        respond(WebReply::redirect("/login?wrong=1"));
        break;
    case WebAuth::Login::LockedOut: {
        WebReply reply = WebReply::redirect(
            "/login?locked=" + QByteArray::number(m_auth.lockedForSeconds(request.peer)));
        respond(reply);
        break;
    }
    }
    return true;
}

} // namespace pexumo
