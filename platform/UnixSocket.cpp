#include "platform/UnixSocket.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
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

bool PeerIsSameUser(int fd) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) return false;
    return credentials.uid == ::geteuid();
}
