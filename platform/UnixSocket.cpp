#include "platform/UnixSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

bool MakeAddress(const std::string& path, sockaddr_un& address, std::string& error) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        error = "socket path too long: " + path;
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

UniqueFd NewSocket() { return UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)); }

int LeftMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// Waits for `events` on `fd` until `deadline`; true when ready.
bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, LeftMs(deadline));
        if (n > 0) return true;
        if (n == 0 || errno != EINTR) return false;
    }
}

std::string ErrnoText(const char* what, const std::string& path) {
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool OpenUnixListener(const std::string& path, UniqueFd& out, std::string& error) {
    sockaddr_un address;
    if (!MakeAddress(path, address, error)) return false;
    {
        UniqueFd probe = NewSocket();
        if (probe && ::connect(probe.Get(), reinterpret_cast<const sockaddr*>(&address),
                               sizeof address) == 0) {
            error = "another server answers on " + path;
            return false;
        }
    }
    ::unlink(path.c_str());  // a leftover of a server that did not end cleanly
    UniqueFd fd = NewSocket();
    if (!fd) return (error = ErrnoText("socket for", path), false);
    // SECURITY: bind creates the file with the socket's own mode (less the umask), so it
    // is owner-only from the start; a chmod of the path afterwards could be raced into
    // changing another file.
    if (::fchmod(fd.Get(), 0600) != 0)
        return (error = ErrnoText("cannot restrict the socket for", path), false);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return (error = ErrnoText("cannot bind", path), false);
    if (::listen(fd.Get(), 16) != 0) {
        error = ErrnoText("cannot listen on", path);
        ::unlink(path.c_str());
        return false;
    }
    out = std::move(fd);
    return true;
}

UniqueFd AcceptUnixWithin(int listenFd, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!WaitFor(listenFd, POLLIN, deadline)) return UniqueFd();
    return UniqueFd(::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC));
}

bool PeerIsSameUser(int fd) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) return false;
    return credentials.uid == ::geteuid();
}

bool ConnectUnix(const std::string& path, UniqueFd& out, std::string& error) {
    sockaddr_un address;
    if (!MakeAddress(path, address, error)) return false;
    UniqueFd fd = NewSocket();
    if (!fd ||
        ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return (error = ErrnoText("cannot connect to", path), false);
    out = std::move(fd);
    return true;
}

bool ReadLineWithin(int fd, std::string& line, std::size_t maxBytes, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    line.clear();
    char c = 0;
    while (line.size() <= maxBytes) {
        if (!WaitFor(fd, POLLIN, deadline)) return false;
        const ssize_t n = ::recv(fd, &c, 1, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return false;
        if (c == '\n') return true;
        line.push_back(c);
    }
    return false;
}

bool ReadAllWithin(int fd, std::string& text, std::size_t maxBytes, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    for (;;) {
        if (!WaitFor(fd, POLLIN, deadline)) return false;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > maxBytes) return false;
    }
}

bool WriteAllWithin(int fd, const std::string& text, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t sent = 0;
    while (sent < text.size()) {
        if (!WaitFor(fd, POLLOUT, deadline)) return false;
        const ssize_t n =
            ::send(fd, text.data() + sent, text.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}
