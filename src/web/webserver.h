#pragma once

#include "alarm/alarmsettings.h"
#include "web/httpgate.h"
#include "web/webauth.h"
#include "web/webconfig.h"
#include "web/webreply.h"

#include <QtHttpServer/QAbstractHttpServer>

#include <memory>
#include <vector>

namespace pexumo {

class JournalDesk;
class SiteRoutes;
class AuthRoutes;

/// pexumo-web's server: Qt's HTTP server parses each request that the gate let through, and
/// this class turns it into a WebRequest, lets only a logged-in one pass (when a password is
/// asked), hands it to the group of routes that knows its path, and writes the reply with the
/// headers every reply carries: a Content-Security-Policy that allows only the program's own
/// scripts and styles, no sniffing, no framing, no referrer. Replies on one connection go out
/// in the order of its requests, whichever is read first.
class WebServer : public QAbstractHttpServer
{
    Q_OBJECT
public:
    struct Setup
    {
        WebSettings settings;
        AlarmSettings limits;
        std::optional<QByteArray> passwordHash; ///< asks for a password when set
        GateLimits gate;
        std::optional<QSslConfiguration> tls;
        WebAuth::Clock clock; ///< the login's clock; the system's when empty
    };

    explicit WebServer(Setup setup, QObject* parent = nullptr);
    ~WebServer() override;

    /// Listens where the settings say; "" or why it cannot.
    QString start();
    /// The address it listens on (with the port picked when the settings said 0).
    ListenAddress address() const;
    HttpGate& gate() { return *m_gate; }
    JournalDesk& desk() { return *m_desk; }
    int liveStreams() const;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    void reply(QTcpSocket* socket, quint64 ticket, const WebReply& reply, bool head, bool close);

    Setup m_setup;
    HttpGate* m_gate = nullptr;
    std::unique_ptr<JournalDesk> m_desk;
    std::unique_ptr<WebAuth> m_auth;
    SiteRoutes* m_site = nullptr;
    std::unique_ptr<AuthRoutes> m_authRoutes;
    std::vector<std::unique_ptr<WebRoutes>> m_routes;
};

/// The headers every reply carries.
const QList<QPair<QByteArray, QByteArray>>& commonHeaders();

} // namespace pexumo
