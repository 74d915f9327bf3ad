#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace pexumo::test {

/// A real MQTT broker (the system's mosquitto) for one test, on a free loopback port, with a
/// folder of its own for its configuration and its persistent store. stop() and start() again
/// give a broker restart on the same port that keeps queued messages and lasting sessions.
class MqttBroker
{
public:
    MqttBroker() = default;
    ~MqttBroker();
    MqttBroker(const MqttBroker&) = delete;
    MqttBroker& operator=(const MqttBroker&) = delete;

    /// False when the broker is not installed (the test should skip).
    static bool isInstalled();

    /// From the next start() on, only \a user with \a password may connect. False, with
    /// errorString(), when the password file could not be made.
    bool requireLogin(const QString& user, const QString& password);
    /// From the next start() on, the broker speaks TLS only, with a certificate of its own for
    /// 127.0.0.1. Returns that certificate, the CA file a client needs; "" with errorString()
    /// when it could not be made.
    QString requireTls();
    /// Starts the broker and waits until it listens; false, with errorString(), when it does not.
    bool start();
    /// Ends the broker as a shutdown of the system would; it saves its store first.
    void stop();
    /// Stops the broker's process where it is (SIGSTOP), as a broker that hangs: connections
    /// stay open and the system still takes new ones, but nothing is answered. Or lets it go on.
    void pause(bool paused);

    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    bool m_login = false;
    bool m_tls = false;
    QString m_error;
};

} // namespace pexumo::test
