#pragma once

#include "alarm/alarmsettings.h"
#include "web/journaldesk.h"
#include "web/webauth.h"
#include "web/webreply.h"

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

class QTcpSocket;

namespace pexumo {

class HttpGate;

/// The journal a request names by its "j" item (an id of the listed journals); none for any
/// other value: no path ever comes from a request.
std::optional<JournalEntry> journalItem(const WebRequest& request, const JournalDesk& desk);

/// The pages, their scripts and styles (built into the program), the site's data (/api/site)
/// and its live stream (/events, Server-Sent Events: the site's data again whenever a journal
/// changes).
class SiteRoutes : public QObject, public WebRoutes
{
    Q_OBJECT
public:
    /// \a login: a password is asked (the pages then offer to log out).
    SiteRoutes(JournalDesk& desk, HttpGate& gate, QString title, bool login,
               QObject* parent = nullptr);
    bool serve(const WebRequest& request, const Respond& respond) override;
    /// Opens a live stream on \a socket: headers, the site's data, then an event per change.
    void openStream(QTcpSocket* socket, const QList<QPair<QByteArray, QByteArray>>& headers);
    int streams() const { return int(m_streams.size()); }

private:
    void refresh();
    void broadcast(const QByteArray& event);
    void readSite(std::function<void(QJsonObject)> done);

    JournalDesk& m_desk;
    HttpGate& m_gate;
    QString m_title;
    bool m_login = false;
    QList<QPointer<QTcpSocket>> m_streams;
    QByteArray m_lastSite;
    bool m_reading = false;
    bool m_again = false;
};

/// The meter page's data: a session, its lists with their units and limits (/api/meter).
class MeterRoutes : public WebRoutes
{
public:
    MeterRoutes(JournalDesk& desk, AlarmSettings limits) : m_desk(desk), m_limits(limits) {}
    bool serve(const WebRequest& request, const Respond& respond) override;

private:
    JournalDesk& m_desk;
    AlarmSettings m_limits;
};

/// A chart's points, reduced in the server (/api/series), and the exact row under the pointer
/// (/api/row).
class SeriesRoutes : public WebRoutes
{
public:
    static constexpr int MaxColumns = 4096;
    explicit SeriesRoutes(JournalDesk& desk) : m_desk(desk) {}
    bool serve(const WebRequest& request, const Respond& respond) override;

private:
    JournalDesk& m_desk;
};

/// The alarm events of the journals, newest first (/api/alarms).
class AlarmRoutes : public WebRoutes
{
public:
    static constexpr int MaxEvents = 1000;
    explicit AlarmRoutes(JournalDesk& desk) : m_desk(desk) {}
    bool serve(const WebRequest& request, const Respond& respond) override;

private:
    JournalDesk& m_desk;
};

/// A session's list as a file (/download): the window's CSV or text layout, byte for byte what
/// pexumo-journal export writes.
class ExportRoutes : public WebRoutes
{
public:
    explicit ExportRoutes(JournalDesk& desk) : m_desk(desk) {}
    bool serve(const WebRequest& request, const Respond& respond) override;

private:
    JournalDesk& m_desk;
};

/// The login (/login: the form and its POST) and the logout (POST /logout). A password is
/// checked on a thread of its own, one at a time (each check takes tens of milliseconds and
/// 19 MiB), and answered on the server's thread when done: the server goes on answering
/// meanwhile.
class AuthRoutes : public WebRoutes
{
public:
    static constexpr char CookieName[] = "pexumo_session";
    explicit AuthRoutes(WebAuth& auth);
    ~AuthRoutes() override;
    bool serve(const WebRequest& request, const Respond& respond) override;
    /// \a request may see what it asks for: no password is asked, it carries a valid session,
    /// or it asks for what the login page itself needs.
    bool admits(const WebRequest& request);

private:
    void answer(const WebRequest& request, WebAuth::Login result, const QByteArray& token,
                const Respond& respond);

    WebAuth& m_auth;
    QObject m_context; ///< where the checks' results come back: the server's thread
    QThreadPool m_checks;
};

/// The bytes of a page or asset built into the program (":/web/NAME"); empty when none.
QByteArray builtInAsset(const QString& name, QByteArray* contentType);

} // namespace pexumo
