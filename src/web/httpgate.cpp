#include "web/httpgate.h"

#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

namespace pexumo {

namespace {

QByteArray plainResponse(QByteArrayView status)
{
    const QByteArray body = status.toByteArray() + '\n';
    return "HTTP/1.1 " + status.toByteArray() +
           "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

HeadScanner::Verdict HeadScanner::feed(QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        if (m_bodyLeft > 0) {
            const qint64 skip = std::min<qint64>(m_bodyLeft, bytes.size());
            m_bodyLeft -= skip;
            bytes = bytes.sliced(skip);
            if (m_bodyLeft == 0)
                ++m_requests;
            continue;
        }
        // Blank lines before a request line are allowed (and ignored) between requests.
        if (m_headBytes == 0) {
            while (!bytes.isEmpty() && (bytes.front() == '\r' || bytes.front() == '\n'))
                bytes = bytes.sliced(1);
            if (bytes.isEmpty())
                break;
        }
        // The head ends at the first blank line: "\r\n\r\n" (or "\n\n").
        qsizetype taken = 0;
        bool ended = false;
        while (taken < bytes.size()) {
            const char c = bytes[taken++];
            m_head.append(c);
            ++m_headBytes;
            if (m_headBytes > m_limits.maxHeadBytes)
                return Verdict::HeadTooLarge;
            if (c == '\n' && (m_head.endsWith("\r\n\r\n") || m_head.endsWith("\n\n"))) {
                ended = true;
                break;
            }
        }
        bytes = bytes.sliced(taken);
        if (ended)
            if (const Verdict v = endOfHead(); v != Verdict::Fine)
                return v;
    }
    return Verdict::Fine;
}

HeadScanner::Verdict HeadScanner::endOfHead()
{
    std::optional<qint64> length;
    for (const QByteArray& raw : m_head.split('\n')) {
        const QByteArrayView line = QByteArrayView(raw).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.first(colon).trimmed().toByteArray().toLower();
        const QByteArrayView value = line.sliced(colon + 1).trimmed();
        if (name == "transfer-encoding")
            return Verdict::Malformed;
        if (name == "content-length") {
            bool ok = false;
            const qint64 n = value.toLongLong(&ok);
            if (!ok || n < 0 || value.startsWith('+') || (length && *length != n))
                return Verdict::Malformed;
            length = n;
        }
    }
    m_head.clear();
    m_headBytes = 0;
    if (length.value_or(0) > m_limits.maxBodyBytes)
        return Verdict::BodyTooLarge;
    m_bodyLeft = length.value_or(0);
    if (m_bodyLeft == 0)
        ++m_requests;
    return Verdict::Fine;
}

/// One connection's watch: its scanner, its timer, and the count of connections it holds. A
/// child of the socket, so it goes with the socket however the socket goes.
class HttpGate::Watch : public QObject
{
public:
    Watch(HttpGate* gate, QTcpSocket* socket)
        : QObject(socket), m_gate(gate), m_socket(socket), m_scanner(gate->m_limits)
    {
        ++m_gate->m_connections;
        m_gate->m_watches.insert(socket, this);
        m_timer.setSingleShot(true);
        m_timer.setInterval(gate->m_limits.idleMs);
        connect(&m_timer, &QTimer::timeout, this, [this] { drop(); });
        // A long answer that the client takes, however slowly, is no idle connection: each
        // part taken starts the wait again; one that takes nothing is dropped after it.
        connect(socket, &QIODevice::bytesWritten, this, [this] {
            if (m_timer.isActive())
                m_timer.start();
        });
        m_timer.start();
    }
    ~Watch() override
    {
        --m_gate->m_connections;
        m_gate->m_watches.remove(m_socket);
    }

    /// New bytes have come: checked before the HTTP server reads them.
    void look()
    {
        const qint64 seen = m_socket->bytesAvailable();
        if (seen <= m_peeked)
            return;
        const QByteArray fresh = m_socket->peek(seen).mid(m_peeked);
        m_peeked = seen;
        const qint64 before = m_scanner.requests();
        switch (m_scanner.feed(fresh)) {
        case HeadScanner::Verdict::Fine:
            break;
        case HeadScanner::Verdict::HeadTooLarge:
            return m_gate->refuse(m_socket, "431 Request Header Fields Too Large");
        case HeadScanner::Verdict::BodyTooLarge:
            return m_gate->refuse(m_socket, "413 Content Too Large");
        case HeadScanner::Verdict::Malformed:
            return m_gate->refuse(m_socket, "400 Bad Request");
        }
        // The server reads what it is given now: what it leaves counts again next time.
        m_peeked = 0;
        if (m_scanner.requests() > before)
            m_timer.stop(); // being answered
    }
    void answered(bool close)
    {
        if (close) {
            m_socket->disconnectFromHost();
            return;
        }
        if (!m_streaming)
            m_timer.start();
    }
    void stream()
    {
        m_streaming = true;
        m_timer.stop();
    }
    void drop()
    {
        m_socket->abort();
        m_socket->deleteLater();
    }

private:
    HttpGate* m_gate;
    QTcpSocket* m_socket;
    HeadScanner m_scanner;
    QTimer m_timer;
    qint64 m_peeked = 0;
    bool m_streaming = false;
};

HttpGate::HttpGate(const GateLimits& limits, QObject* parent) : QTcpServer(parent), m_limits(limits)
{
}

void HttpGate::incomingConnection(qintptr descriptor)
{
    if (m_connections >= m_limits.maxConnections) {
        // Refused at the door, without a socket object: a flood costs a write and a close.
        static const QByteArray busy = plainResponse("503 Service Unavailable");
        [[maybe_unused]] const ssize_t sent =
            ::send(int(descriptor), busy.constData(), size_t(busy.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
        ::close(int(descriptor));
        return;
    }
    QTcpSocket* socket = nullptr;
    if (m_tls) {
        auto* ssl = new QSslSocket(this);
        ssl->setSslConfiguration(*m_tls);
        socket = ssl;
    } else {
        socket = new QTcpSocket(this);
    }
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    // A request is small; what a client sends beyond its limits is refused anyway.
    socket->setReadBufferSize(m_limits.maxHeadBytes + m_limits.maxBodyBytes + 4096);
    auto* watch = new Watch(this, socket);
    connect(socket, &QIODevice::readyRead, watch, &Watch::look);
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    if (auto* ssl = qobject_cast<QSslSocket*>(socket)) {
        // Handed to the HTTP server once the handshake is done; a failed one ends it.
        connect(ssl, &QSslSocket::encrypted, this, [this, ssl] { admit(ssl); });
        connect(ssl, &QSslSocket::errorOccurred, watch, &Watch::drop);
        ssl->startServerEncryption();
        return;
    }
    admit(socket);
}

void HttpGate::admit(QTcpSocket* socket)
{
    addPendingConnection(socket);
    Q_EMIT newConnection();
}

void HttpGate::refuse(QTcpSocket* socket, QByteArrayView status)
{
    if (m_server)
        QObject::disconnect(socket, &QIODevice::readyRead, m_server, nullptr);
    socket->write(plainResponse(status));
    socket->disconnectFromHost();
    // One that does not take its answer is not waited for beyond the usual time.
}

void HttpGate::responseDone(QTcpSocket* socket, bool close)
{
    if (Watch* w = m_watches.value(socket))
        w->answered(close);
}

void HttpGate::streaming(QTcpSocket* socket)
{
    if (Watch* w = m_watches.value(socket))
        w->stream();
}

bool HttpGate::send(QTcpSocket* socket, const QByteArray& bytes)
{
    Watch* w = m_watches.value(socket);
    if (!w || socket->state() != QAbstractSocket::ConnectedState)
        return false;
    // What was sent before and is not taken yet counts, not the reply itself: a download may
    // be far larger than the limit, which is for a live page whose events pile up.
    if (socket->bytesToWrite() > m_limits.maxUnsentBytes) {
        w->drop();
        return false;
    }
    return socket->write(bytes) == bytes.size();
}

} // namespace pexumo
