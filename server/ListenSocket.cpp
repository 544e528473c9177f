#include "server/ListenSocket.h"

#include "server/FtpServer.h"

bool CListenSocket::Open(int port, const std::string& address) {
    if (port < 0 || port > 65535) return false;
    if (!address.empty()) {
        const auto family =
            address.find(':') != std::string::npos ? AddressFamily::V6 : AddressFamily::V4;
        return Create(family) && Bind(address, static_cast<std::uint16_t>(port)) &&
               Listen(MaxListenBacklog());
    }
    // A dual-stack socket serves IPv6 and IPv4 clients; a host without IPv6 falls back.
    bool ok = (Create(AddressFamily::V6) && Bind("", static_cast<std::uint16_t>(port))) ||
              (Create(AddressFamily::V4) && Bind("", static_cast<std::uint16_t>(port)));
    // A burst of clients waits in the largest backlog the system allows instead of
    // overflowing a short queue.
    return ok && Listen(MaxListenBacklog());
}

void CListenSocket::OnAccept(int /*error*/) {
    // Take every pending connection: the notification is level-triggered, but taking
    // them all keeps a burst from waiting one loop pass each.
    for (;;) {
        int fd = Accept();
        if (fd < 0) return;
        m_server.AcceptConnection(fd);
    }
}
