#include "web/webserver.h"

#include "web/journaldesk.h"
#include "web/routes.h"

#include <QtHttpServer/QHttpServerRequest>

#include <QTcpSocket>

#include <deque>
#include <map>

namespace pexumo {

namespace {

QByteArray reasonOf(int status)
{
    static const std::map<int, QByteArray> reasons{
        {200, "OK"},          {303, "See Other"},          {400, "Bad Request"},
        {401, "Unauthorized"}, {403, "Forbidden"},         {404, "Not Found"},
        {405, "Method Not Allowed"}, {413, "Content Too Large"}, {429, "Too Many Requests"},
        {500, "Internal Server Error"}, {503, "Service Unavailable"}};
    const auto it = reasons.find(status);
    return it == reasons.end() ? QByteArray("Status") : it->second;
}

/// The replies a connection still owes, in the order of its requests: a child of the socket,
/// so it goes with it.
class ReplyQueue : public QObject
{
public:
    explicit ReplyQueue(QObject* socket) : QObject(socket) { setObjectName(Name); }
    static constexpr char Name[] = "pexumo-replies";
    struct Slot
    {
        quint64 ticket = 0;
        bool ready = false;
        bool close = false;
        QByteArray head;
        QByteArray body; ///< apart from the head: a download's bytes are not copied again
    };
    std::deque<Slot> pending;
    quint64 next = 0;
};

ReplyQueue* queueOf(QTcpSocket* socket)
{
    // No Q_OBJECT of its own: found by its name, checked by its type.
    auto* q = dynamic_cast<ReplyQueue*>(socket->findChild<QObject*>(
        QString::fromLatin1(ReplyQueue::Name), Qt::FindDirectChildrenOnly));
    return q ? q : new ReplyQueue(socket);
}

QByteArray cookieValue(const QByteArray& header, const QByteArray& name)
{
    for (QByteArray part : header.split(';')) {
        part = part.trimmed();
        if (part.startsWith(name + '='))
            return part.mid(name.size() + 1);
    }
    return {};
}

} // namespace

const QList<QPair<QByteArray, QByteArray>>& commonHeaders()
{
    static const QList<QPair<QByteArray, QByteArray>> headers{
        {"Content-Security-Policy",
         "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
         "connect-src 'self'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'"},
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"}};
    return headers;
}

WebServer::WebServer(Setup setup, QObject* parent)
    : QAbstractHttpServer(parent), m_setup(std::move(setup))
{
    m_desk = std::make_unique<JournalDesk>(m_setup.settings.journalFiles,
                                           m_setup.settings.journalFolders);
    m_auth = std::make_unique<WebAuth>(m_setup.passwordHash, m_setup.clock);
    m_gate = new HttpGate(m_setup.gate, this);
    m_gate->setHttpServer(this);
    if (m_setup.tls)
        m_gate->setTls(*m_setup.tls);
    m_site = new SiteRoutes(*m_desk, *m_gate, m_setup.settings.title, m_auth->required(), this);
    m_authRoutes = std::make_unique<AuthRoutes>(*m_auth);
    m_routes.push_back(std::make_unique<MeterRoutes>(*m_desk, m_setup.limits));
    m_routes.push_back(std::make_unique<SeriesRoutes>(*m_desk));
    m_routes.push_back(std::make_unique<AlarmRoutes>(*m_desk));
    m_routes.push_back(std::make_unique<ExportRoutes>(*m_desk));
}

WebServer::~WebServer()
{
    // The pool's answers must not reach routes that are gone.
    m_desk.reset();
}

QString WebServer::start()
{
    if (!m_gate->listen(m_setup.settings.listen.address, m_setup.settings.listen.port))
        return QStringLiteral("cannot listen on %1: %2")
            .arg(m_setup.settings.listen.text(), m_gate->errorString());
    bind(m_gate);
    return {};
}

ListenAddress WebServer::address() const
{
    return {m_gate->serverAddress(), m_gate->serverPort()};
}

int WebServer::liveStreams() const
{
    return m_site->streams();
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    WebRequest r;
    switch (request.method()) {
    case QHttpServerRequest::Method::Get:
        r.method = "GET";
        break;
    case QHttpServerRequest::Method::Head:
        r.method = "HEAD";
        break;
    case QHttpServerRequest::Method::Post:
        r.method = "POST";
        break;
    default:
        r.method = "OTHER";
        break;
    }
    r.path = request.url().path(QUrl::FullyDecoded);
    r.query = request.query();
    r.peer = request.remoteAddress();
    r.cookie = cookieValue(request.value("Cookie"), AuthRoutes::CookieName);
    r.body = request.body();
    r.secure = m_gate->tls();
    const bool head = r.method == "HEAD";
    const bool close = request.value("Connection").toLower().contains("close");

    ReplyQueue* queue = queueOf(socket);
    const quint64 ticket = queue->next++;
    queue->pending.push_back({ticket, false, false, {}, {}});
    QPointer<QTcpSocket> guarded(socket);
    const Respond respond = [this, guarded, ticket, head, close](WebReply answer) {
        if (guarded)
            reply(guarded, ticket, answer, head, close);
    };

    if (r.method == "OTHER") {
        respond(WebReply::error(405, QStringLiteral("only GET, HEAD and POST")));
        return true;
    }
    if (r.method == "POST") {
        // A form of another site must not post here; SameSite=Strict keeps the cookie from
        // it, and the Origin check keeps the login form of another page out too.
        const QByteArray origin = request.value("Origin");
        const QByteArray host = request.value("Host");
        if (!origin.isEmpty() && origin != "null" && QUrl(QString::fromLatin1(origin)).authority() != QString::fromLatin1(host)) {
            respond(WebReply::error(403, QStringLiteral("a form of another site")));
            return true;
        }
    }
    if (m_authRoutes->serve(r, respond))
        return true;
    if (!m_authRoutes->admits(r)) {
        const bool page = r.path == QLatin1String("/") || r.path == QLatin1String("/meter") ||
                          r.path == QLatin1String("/alarms");
        respond(page ? WebReply::redirect("/login")
                     : WebReply::error(401, QStringLiteral("log in first")));
        return true;
    }
    if (r.method == "POST") {
        respond(WebReply::error(405, QStringLiteral("this view only reads")));
        return true;
    }
    if (r.path == QLatin1String("/events")) {
        queue->pending.pop_back(); // the stream writes its own head
        --queue->next;
        QList<QPair<QByteArray, QByteArray>> headers = commonHeaders();
        headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("no-store")));
        m_site->openStream(socket, headers);
        return true;
    }
    if (m_site->serve(r, respond))
        return true;
    for (const auto& routes : m_routes)
        if (routes->serve(r, respond))
            return true;
    respond(WebReply::error(404, QStringLiteral("no such page")));
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest&, QTcpSocket* socket)
{
    m_gate->send(socket, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    m_gate->responseDone(socket, true);
}

void WebServer::reply(QTcpSocket* socket, quint64 ticket, const WebReply& answer, bool head,
                      bool close)
{
    QByteArray bytes = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' +
                       reasonOf(answer.status) + "\r\nContent-Type: " + answer.contentType +
                       "\r\nContent-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    bool cacheSet = false;
    for (const auto& [name, value] : answer.headers) {
        bytes += name + ": " + value + "\r\n";
        cacheSet = cacheSet || name == "Cache-Control";
    }
    if (!cacheSet)
        bytes += "Cache-Control: no-store\r\n";
    for (const auto& [name, value] : commonHeaders())
        bytes += name + ": " + value + "\r\n";
    if (close)
        bytes += "Connection: close\r\n";
    bytes += "\r\n";

    ReplyQueue* queue = queueOf(socket);
    for (ReplyQueue::Slot& slot : queue->pending)
        if (slot.ticket == ticket) {
            slot.ready = true;
            slot.close = close;
            slot.head = std::move(bytes);
            if (!head)
                slot.body = answer.body;
        }
    while (!queue->pending.empty() && queue->pending.front().ready) {
        const ReplyQueue::Slot slot = std::move(queue->pending.front());
        queue->pending.pop_front();
        if (!m_gate->send(socket, slot.head) ||
            (!slot.body.isEmpty() && !m_gate->send(socket, slot.body)))
            return;
        m_gate->responseDone(socket, slot.close);
        if (slot.close)
            return;
    }
}

} // namespace pexumo
