#include "web/routes.h"

#include <QMetaObject>
#include <QUrlQuery>

#include <variant>

namespace pexumo {

namespace {
QByteArray cookieEnd(const WebRequest& request)
{
    return QByteArray("; Path=/; HttpOnly; SameSite=Strict") + (request.secure ? "; Secure" : "");
}
} // namespace

AuthRoutes::AuthRoutes(WebAuth& auth) : m_auth(auth)
{
    m_checks.setMaxThreadCount(1);
}

AuthRoutes::~AuthRoutes()
{
    // A check still running ends before the routes go; its answer is dropped with m_context.
    m_checks.waitForDone();
}

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
    if (request.path == QLatin1String("/logout")) {
        if (request.method != "POST") {
            respond(WebReply::error(405, QStringLiteral("log out with POST")));
            return true;
        }
        m_auth.logout(request.cookie);
        WebReply reply = WebReply::redirect(m_auth.required() ? "/login" : "/");
        reply.addHeader("Set-Cookie", QByteArray(CookieName) + "=" + cookieEnd(request) + "; Max-Age=0");
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
    std::variant<QByteArray, WebAuth::Login> begun = m_auth.beginLogin(request.peer);
    if (const WebAuth::Login* refused = std::get_if<WebAuth::Login>(&begun)) {
        answer(request, *refused, {}, respond);
        return true;
    }
    // The answer comes back through m_context: dropped if the routes are gone by then.
    m_checks.start([this, request, respond, password,
                    hash = std::get<QByteArray>(std::move(begun))] {
        const bool matches = passwordMatches(hash, password);
        QMetaObject::invokeMethod(
            &m_context,
            [this, request, respond, matches] {
                QByteArray token;
                const WebAuth::Login result = m_auth.finishLogin(request.peer, matches, &token);
                answer(request, result, token, respond);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void AuthRoutes::answer(const WebRequest& request, WebAuth::Login result,
                        const QByteArray& token, const Respond& respond)
{
    switch (result) {
    case WebAuth::Login::Granted: {
        WebReply reply = WebReply::redirect("/");
        reply.addHeader("Set-Cookie", QByteArray(CookieName) + "=" + token + cookieEnd(request));
        respond(reply);
        break;
    }
    case WebAuth::Login::Refused:
        respond(WebReply::redirect("/login?wrong=1"));
        break;
    case WebAuth::Login::LockedOut:
        respond(WebReply::redirect(
            "/login?locked=" + QByteArray::number(m_auth.lockedForSeconds(request.peer))));
        break;
    case WebAuth::Login::Busy:
        respond(WebReply::redirect("/login?busy=1"));
        break;
    }
}

} // namespace pexumo
