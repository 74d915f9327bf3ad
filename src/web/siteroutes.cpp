#include "web/httpgate.h"
#include "web/routes.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>

namespace pexumo {

std::optional<JournalEntry> journalItem(const WebRequest& request, const JournalDesk& desk)
{
    static const QRegularExpression idPattern(QStringLiteral("^[0-9a-f]{12}$"));
    const QString id = request.item(QStringLiteral("j"));
    if (!idPattern.match(id).hasMatch())
        return std::nullopt;
    return desk.entry(id);
}

QByteArray builtInAsset(const QString& name, QByteArray* contentType)
{
    static const QRegularExpression namePattern(QStringLiteral("^[a-z][a-z0-9-]*(\\.[a-z0-9]+)*\\.(html|js|css|txt)$"));
    if (!namePattern.match(name).hasMatch())
        return {};
    QFile file(QStringLiteral(":/web/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (contentType) {
        if (name.endsWith(QLatin1String(".html")))
            *contentType = "text/html; charset=utf-8";
        else if (name.endsWith(QLatin1String(".js")))
            *contentType = "text/javascript; charset=utf-8";
        else if (name.endsWith(QLatin1String(".css")))
            *contentType = "text/css; charset=utf-8";
        else
            *contentType = "text/plain; charset=utf-8";
    }
    return file.readAll();
}

SiteRoutes::SiteRoutes(JournalDesk& desk, HttpGate& gate, QString title, bool login,
                       QObject* parent)
    : QObject(parent), m_desk(desk), m_gate(gate), m_title(std::move(title)), m_login(login)
{
    connect(&m_desk, &JournalDesk::changed, this, &SiteRoutes::refresh);
    // A comment line now and then keeps proxies and phones from closing a quiet stream.
    auto* ping = new QTimer(this);
    ping->setInterval(15000);
    connect(ping, &QTimer::timeout, this, [this] { broadcast(": ping\n\n"); });
    ping->start();
}

void SiteRoutes::readSite(std::function<void(QJsonObject)> done)
{
    const QList<JournalEntry> entries = m_desk.entries();
    const QString title = m_title;
    const bool login = m_login;
    m_desk.read(
        [entries, title, login] {
            QJsonObject site;
            site[QStringLiteral("title")] = title;
            site[QStringLiteral("login")] = login;
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            site[QStringLiteral("now_ms")] = double(now);
            QJsonArray journals;
            for (const JournalEntry& e : entries) {
                QString error;
                const JournalReader* reader = threadReader(e.path, &error);
                journals.append(siteJournal(e, reader, error));
            }
            site[QStringLiteral("journals")] = journals;
            return site;
        },
        std::move(done));
}

bool SiteRoutes::serve(const WebRequest& request, const Respond& respond)
{
    static const QHash<QString, QString> pages{{QStringLiteral("/"), QStringLiteral("site.html")},
                                              {QStringLiteral("/meter"), QStringLiteral("meter.html")},
                                              {QStringLiteral("/alarms"), QStringLiteral("alarms.html")}};
    if (const auto page = pages.find(request.path); page != pages.end()) {
        WebReply reply;
        reply.body = builtInAsset(*page, &reply.contentType);
        respond(reply);
        return true;
    }
    if (request.path.startsWith(QLatin1String("/static/"))) {
        WebReply reply;
        reply.body = builtInAsset(request.path.mid(8), &reply.contentType);
        if (reply.body.isEmpty())
            reply = WebReply::error(404, QStringLiteral("no such file"));
        else
            reply.addHeader("Cache-Control", "max-age=3600");
        respond(reply);
        return true;
    }
    if (request.path == QLatin1String("/api/site")) {
        readSite([respond](QJsonObject site) { respond(WebReply::json(site)); });
        return true;
    }
    return false;
}

void SiteRoutes::openStream(QTcpSocket* socket, const QList<QPair<QByteArray, QByteArray>>& headers)
{
    QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n";
    for (const auto& [name, value] : headers)
        head += name + ": " + value + "\r\n";
    head += "\r\n";
    // A page that lost the stream tries again after 2 s.
    head += "retry: 2000\n\n";
    if (!m_gate.send(socket, head))
        return;
    m_gate.streaming(socket);
    m_streams.append(socket);
    if (!m_lastSite.isEmpty()) {
        m_gate.send(socket, m_lastSite);
        return;
    }
    refresh();
}

void SiteRoutes::refresh()
{
    m_streams.removeIf([](const QPointer<QTcpSocket>& s) {
        return !s || s->state() != QAbstractSocket::ConnectedState;
    });
    // Nobody watches: the next page to open a stream gets a fresh read, not an old one.
    if (m_streams.isEmpty()) {
        m_lastSite.clear();
        return;
    }
    // One read at a time; changes meanwhile are gathered into one more read after it.
    if (m_reading) {
        m_again = true;
        return;
    }
    m_reading = true;
    readSite([this](QJsonObject site) {
        m_reading = false;
        site.remove(QStringLiteral("now_ms"));
        const QByteArray data = QJsonDocument(site).toJson(QJsonDocument::Compact);
        const QByteArray event = "event: site\ndata: " + data + "\n\n";
        if (event != m_lastSite) {
            m_lastSite = event;
            broadcast(event);
        }
        if (m_again) {
            m_again = false;
            refresh();
        }
    });
}

void SiteRoutes::broadcast(const QByteArray& event)
{
    m_streams.removeIf([](const QPointer<QTcpSocket>& s) {
        return !s || s->state() != QAbstractSocket::ConnectedState;
    });
    for (const QPointer<QTcpSocket>& s : std::as_const(m_streams))
        m_gate.send(s, event);
}

} // namespace pexumo
