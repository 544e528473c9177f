#include "platform/ShortRequestServer.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/Socket.h"
#include "platform/TcpListener.h"

namespace {

// Connections served at once; a further one takes the place of the oldest, so clients
// that connect and stay silent cannot keep a real request out.
constexpr std::size_t kMaxConnections = 32;
// How often the thread looks at the stop flag and the deadlines.
constexpr int kPollMs = 100;

}  // namespace

struct CShortRequestServer::Connection {
    UniqueFd fd;
    std::string received;
    std::chrono::steady_clock::time_point deadline;
};

CShortRequestServer::CShortRequestServer(Handler handler, std::size_t maxRequestBytes,
                                         std::chrono::milliseconds requestTime)
    : m_handler(std::move(handler)),
      m_maxRequestBytes(maxRequestBytes),
      m_requestTime(requestTime) {}

CShortRequestServer::~CShortRequestServer() { Stop(); }

bool CShortRequestServer::Start(const std::vector<std::string>& addresses, std::uint16_t port,
                                std::string& error) {
    if (IsRunning()) return true;
    const std::vector<std::string> all = {"0.0.0.0", "::"};
    std::string firstError;
    for (const std::string& address : addresses.empty() ? all : addresses) {
        UniqueFd listener;
        std::string why;
        if (OpenTcpListener(address, port, listener, why))
            m_listeners.push_back(std::move(listener));
        else if (firstError.empty())
            firstError = why;
    }
    // A machine without IPv6 still serves on IPv4; a listener that failed on some
    // address the FTP server also uses is not fatal while another one works.
    if (m_listeners.empty()) {
        error = firstError;
        return false;
    }
    m_stop = false;
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        error = e.what();  // out of threads: refused like a port that cannot be bound
        m_listeners.clear();
        return false;
    }
    return true;
}

void CShortRequestServer::Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    m_listeners.clear();
}

void CShortRequestServer::Run() {
    std::vector<Connection> connections;
    std::vector<pollfd> watched;
    while (!m_stop) {
        watched.clear();
        for (const UniqueFd& listener : m_listeners) watched.push_back({listener.Get(), POLLIN, 0});
        const std::size_t firstConnection = watched.size();
        for (const Connection& connection : connections)
            watched.push_back({connection.fd.Get(), POLLIN, 0});
        if (::poll(watched.data(), watched.size(), kPollMs) < 0 && errno != EINTR) break;
        // Serve (or drop) connections first, then accept: the indexes stay valid.
        const auto now = std::chrono::steady_clock::now();
        std::vector<Connection> kept;
        for (std::size_t i = 0; i < connections.size(); ++i) {
            const bool ready = watched[firstConnection + i].revents != 0;
            if (ready ? Serve(connections[i]) : now < connections[i].deadline)
                kept.push_back(std::move(connections[i]));
        }
        connections = std::move(kept);
        for (std::size_t i = 0; i < firstConnection; ++i)
            if (watched[i].revents != 0) AcceptFrom(watched[i].fd, connections);
    }
}

void CShortRequestServer::AcceptFrom(int listener, std::vector<Connection>& connections) {
    for (;;) {
        UniqueFd accepted(::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!accepted) return;  // EAGAIN, or an error of that one connection
        if (connections.size() >= kMaxConnections) connections.erase(connections.begin());
        connections.push_back(
            {std::move(accepted), {}, std::chrono::steady_clock::now() + m_requestTime});
    }
}

// False when the connection is finished (answered, closed by the peer, or failed).
bool CShortRequestServer::Serve(Connection& connection) {
    char buffer[1024];
    const std::size_t room = m_maxRequestBytes - connection.received.size();
    const ssize_t got = ::recv(connection.fd.Get(), buffer, std::min(room, sizeof buffer), 0);
    if (got < 0) return errno == EAGAIN || errno == EINTR;
    connection.received.append(buffer, static_cast<std::size_t>(got));
    const bool full = got == 0 || connection.received.size() >= m_maxRequestBytes;
    const std::optional<std::string> reply = m_handler(connection.received, full);
    if (!reply) return !full;
    // The reply is small: the socket's buffer takes it whole, or the peer does not get it.
    (void)SendWithoutWaiting(connection.fd.Get(), reply->data(), reply->size());
    ::shutdown(connection.fd.Get(), SHUT_WR);
    return false;
}
