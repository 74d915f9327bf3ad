#pragma once

// Runs the real pexumo-web program and talks to it over plain sockets: what a browser, a phone
// or an attacker on the network would do, byte for byte.

#include "support/programrun.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>

namespace pexumo::test {

/// A pexumo-web process with a private home, ended (SIGTERM) when the object goes.
class WebProgram
{
public:
    explicit WebProgram(const QString& home)
    {
        m_process.setProcessEnvironment(privateHome(home, Display::None));
        m_process.setWorkingDirectory(home);
    }
    ~WebProgram() { stop(); }

    /// Starts it with \a args and waits up to 10 s for the address it prints; false when it
    /// ended first (see exitCode() and errors()).
    bool start(const QStringList& args)
    {
        m_process.start(QStringLiteral(PEXUMO_WEB_PATH), args);
        if (!m_process.waitForStarted())
            return false;
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            m_out += m_process.readAllStandardOutput();
            static const QRegularExpression address(QStringLiteral("open (https?)://([^ /]+):(\\d+)/"));
            const QRegularExpressionMatch m = address.match(QString::fromUtf8(m_out));
            if (m.hasMatch()) {
                m_port = quint16(m.captured(3).toUInt());
                return true;
            }
            if (m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(100);
        }
        return false;
    }
    /// Runs it to its end with \a args (for a start that must fail); its exit status.
    int runToEnd(const QStringList& args, const QByteArray& input = {})
    {
        const ProgramRun run = runProgram(m_process, QStringLiteral(PEXUMO_WEB_PATH), args, input);
        m_out = run.out;
        m_err = run.err;
        return run.exitCode;
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    quint16 port() const { return m_port; }
    QByteArray output() const { return m_out; }
    QByteArray errors()
    {
        m_err += m_process.readAllStandardError();
        return m_err;
    }
    bool running() const { return m_process.state() == QProcess::Running; }

private:
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
    quint16 m_port = 0;
};

/// A plain TCP connection to 127.0.0.1:port, from the loopback address 127.0.0.\a from (any
/// of 127/8 is this computer's own); -1 when it could not connect.
inline int connectTo(quint16 port, int from = 0)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (from > 0) {
        sockaddr_in source = {};
        source.sin_family = AF_INET;
        source.sin_addr.s_addr = htonl(INADDR_LOOPBACK - 1 + quint32(from));
        if (::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
            ::close(fd);
            return -1;
        }
    }
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline bool sendAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

/// What a connection received within \a timeoutMs, and whether the server closed it.
struct Received
{
    QByteArray bytes;
    bool closed = false;
    qint64 closedAfterMs = -1; ///< from the call, when closed
};

/// Reads until the server closes the connection, \a until is found, or \a timeoutMs passes.
inline Received readFrom(int fd, int timeoutMs, const QByteArray& until = {})
{
    Received r;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(std::max<qint64>(1, timeoutMs - clock.elapsed()))) <= 0)
            break;
        char buf[65536];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            r.closed = true;
            r.closedAfterMs = clock.elapsed();
            break;
        }
        r.bytes.append(buf, n);
        if (!until.isEmpty() && r.bytes.contains(until))
            break;
    }
    return r;
}

/// One request on a new connection that asks to be closed after it: the whole answer.
inline QByteArray exchange(quint16 port, const QByteArray& request, int timeoutMs = 10000)
{
    const int fd = connectTo(port);
    if (fd < 0)
        return {};
    sendAll(fd, request);
    const Received r = readFrom(fd, timeoutMs);
    ::close(fd);
    return r.bytes;
}

inline QByteArray get(quint16 port, const QByteArray& target, const QByteArray& extra = {})
{
    return exchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra +
                              "Connection: close\r\n\r\n");
}

/// The status code of an answer; 0 for none.
inline int statusOf(const QByteArray& answer)
{
    return answer.startsWith("HTTP/1.1 ") ? answer.mid(9, 3).toInt() : 0;
}

/// The body of an answer (after the blank line).
inline QByteArray bodyOf(const QByteArray& answer)
{
    const qsizetype end = answer.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : answer.mid(end + 4);
}

/// The value of header \a name of an answer ("" when none).
inline QByteArray headerOf(const QByteArray& answer, const QByteArray& name)
{
    const qsizetype end = answer.indexOf("\r\n\r\n");
    for (const QByteArray& line : answer.left(end).split('\n'))
        if (line.toLower().startsWith(name.toLower() + ':'))
            return line.mid(name.size() + 1).trimmed();
    return {};
}

} // namespace pexumo::test
