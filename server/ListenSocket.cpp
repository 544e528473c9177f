#include "server/ListenSocket.h"

#include "server/FtpServer.h"
#include "server/Limits.h"

CListenSocket::~CListenSocket() {
    if (m_resumeTimer != 0) EventLoop::Current()->CancelTimer(m_resumeTimer);
}

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
        const int fd = Accept();
        if (fd >= 0) {
            m_server.AcceptConnection(fd, m_implicitTls);
        } else if (!IsOutOfDescriptors(LastError()) || !DropOneAtLimit()) {
            return;
        }
    }
}

bool CListenSocket::DropOneAtLimit() {
    // SECURITY: at the descriptor limit a waiting connection can be neither served nor
    // taken: it would sit in the backlog unanswered while poll reports it again and
    // again. The reserve makes room to take it and close it at once.
    if (!m_reserve.IsHeld()) {
        PauseAccepting();
        return false;
    }
    m_reserve.Release();
    const int fd = Accept();
    if (fd >= 0) m_server.DropAtDescriptorLimit(fd, m_implicitTls);
    (void)m_reserve.Refill();
    return fd >= 0;
}

void CListenSocket::PauseAccepting() {
    // Another thread took the reserve's place: poll would report the waiting connection
    // without end, so accepting rests for a moment instead of spinning.
    if (m_resumeTimer != 0) return;
    EnableRead(false);
    m_resumeTimer = EventLoop::Current()->AddTimer(kAcceptPauseAtLimit, [this] {
        EventLoop::Current()->CancelTimer(m_resumeTimer);
        m_resumeTimer = 0;
        (void)m_reserve.Refill();
        EnableRead(true);
    });
}
