#pragma once

// Header only, for the publisher's tests and the logger's.

#include <QtGlobal>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pexumo::test {

/// A loopback address that takes no connection and refuses none: a listening socket whose
/// queue of one is filled at once and never accepted, so the system drops every later attempt's
/// first packet, as a firewall that drops packets would. A client's connect waits until it
/// gives up by itself.
class BlackHole
{
public:
    BlackHole()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(m_listener, 0) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(m_filler, reinterpret_cast<sockaddr*>(&address), size) != 0)
            m_port = 0;
    }
    ~BlackHole()
    {
        for (int fd : {m_filler, m_listener})
            if (fd >= 0)
                ::close(fd);
    }
    BlackHole(const BlackHole&) = delete;
    BlackHole& operator=(const BlackHole&) = delete;

    /// The port on 127.0.0.1; 0 when it could not be set up.
    quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    int m_filler = -1;
    quint16 m_port = 0;
};

} // namespace pexumo::test
