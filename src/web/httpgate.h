#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QPointer>
#include <QSslConfiguration>
#include <QTcpServer>

#include <optional>

class QTcpSocket;
class QTimer;

namespace pexumo {

/// The limits a connection lives under.
struct GateLimits
{
    qsizetype maxHeadBytes = 16 * 1024; ///< request line and headers, up to the blank line
    qsizetype maxBodyBytes = 16 * 1024; ///< a form's body (the login); pages are fetched by GET
    /// A connection must bring a whole request within this time of being ready for one (the
    /// accept, the end of the last response): an idle keep-alive connection and a client that
    /// sends a byte now and then are closed alike.
    int idleMs = 30000;
    int maxConnections = 200;
    /// A connection that stops reading while more than this waits to be sent is dropped at
    /// the next write (a live page whose events pile up); one reply may be larger.
    qint64 maxUnsentBytes = 1 << 20;
};

/// Follows the bytes of one connection's requests without keeping them: counts the request
/// line and headers of each request and skips its body by its Content-Length.
class HeadScanner
{
public:
    enum class Verdict
    {
        Fine,
        HeadTooLarge, ///< 431
        BodyTooLarge, ///< 413
        Malformed     ///< 400: a chunked body, an unreadable or repeated Content-Length
    };

    explicit HeadScanner(const GateLimits& limits) : m_limits(limits) {}

    /// Takes the next bytes of the connection; the first problem ends the connection.
    Verdict feed(QByteArrayView bytes);
    /// Some bytes of a request have come, but not all of it.
    bool midRequest() const { return m_headBytes > 0 || m_bodyLeft > 0; }
    /// Whole requests seen so far.
    qint64 requests() const { return m_requests; }

private:
    Verdict endOfHead();

    GateLimits m_limits;
    QByteArray m_head; ///< the head so far (at most maxHeadBytes)
    qsizetype m_headBytes = 0;
    qint64 m_bodyLeft = 0;
    qint64 m_requests = 0;
};

/// Where pexumo-web's connections come in: a QTcpServer that accepts, encrypts (with TLS) and
/// watches every connection before and while Qt's HTTP server parses it. Qt HTTP Server 6.4
/// has no limit on a request's head (it buffers 100 KiB heads and more), no timeout of an idle
/// or slow connection, no cap on connections and ignores "Connection: close"; owning the
/// sockets here gives all four, and leaves the parsing and the routing to the module.
///
/// The gate connects to each socket's readyRead before the HTTP server does, so it sees every
/// byte first (by peeking, without taking it). A request whose head is too large gets its
/// answer (431) from the gate, and the connection is closed before the server acts on it.
class HttpGate : public QTcpServer
{
    Q_OBJECT

public:
    explicit HttpGate(const GateLimits& limits, QObject* parent = nullptr);

    /// Encrypts every connection with \a config (certificate and key set).
    void setTls(const QSslConfiguration& config) { m_tls = config; }
    bool tls() const { return m_tls.has_value(); }
    /// The object that parses the requests: a connection the gate closes for a bad head is
    /// taken from it first.
    void setHttpServer(QObject* server) { m_server = server; }

    /// A response to a request on \a socket has been written: the connection waits for the
    /// next one, or is closed when \a close.
    void responseDone(QTcpSocket* socket, bool close);
    /// \a socket carries a live stream from now on: no idle timeout while it is open.
    void streaming(QTcpSocket* socket);
    /// Writes \a bytes to \a socket, or drops a connection that stopped reading (more than
    /// maxUnsentBytes not taken yet). False when the connection is gone.
    bool send(QTcpSocket* socket, const QByteArray& bytes);

    int connections() const { return m_connections; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    class Watch;
    void admit(QTcpSocket* socket);
    void refuse(QTcpSocket* socket, QByteArrayView status);

    GateLimits m_limits;
    std::optional<QSslConfiguration> m_tls;
    QPointer<QObject> m_server;
    int m_connections = 0;
    QHash<QTcpSocket*, Watch*> m_watches;
};

} // namespace pexumo
