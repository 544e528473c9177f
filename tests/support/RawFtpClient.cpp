#include "tests/support/RawFtpClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace {

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

RawFtpClient::~RawFtpClient() { Close(); }

bool RawFtpClient::Connect(std::uint16_t port, std::chrono::milliseconds timeout) {
    return ConnectTo("127.0.0.1", port, timeout);
}

bool RawFtpClient::ConnectFrom(const char* source, std::uint16_t port) {
    return Open("127.0.0.1", port, std::chrono::seconds(5), source);
}

void RawFtpClient::Adopt(int fd) {
    Close();
    m_fd = fd;
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    m_closed = false;
    m_buffer.clear();
}

bool RawFtpClient::ConnectTo(const char* text, std::uint16_t port,
                             std::chrono::milliseconds timeout) {
    return Open(text, port, timeout, nullptr);
}

bool RawFtpClient::Open(const char* text, std::uint16_t port, std::chrono::milliseconds timeout,
                        const char* source) {
    Close();
    sockaddr_storage address{};
    socklen_t length = 0;
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (::inet_pton(AF_INET6, text, &in6->sin6_addr) == 1) {
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        length = sizeof *in6;
    } else {
        sockaddr_in in4 = Loopback(port);
        if (::inet_pton(AF_INET, text, &in4.sin_addr) != 1) return false;
        std::memcpy(&address, &in4, sizeof in4);
        length = sizeof in4;
    }
    m_fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) return false;
    int on = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (source != nullptr) {
        sockaddr_in local = Loopback(0);
        if (::inet_pton(AF_INET, source, &local.sin_addr) != 1 ||
            ::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
            return false;
    }
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        if (errno != EINPROGRESS) return false;
        pollfd p{m_fd, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1) return false;
        int error = 0;
        socklen_t errorLength = sizeof error;
        ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &errorLength);
        if (error != 0) return false;
    }
    m_closed = false;
    m_buffer.clear();
    return true;
}

bool RawFtpClient::Send(std::string_view bytes) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!bytes.empty()) {
        if (m_fd < 0) return false;
        ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return false;
        pollfd p{m_fd, POLLOUT, 0};
        if (::poll(&p, 1, MillisecondsLeft(deadline)) != 1) return false;
    }
    return true;
}

int RawFtpClient::Fill(std::chrono::steady_clock::time_point deadline) {
    if (m_fd < 0 || m_closed) return 0;
    for (;;) {
        pollfd p{m_fd, POLLIN, 0};
        int ready = ::poll(&p, 1, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return -1;
        char chunk[4096];
        ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {
            m_closed = true;  // end of stream or reset
            return 0;
        }
        m_buffer.append(chunk, static_cast<std::size_t>(n));
        return static_cast<int>(n);
    }
}

std::optional<std::string> RawFtpClient::ReadLine(std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        const auto mark = m_buffer.find("\r\n");
        if (mark != std::string::npos) {
            std::string line = m_buffer.substr(0, mark);
            m_buffer.erase(0, mark + 2);
            return line;
        }
        if (Fill(end) <= 0) return std::nullopt;
    }
}

bool RawFtpClient::WaitClosed(std::chrono::milliseconds deadline, std::string* unread) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    int got;
    while ((got = Fill(end)) > 0) {
    }
    if (unread != nullptr) *unread = m_buffer;
    return got == 0;
}

bool RawFtpClient::StaysQuiet(std::chrono::milliseconds quiet) {
    const std::size_t before = m_buffer.size();
    return Fill(std::chrono::steady_clock::now() + quiet) < 0 && m_buffer.size() == before;
}

void RawFtpClient::Reset() {
    if (m_fd < 0) return;
    linger option{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
    Close();
}

void RawFtpClient::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

namespace {

// The lowest port the kernel gives client connections (32768 unless configured).
int LowestClientPort() {
    int low = 32768;
    if (FILE* f = std::fopen("/proc/sys/net/ipv4/ip_local_port_range", "r")) {
        if (std::fscanf(f, "%d", &low) != 1) low = 32768;
        std::fclose(f);
    }
    return low;
}

bool CanBind(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    // As the server binds: a closed connection's TIME_WAIT does not hold the port.
    const int on = 1;
    (void)::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = Loopback(port);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

}  // namespace

// Below the range of client ports: a port from that range can become a client's own port
// while the server is still starting, and a connect to it then meets itself (a loopback
// self-connection) and holds the port the server means to bind.
std::uint16_t FindFreePort() {
    const int low = LowestClientPort();
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<int> pick(std::max(1024, low - 12000), std::max(1025, low - 1));
    for (int attempt = 0; attempt < 500; ++attempt) {
        const auto port = static_cast<std::uint16_t>(pick(random));
        if (CanBind(port)) return port;
    }
    return 0;
}

bool HaveIpv6Loopback() {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

std::vector<std::string> LoopbackAddresses() {
    if (HaveIpv6Loopback()) return {"127.0.0.1", "::1"};
    return {"127.0.0.1"};
}

std::string RawFtpClient::Reply(std::chrono::milliseconds deadline) {
    return ReadLine(deadline).value_or(kNoReply);
}

std::string RawFtpClient::Ask(std::string_view line, std::chrono::milliseconds deadline) {
    if (!SendLine(line)) return kNoReply;
    return Reply(deadline);
}

bool RawFtpClient::LogIn(std::string_view user, std::string_view password) {
    const std::string greeting = Reply();
    EXPECT_EQ(greeting, kGreeting);
    const std::string needPassword = Ask("USER " + std::string(user));
    EXPECT_EQ(needPassword, kNeedPassword) << user;
    const std::string loggedIn = Ask("PASS " + std::string(password));
    EXPECT_EQ(loggedIn, kLoggedIn) << user;
    return greeting == kGreeting && needPassword == kNeedPassword && loggedIn == kLoggedIn;
}

HeldPort::HeldPort(std::uint16_t port) {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(m_fd, 1) == 0 &&
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        m_port = ntohs(address.sin_port);
}

HeldPort::~HeldPort() {
    if (m_fd >= 0) ::close(m_fd);
}
