#include "platform/TlsServerConnection.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "platform/Socket.h"
#include "platform/TlsContext.h"
#include "platform/TlsStream.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

int MillisecondsUntil(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(left.count());
}

// The socket's own time-out for receiving or sending (SO_RCVTIMEO, SO_SNDTIMEO), which a
// caller may set to bound a whole request; `limit` when it is shorter or none is set.
std::chrono::milliseconds WithSocketTimeout(int fd, int option, std::chrono::milliseconds limit) {
    timeval value{};
    socklen_t size = sizeof value;
    if (::getsockopt(fd, SOL_SOCKET, option, &value, &size) != 0) return limit;
    const std::chrono::milliseconds socket =
        std::chrono::seconds(value.tv_sec) + std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 std::chrono::microseconds(value.tv_usec));
    return socket.count() > 0 ? std::min(limit, socket) : limit;
}

}  // namespace

CTlsServerConnection::CTlsServerConnection(std::shared_ptr<CTlsContext> context, UniqueFd fd)
    : m_context(std::move(context)), m_fd(std::move(fd)) {
    const int flags = ::fcntl(m_fd.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(m_fd.Get(), F_SETFL, flags | O_NONBLOCK) != 0 || !m_context) {
        m_failed = true;
        return;
    }
    m_tls = std::make_unique<CTlsStream>(m_context->Native(), m_fd.Get(), std::string(), false);
    if (!m_tls->IsValid()) m_failed = true;
}

CTlsServerConnection::~CTlsServerConnection() = default;

bool CTlsServerConnection::WaitFor(short events, SteadyClock::time_point deadline) const {
    for (;;) {
        pollfd p{m_fd.Get(), events, 0};
        const int ready = ::poll(&p, 1, MillisecondsUntil(deadline));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

bool CTlsServerConnection::Handshake(std::chrono::milliseconds limit, std::string& error) {
    const auto deadline = SteadyClock::now() + WithSocketTimeout(m_fd.Get(), SO_RCVTIMEO, limit);
    while (!m_failed) {
        const CTlsStream::Step step = m_tls->Handshake();
        if (step == CTlsStream::Step::Done) return true;
        if (step == CTlsStream::Step::Failed) {
            error = "TLS handshake failed";
            break;
        }
        if (!WaitFor(step == CTlsStream::Step::WantRead ? POLLIN : POLLOUT, deadline)) {
            error = "TLS handshake timed out";
            break;
        }
    }
    m_failed = true;
    if (error.empty()) error = "TLS is unavailable";
    return false;
}

bool CTlsServerConnection::HandshakeDone() const { return m_tls && m_tls->HandshakeDone(); }

long CTlsServerConnection::Read(char* buffer, std::size_t size, std::chrono::milliseconds limit) {
    if (m_failed || !HandshakeDone()) return -1;
    const auto deadline = SteadyClock::now() + WithSocketTimeout(m_fd.Get(), SO_RCVTIMEO, limit);
    for (;;) {
        int error = 0;
        bool wantsWrite = false;
        const long got = m_tls->Read(buffer, size, error, wantsWrite);
        if (got >= 0) return got;
        if (error != SocketError::kWouldBlock ||
            !WaitFor(wantsWrite ? POLLOUT : POLLIN, deadline)) {
            m_failed = true;
            return -1;
        }
    }
}

long CTlsServerConnection::Write(const char* data, std::size_t size,
                                 std::chrono::milliseconds limit) {
    if (m_failed || !HandshakeDone()) return -1;
    const auto deadline = SteadyClock::now() + WithSocketTimeout(m_fd.Get(), SO_SNDTIMEO, limit);
    std::size_t done = 0;
    while (done < size) {
        int error = 0;
        bool wantsWrite = false;
        const long sent = m_tls->Write(data + done, size - done, error, wantsWrite);
        if (sent > 0) {
            done += static_cast<std::size_t>(sent);
            continue;
        }
        if (error != SocketError::kWouldBlock ||
            !WaitFor(wantsWrite ? POLLOUT : POLLIN, deadline)) {
            m_failed = true;
            return -1;
        }
    }
    return static_cast<long>(size);
}

bool CTlsServerConnection::WaitReadable(std::chrono::milliseconds limit) {
    if (m_failed || !HandshakeDone()) return false;
    if (m_tls->HasPending()) return true;
    return WaitFor(POLLIN, SteadyClock::now() + limit);
}

void CTlsServerConnection::Close(std::chrono::milliseconds limit) {
    if (m_tls && !m_failed) m_tls->Shutdown(static_cast<int>(limit.count()));
    m_failed = true;
}

std::string CTlsServerConnection::Description() const {
    return HandshakeDone() ? m_tls->Description() : std::string();
}
