#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/SocketTuning.h"
#include "platform/TlsContext.h"
#include "platform/TlsStream.h"

namespace SocketError {
const int kWouldBlock = EWOULDBLOCK;
const int kInvalidArgument = EINVAL;
const int kNetworkReset = ENETRESET;
const int kConnectionAborted = ECONNABORTED;
const int kConnectionReset = ECONNRESET;
const int kTimedOut = ETIMEDOUT;
const int kPermissionDenied = EACCES;
const int kTlsFailed = EPROTO;
const int kTlsTruncated = ENODATA;
}  // namespace SocketError

std::string SocketErrorText(int error) { return std::strerror(error); }

namespace {

// How long Close waits for the socket to take a close_notify.
const int kCloseNotifyWaitMs = 5000;
// How often a waiting SendAll looks whether its wait was abandoned.
const int kAbandonCheckMs = 100;

std::atomic<bool> g_sendWaitsAbandoned{false};

// poll() for one descriptor, cut short (as a time-out) once send waits are abandoned.
int PollUnlessAbandoned(pollfd& p, int timeoutMs) {
    for (int left = timeoutMs;;) {
        if (g_sendWaitsAbandoned.load(std::memory_order_relaxed)) return 0;
        const int slice = std::min(left, kAbandonCheckMs);
        const int ready = ::poll(&p, 1, slice);
        left -= slice;
        if (ready != 0 || left <= 0) return ready;
    }
}

int Domain(AddressFamily family) { return family == AddressFamily::V6 ? AF_INET6 : AF_INET; }

// Fills `out` for `address` ("" = any); IPv4 text on a V6 socket becomes IPv4-mapped.
bool MakeAddress(AddressFamily family, const std::string& address, std::uint16_t port,
                 sockaddr_storage& out, socklen_t& length) {
    std::memset(&out, 0, sizeof out);
    if (family == AddressFamily::V4) {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&out);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(INADDR_ANY);
        length = sizeof *in4;
        return address.empty() || ::inet_pton(AF_INET, address.c_str(), &in4->sin_addr) == 1;
    }
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&out);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(port);
    in6->sin6_addr = in6addr_any;
    length = sizeof *in6;
    if (address.empty() || ::inet_pton(AF_INET6, address.c_str(), &in6->sin6_addr) == 1)
        return true;
    in_addr v4;
    if (::inet_pton(AF_INET, address.c_str(), &v4) != 1) return false;
    in6->sin6_addr.s6_addr[10] = 0xff;
    in6->sin6_addr.s6_addr[11] = 0xff;
    std::memcpy(&in6->sin6_addr.s6_addr[12], &v4, 4);
    return true;
}

// A socket of another family (a socket pair's end) has no address or port to show: the
// bytes past its family are not filled in.
bool IsInternetFamily(const sockaddr_storage& address) {
    return address.ss_family == AF_INET || address.ss_family == AF_INET6;
}

std::uint16_t PortOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

}  // namespace

int MaxListenBacklog() { return SOMAXCONN; }

std::string AddressToText(const void* sockaddrStorage) {
    const auto* address = static_cast<const sockaddr_storage*>(sockaddrStorage);
    char text[INET6_ADDRSTRLEN] = {};
    if (address->ss_family == AF_INET) {
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                    sizeof text);
        return text;
    }
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
    if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) {
        ::inet_ntop(AF_INET, &in6->sin6_addr.s6_addr[12], text, sizeof text);
        return text;
    }
    ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    return text;
}

bool CanonicalAddressText(AddressFamily family, const std::string& text, std::string& canonical) {
    std::array<std::uint8_t, 16> bytes{};
    if (!ParseAddressBytes(family, text, bytes)) return false;
    sockaddr_storage storage;
    std::memset(&storage, 0, sizeof storage);
    if (family == AddressFamily::V4) {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
        in4->sin_family = AF_INET;
        std::memcpy(&in4->sin_addr, bytes.data(), sizeof in4->sin_addr);
    } else {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        std::memcpy(&in6->sin6_addr, bytes.data(), sizeof in6->sin6_addr);
    }
    canonical = AddressToText(&storage);
    return true;
}

bool PeerAddressOf(int fd, std::string& address) {
    std::uint16_t port = 0;
    return CAsyncSocket::PeerNameOf(fd, address, port);
}

long SendWithoutWaiting(int fd, const void* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::send(fd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0 || errno != EINTR) return static_cast<long>(n);
    }
}

bool ParseAddressBytes(AddressFamily family, const std::string& text,
                       std::array<std::uint8_t, 16>& bytes) {
    // SECURITY: inet_pton stops at a zero byte; "10.0.0.1\0junk" is not an address.
    if (text.find('\0') != std::string::npos) return false;
    std::array<std::uint8_t, 16> parsed{};
    if (::inet_pton(Domain(family), text.c_str(), parsed.data()) != 1) return false;
    bytes = parsed;
    return true;
}

CAsyncSocket::CAsyncSocket() = default;

CAsyncSocket::~CAsyncSocket() { Close(); }

bool CAsyncSocket::Fail() {
    m_lastError = errno;
    return false;
}

bool CAsyncSocket::Create(AddressFamily family) {
    Close();
    int fd = ::socket(Domain(family), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return Fail();
    if (family == AddressFamily::V6) {
        int off = 0;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    }
    m_family = family;
    m_fd = fd;
    m_mode = Mode::None;
    m_loop = EventLoop::Current();
    return true;
}

bool CAsyncSocket::Bind(const std::string& address, std::uint16_t port) {
    sockaddr_storage storage;
    socklen_t length = 0;
    if (!MakeAddress(m_family, address, port, storage, length)) {
        m_lastError = EINVAL;
        return false;
    }
    int on = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&storage), length) != 0) return Fail();
    return true;
}

bool CAsyncSocket::Listen(int backlog) {
    if (::listen(m_fd, backlog) != 0) return Fail();
    m_mode = Mode::Listening;
    UpdateWatch();
    return true;
}

int CAsyncSocket::Accept() {
    for (;;) {
        int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) return fd;
        if (errno == EINTR) continue;
        m_lastError = errno;
        return -1;
    }
}

bool CAsyncSocket::Attach(int fd) {
    Close();
    sockaddr_storage local;
    socklen_t length = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return Fail();
    m_family = local.ss_family == AF_INET6 ? AddressFamily::V6 : AddressFamily::V4;
    const int flags = ::fcntl(fd, F_GETFL);
    if ((flags & O_NONBLOCK) == 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    Adopt(fd);
    return true;
}

void CAsyncSocket::AttachAccepted(int fd) {
    Close();  // keeps m_family, which the accepted connection shares
    Adopt(fd);
}

void CAsyncSocket::Adopt(int fd) {
    m_fd = fd;
    m_mode = Mode::Connected;
    m_loop = EventLoop::Current();
    m_closeReported = false;
    UpdateWatch();
}

int CAsyncSocket::Detach() {
    CancelTlsTimers();
    m_tls.reset();
    if (m_loop != nullptr && m_fd >= 0) m_loop->Unwatch(m_fd);
    int fd = m_fd;
    m_fd = -1;
    m_mode = Mode::None;
    return fd;
}

bool CAsyncSocket::Connect(const std::string& address, std::uint16_t port) {
    sockaddr_storage storage;
    socklen_t length = 0;
    if (!MakeAddress(m_family, address, port, storage, length)) {
        m_lastError = EINVAL;
        return false;
    }
    int rc = ::connect(m_fd, reinterpret_cast<sockaddr*>(&storage), length);
    if (rc != 0 && errno != EINPROGRESS && errno != EINTR) return Fail();
    m_mode = Mode::Connecting;
    m_wantSend = true;
    UpdateWatch();
    return true;
}

void CAsyncSocket::Close() {
    CancelTlsTimers();
    if (m_fd < 0) {
        m_tls.reset();
        return;
    }
    if (m_loop != nullptr) m_loop->Unwatch(m_fd);
    if (m_tls) {
        // A peer tells a complete download from a cut one by the close_notify.
        m_tls->Shutdown(kCloseNotifyWaitMs);
        m_tls.reset();
    }
    ::close(m_fd);
    m_fd = -1;
    m_mode = Mode::None;
    m_wantSend = false;
}

long CAsyncSocket::Receive(void* buffer, std::size_t size) {
    if (m_tls) {
        bool wantsWrite = false;
        const long n = m_tls->HandshakeDone() ? m_tls->Read(buffer, size, m_lastError, wantsWrite)
                                              : (m_lastError = EWOULDBLOCK, -1);
        if (n < 0 && wantsWrite) RequestSendNotification();
        return n;
    }
    for (;;) {
        ssize_t n = ::recv(m_fd, buffer, size, 0);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        m_lastError = errno;
        return -1;
    }
}

long CAsyncSocket::ReceiveIntoPipe(int pipeFd, std::size_t size) {
    for (;;) {
        ssize_t n =
            ::splice(m_fd, nullptr, pipeFd, nullptr, size, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        m_lastError = errno;
        return -1;
    }
}

long CAsyncSocket::Send(const void* data, std::size_t size) {
    if (m_tls) {
        bool wantsWrite = true;
        const long n = m_tls->HandshakeDone() ? m_tls->Write(data, size, m_lastError, wantsWrite)
                                              : (m_lastError = EWOULDBLOCK, -1);
        if (n < 0 && m_lastError == EWOULDBLOCK) RequestSendNotification();
        return n;
    }
    for (;;) {
        ssize_t n = ::send(m_fd, data, size, MSG_NOSIGNAL);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        m_lastError = errno;
        if (errno == EWOULDBLOCK) RequestSendNotification();
        return -1;
    }
}

bool CAsyncSocket::SendAll(const void* data, std::size_t size, int timeoutMs) {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        if (m_fd < 0) {
            m_lastError = ENOTCONN;
            return false;
        }
        short waitFor = POLLOUT;
        ssize_t n = 0;
        if (m_tls) {
            bool wantsWrite = true;
            n = m_tls->HandshakeDone() ? m_tls->Write(next, size, m_lastError, wantsWrite) : -1;
            if (n < 0 && (!m_tls->HandshakeDone() || m_lastError != EWOULDBLOCK)) return false;
            if (!wantsWrite) waitFor = POLLIN;
            errno = m_lastError;
        } else {
            n = ::send(m_fd, next, size, MSG_NOSIGNAL);
        }
        if (n > 0) {
            next += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EWOULDBLOCK) return Fail();
        pollfd p{m_fd, waitFor, 0};
        const int ready = PollUnlessAbandoned(p, timeoutMs);
        if (ready == 0) {
            m_lastError = ETIMEDOUT;
            return false;
        }
        if (ready < 0 && errno != EINTR) return Fail();
    }
    return true;
}

void CAsyncSocket::SetSendWaitsAbandoned(bool abandoned) {
    g_sendWaitsAbandoned.store(abandoned, std::memory_order_relaxed);
}

long CAsyncSocket::SendFile(int fileFd, std::int64_t* offset, std::size_t count) {
    if (m_tls) {
        bool wantsWrite = true;
        const long n = m_tls->HandshakeDone()
                           ? m_tls->WriteFile(fileFd, offset, count, m_lastError, wantsWrite)
                           : (m_lastError = EWOULDBLOCK, -1);
        if (n < 0 && m_lastError == EWOULDBLOCK) RequestSendNotification();
        return n;
    }
    for (;;) {
        off_t position = static_cast<off_t>(*offset);
        ssize_t n = ::sendfile(m_fd, fileFd, &position, count);
        if (n >= 0) {
            *offset = position;
            return static_cast<long>(n);
        }
        if (errno == EINTR) continue;
        m_lastError = errno;
        if (errno == EWOULDBLOCK) RequestSendNotification();
        return -1;
    }
}

int CAsyncSocket::PollReadable() const {
    if (m_fd < 0) return -1;
    if (m_tls && m_tls->HasPending()) return 1;
    pollfd p{m_fd, POLLIN, 0};
    int ready = ::poll(&p, 1, 0);
    if (ready < 0) return -1;
    return ready > 0 ? 1 : 0;
}

int CAsyncSocket::PeekByte() {
    if (m_tls && m_tls->HandshakeDone()) {
        const int peeked = m_tls->Peek(m_lastError);
        // The peek may have taken a record off the socket: poll no longer sees it.
        if (peeked == 1) ReadTlsPendingSoon();
        return peeked;
    }
    char byte;
    for (;;) {
        ssize_t n = ::recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        m_lastError = errno;
        return -1;
    }
}

bool CAsyncSocket::GetPeerName(std::string& address, std::uint16_t& port) const {
    return PeerNameOf(m_fd, address, port);
}

bool CAsyncSocket::PeerNameOf(int fd, std::string& address, std::uint16_t& port) {
    sockaddr_storage storage;
    socklen_t length = sizeof storage;
    if (fd < 0 || ::getpeername(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
        return false;
    if (!IsInternetFamily(storage)) return false;
    address = AddressToText(&storage);
    port = PortOf(storage);
    return true;
}

bool CAsyncSocket::GetSockName(std::string& address, std::uint16_t& port) const {
    sockaddr_storage storage;
    socklen_t length = sizeof storage;
    if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
        return false;
    if (!IsInternetFamily(storage)) return false;
    address = AddressToText(&storage);
    port = PortOf(storage);
    return true;
}

void CAsyncSocket::EnableRead(bool enable) {
    m_readEnabled = enable;
    UpdateWatch();
    if (enable) ReadTlsPendingSoon();
}

void CAsyncSocket::RequestSendNotification() {
    m_wantSend = true;
    UpdateWatch();
}

void CAsyncSocket::UpdateWatch() {
    if (m_fd < 0 || m_loop == nullptr) return;
    short events = 0;
    if (m_tls && !m_tls->HandshakeDone()) {
        if (m_handshakeEvents == 0)
            m_loop->Unwatch(m_fd);
        else
            m_loop->Watch(m_fd, m_handshakeEvents, this);
        return;
    }
    if (m_readEnabled && !m_closeReported && m_mode != Mode::Connecting)
        events |= POLLIN | POLLRDHUP;
    if (m_wantSend) events |= POLLOUT;
    // poll reports a hang-up or an error even for no events, again on every pass: a
    // socket that wants nothing now is left out, or a paused reader would spin.
    if (events == 0)
        m_loop->Unwatch(m_fd);
    else
        m_loop->Watch(m_fd, events, this);
}

void CAsyncSocket::OnFdReady(short revents) {
    if (m_fd < 0) return;
    if (m_mode == Mode::Connecting) {
        OnConnectReady();
        return;
    }
    if (m_mode == Mode::Listening) {
        if (revents & POLLIN) OnAccept(0);
        return;
    }
    if (m_tls && !m_tls->HandshakeDone()) {
        ContinueHandshake();
        return;
    }
    if ((revents & POLLOUT) && m_wantSend) {
        m_wantSend = false;
        UpdateWatch();
        OnSend(0);
        if (m_fd < 0) return;  // the handler closed the socket
    }
    if (revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) OnReadReady(revents);
}

void CAsyncSocket::OnConnectReady() {
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length);
    m_wantSend = false;
    if (error == 0) m_mode = Mode::Connected;
    UpdateWatch();
    OnConnect(error);
}

void CAsyncSocket::OnReadReady(short revents) {
    if (!m_readEnabled || m_closeReported) return;
    const bool peerGone = (revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
    // Data the peer sent before closing is delivered first; the close follows once
    // it has been read. Only a hang-up needs the count, so a plain read costs no ioctl.
    int pending = 0;
    if (peerGone) ::ioctl(m_fd, FIONREAD, &pending);
    if (pending > 0 || !peerGone) {
        if (revents & POLLIN) DeliverReceives();
        return;
    }
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length);
    m_closeReported = true;
    UpdateWatch();
    OnClose(error);
}

// ---- TLS

void CAsyncSocket::DeliverReceives() {
    OnReceive(0);
    // Records already taken off the socket are read now: poll would not report them.
    for (int turn = 0; turn < 64 && m_fd >= 0 && m_tls && m_readEnabled && !m_closeReported &&
                       m_tls->HasPending();
         ++turn)
        OnReceive(0);
    ReadTlsPendingSoon();
}

void CAsyncSocket::ReadTlsPendingSoon() {
    if (m_pendingReadTimer != 0 || m_loop == nullptr || m_fd < 0 || !m_tls ||
        !m_tls->HandshakeDone() || !m_readEnabled || m_closeReported || !m_tls->HasPending())
        return;
    m_pendingReadTimer = m_loop->AddTimer(std::chrono::milliseconds(1), [this] {
        m_loop->CancelTimer(m_pendingReadTimer);
        m_pendingReadTimer = 0;
        if (m_fd >= 0 && m_tls && m_readEnabled && !m_closeReported && m_tls->HasPending())
            DeliverReceives();
    });
}

bool CAsyncSocket::StartTls(const CTlsContext& context, std::chrono::milliseconds deadline) {
    if (m_fd < 0) return false;
    return BeginTls(std::make_unique<CTlsStream>(context.Native(), m_fd, std::string(), false),
                    deadline);
}

bool CAsyncSocket::StartTlsLike(const CAsyncSocket& control, std::chrono::milliseconds deadline) {
    if (m_fd < 0 || !control.m_tls || !control.m_tls->HandshakeDone()) return false;
    return BeginTls(
        std::make_unique<CTlsStream>(control.m_tls->Context(), m_fd, control.m_tls->Scope(), true),
        deadline);
}

bool CAsyncSocket::BeginTls(std::unique_ptr<CTlsStream> stream,
                            std::chrono::milliseconds deadline) {
    if (!stream->IsValid() || m_loop == nullptr) {
        m_lastError = EPROTO;
        return false;
    }
    m_tls = std::move(stream);
    // TLS writes a record and then the next (the last data, then close_notify) as
    // separate small sends; coalescing would hold the second back for the peer's
    // delayed acknowledgement.
    (void)DisableSendCoalescing(m_fd);
    m_wantSend = false;
    m_handshakeEvents = POLLIN;
    UpdateWatch();
    // SECURITY: a client that stops in the middle of a handshake holds no thread forever.
    m_handshakeTimer = m_loop->AddTimer(deadline, [this] { EndHandshake(ETIMEDOUT); });
    return true;
}

void CAsyncSocket::ContinueHandshake() {
    switch (m_tls->Handshake()) {
        case CTlsStream::Step::WantRead:
            m_handshakeEvents = POLLIN;
            UpdateWatch();
            return;
        case CTlsStream::Step::WantWrite:
            m_handshakeEvents = POLLOUT;
            UpdateWatch();
            return;
        case CTlsStream::Step::Done:
            EndHandshake(0);
            return;
        case CTlsStream::Step::Failed:
            EndHandshake(EPROTO);
            return;
    }
}

void CAsyncSocket::EndHandshake(int error) {
    CancelTlsTimers();
    if (error != 0) {
        // Nothing more is read or sent on a connection whose handshake failed.
        m_handshakeEvents = 0;
        m_readEnabled = false;
    }
    UpdateWatch();
    OnHandshake(error);  // may close or destroy this socket: nothing after it
}

void CAsyncSocket::CancelTlsTimers() {
    if (m_loop == nullptr) return;
    if (m_handshakeTimer != 0) m_loop->CancelTimer(m_handshakeTimer);
    if (m_pendingReadTimer != 0) m_loop->CancelTimer(m_pendingReadTimer);
    m_handshakeTimer = 0;
    m_pendingReadTimer = 0;
}

bool CAsyncSocket::IsTls() const { return m_tls && m_tls->HandshakeDone(); }

bool CAsyncSocket::TlsResumesSessionOf(const CAsyncSocket& control) const {
    return IsTls() && control.IsTls() && m_tls->ResumesSessionOf(*control.m_tls);
}

bool CAsyncSocket::UsesKernelTls() const { return IsTls() && m_tls->UsesKernelSend(); }

std::string CAsyncSocket::TlsDescription() const { return IsTls() ? m_tls->Description() : ""; }
