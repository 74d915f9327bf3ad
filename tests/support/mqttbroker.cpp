#include "support/mqttbroker.h"

#include "support/loopback.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>

#include <csignal>

#include <unistd.h>

namespace pexumo::test {

namespace {

// The broker lives in /usr/sbin, which an ordinary user's PATH may lack.
QString mosquittoPath()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    return found.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("mosquitto"),
                                                            {QStringLiteral("/usr/sbin")})
                           : found;
}

} // namespace

MqttBroker::~MqttBroker()
{
    stop();
}

bool MqttBroker::isInstalled()
{
    return !mosquittoPath().isEmpty();
}

bool MqttBroker::requireLogin(const QString& user, const QString& password)
{
    QProcess passwd;
    passwd.start(QStringLiteral("mosquitto_passwd"), {QStringLiteral("-c"), QStringLiteral("-b"),
                                                      m_dir.filePath("passwords"), user, password});
    m_login = passwd.waitForFinished() && passwd.exitStatus() == QProcess::NormalExit &&
              passwd.exitCode() == 0;
    if (!m_login)
        m_error = QStringLiteral("mosquitto_passwd failed: ") + passwd.readAllStandardError();
    return m_login;
}

QString MqttBroker::requireTls()
{
    const QString certificate = m_dir.filePath("certificate.pem");
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                   "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                   "subjectAltName=IP:127.0.0.1", "-keyout", m_dir.filePath("key.pem"), "-out",
                   certificate});
    m_tls = openssl.waitForFinished() && openssl.exitStatus() == QProcess::NormalExit &&
            openssl.exitCode() == 0;
    if (!m_tls)
        m_error = QStringLiteral("openssl failed: ") + openssl.readAllStandardError();
    return m_tls ? certificate : QString();
}

bool MqttBroker::start()
{
    if (m_port == 0)
        m_port = freeLoopbackPort();
    QByteArray config = "listener " + QByteArray::number(m_port) + " 127.0.0.1\n";
    config += m_login ? "allow_anonymous false\npassword_file " +
                            QFile::encodeName(m_dir.filePath("passwords")) + "\n"
                      : QByteArray("allow_anonymous true\n");
    if (m_tls)
        config += "certfile " + QFile::encodeName(m_dir.filePath("certificate.pem")) +
                  "\nkeyfile " + QFile::encodeName(m_dir.filePath("key.pem")) + "\n";
    // Queued messages of a lasting session survive a restart only with a store; the subscriber
    // may be away for a while, so its queue has no limit.
    config += "persistence true\npersistence_location " + QFile::encodeName(m_dir.path()) +
              "/\nmax_queued_messages 0\nlog_dest stderr\n";
    // Started as root, the broker would become the user "mosquitto" and lose its own folder.
    if (::geteuid() == 0)
        config += "user root\n";
    QFile file(m_dir.filePath("mosquitto.conf"));
    if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size() || !file.flush()) {
        m_error = QStringLiteral("cannot write the broker's configuration");
        return false;
    }
    file.close();

    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(mosquittoPath(), {QStringLiteral("-c"), file.fileName()});
    QByteArray log;
    const QDeadlineTimer deadline(10000);
    while (!log.contains(" running") && m_process.state() != QProcess::NotRunning &&
           !deadline.hasExpired()) {
        m_process.waitForReadyRead(int(deadline.remainingTime()));
        log += m_process.readAll();
    }
    if (log.contains(" running"))
        return true;
    m_error = QStringLiteral("mosquitto did not start: ") + QString::fromLocal8Bit(log);
    stop();
    return false;
}

void MqttBroker::pause(bool paused)
{
    if (m_process.state() != QProcess::NotRunning)
        ::kill(pid_t(m_process.processId()), paused ? SIGSTOP : SIGCONT);
}

void MqttBroker::stop()
{
    pause(false); // a stopped process would not take the SIGTERM
    if (m_process.state() == QProcess::NotRunning)
        return;
    // A SIGTERM that comes just after "running" is lost (the main loop starts by clearing its
    // stop flag): ask again until it ends, and only kill a broker that never does, whose store
    // would then be lost.
    for (int i = 0; i < 50 && m_process.state() != QProcess::NotRunning; ++i) {
        m_process.terminate();
        m_process.waitForFinished(200);
    }
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

} // namespace pexumo::test
