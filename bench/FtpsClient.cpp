// A compiled explicit-FTPS client for the TLS benchmark, so that the server rather than
// the client sets the pace:
//   bench_ftps_client small PORT USER PASSWORD PATH_FORMAT COUNT SIZE
//     one session (AUTH TLS, PBSZ 0, PROT P) downloading COUNT files of SIZE bytes in
//     turn, every data connection resuming the control connection's TLS session;
//     prints files per second.
//   bench_ftps_client logins PORT USER PASSWORD SECONDS
//     whole logins for SECONDS (connect, AUTH TLS, full handshake, USER, PASS, QUIT),
//     a new connection each time; prints logins per second.
// PATH_FORMAT holds one %d (the file's number, 0 to COUNT-1). The server's certificate
// is not verified: the benchmark makes a self-signed one for each run.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace {

// Every blocking call of this client gives up after this long.
constexpr int kTimeoutSeconds = 30;

int Connect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const timeval limit{kTimeoutSeconds, 0};
    const int one = 1;
    (void)::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    (void)::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    ::close(fd);
    return -1;
}

using SslPtr = std::unique_ptr<SSL, decltype(&SSL_free)>;

// A connection that starts in clear and may switch to TLS (the control connection), or
// is TLS from the start (a data connection).
class Connection {
public:
    explicit Connection(int fd) : m_fd(fd), m_ssl(nullptr, &SSL_free) {}
    ~Connection() {
        if (m_ssl) (void)SSL_shutdown(m_ssl.get());
        if (m_fd >= 0) ::close(m_fd);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    SSL* Ssl() const { return m_ssl.get(); }

    // A handshake as a client; `resume` is the session to offer (nullptr: none).
    bool StartTls(SSL_CTX* context, SSL_SESSION* resume) {
        m_ssl.reset(SSL_new(context));
        if (!m_ssl || SSL_set_fd(m_ssl.get(), m_fd) != 1) return false;
        if (resume != nullptr && SSL_set_session(m_ssl.get(), resume) != 1) return false;
        return SSL_connect(m_ssl.get()) == 1;
    }

    bool SendLine(const std::string& line) {
        const std::string text = line + "\r\n";
        if (m_ssl) {
            std::size_t written = 0;
            return SSL_write_ex(m_ssl.get(), text.data(), text.size(), &written) == 1;
        }
        return ::send(m_fd, text.data(), text.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(text.size());
    }

    // >0 bytes, 0 at the end (close_notify or a close in clear), -1 on failure.
    long Read(char* buffer, std::size_t size) {
        if (!m_ssl) return ::recv(m_fd, buffer, size, 0);
        std::size_t got = 0;
        if (SSL_read_ex(m_ssl.get(), buffer, size, &got) == 1) return static_cast<long>(got);
        return SSL_get_error(m_ssl.get(), 0) == SSL_ERROR_ZERO_RETURN ? 0 : -1;
    }

    // The final line of the next reply; "" when none came.
    std::string Reply() {
        for (;;) {
            const std::size_t end = m_pending.find("\r\n");
            if (end != std::string::npos) {
                std::string line = m_pending.substr(0, end);
                m_pending.erase(0, end + 2);
                if (line.size() >= 4 && line[3] == ' ' &&
                    std::isdigit(static_cast<unsigned char>(line[0])))
                    return line;
                continue;
            }
            if (m_pending.size() > 8192) return {};
            char buffer[1024];
            const long got = Read(buffer, sizeof buffer);
            if (got <= 0) return {};
            m_pending.append(buffer, static_cast<std::size_t>(got));
        }
    }

    // Sends `command` (none when empty) and checks the reply's first digit.
    bool Expect(const std::string& command, char firstDigit) {
        if (!command.empty() && !SendLine(command)) return false;
        const std::string reply = Reply();
        if (!reply.empty() && reply[0] == firstDigit) return true;
        std::fprintf(stderr, "%s -> %s\n", command.empty() ? "(greeting)" : command.c_str(),
                     reply.empty() ? "(no reply)" : reply.c_str());
        return false;
    }

private:
    int m_fd;
    SslPtr m_ssl;
    std::string m_pending;
};

// Port of a "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)" reply; 0 when it does not parse.
int PassivePort(const std::string& reply) {
    const std::size_t open = reply.find('(');
    unsigned h[4];
    unsigned p[2];
    if (open == std::string::npos || std::sscanf(reply.c_str() + open, "(%u,%u,%u,%u,%u,%u)", &h[0],
                                                 &h[1], &h[2], &h[3], &p[0], &p[1]) != 6)
        return 0;
    return static_cast<int>(p[0] * 256 + p[1]);
}

bool LogIn(Connection& control, SSL_CTX* context, const char* user, const char* password) {
    return control.Expect("", '2') && control.Expect("AUTH TLS", '2') &&
           control.StartTls(context, nullptr) && control.Expect(std::string("USER ") + user, '3') &&
           control.Expect(std::string("PASS ") + password, '2');
}

// The bytes of data connection `data` (taken over, and closed with close_notify before
// this returns: some servers send 226 only after it) over TLS resuming the control
// connection's session, as the server requires; -1 when it did not resume.
long ReadResumed(Connection& control, SSL_CTX* context, std::unique_ptr<Connection> data) {
    SSL_SESSION* session = SSL_get1_session(control.Ssl());
    const bool handshake = data->StartTls(context, session);
    SSL_SESSION_free(session);
    if (!handshake || SSL_session_reused(data->Ssl()) != 1) return -1;
    long total = 0;
    char buffer[65536];
    for (long got; (got = data->Read(buffer, sizeof buffer)) > 0;) total += got;
    return total;
}

bool FetchOne(Connection& control, SSL_CTX* context, const std::string& path, long size) {
    if (!control.SendLine("PASV")) return false;
    const std::string pasv = control.Reply();
    const int port = PassivePort(pasv);
    auto data = std::make_unique<Connection>(port > 0 ? Connect(port) : -1);
    if (!data->IsOpen()) {
        std::fprintf(stderr, "PASV -> %s (no data connection)\n", pasv.c_str());
        return false;
    }
    if (!control.Expect("RETR " + path, '1')) return false;
    const long total = ReadResumed(control, context, std::move(data));
    if (total < 0) {
        std::fprintf(stderr, "RETR %s: the data connection did not resume the session\n",
                     path.c_str());
        return false;
    }
    if (!control.Expect("", '2')) return false;
    if (total == size) return true;
    std::fprintf(stderr, "RETR %s: %ld bytes, expected %ld\n", path.c_str(), total, size);
    return false;
}

int SmallFiles(SSL_CTX* context, int port, char** argv) {
    const int count = std::atoi(argv[3]);
    const long size = std::atol(argv[4]);
    Connection control(Connect(port));
    if (!control.IsOpen() || !LogIn(control, context, argv[0], argv[1]) ||
        !control.Expect("PBSZ 0", '2') || !control.Expect("PROT P", '2') ||
        !control.Expect("TYPE I", '2'))
        return 1;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        char path[512];
        std::snprintf(path, sizeof path, argv[2], i);
        if (!FetchOne(control, context, path, size)) return 1;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    (void)control.Expect("QUIT", '2');
    std::printf("%.1f\n", count / elapsed.count());
    return 0;
}

int Logins(SSL_CTX* context, int port, char** argv) {
    const std::chrono::duration<double> length(std::atof(argv[2]));
    const auto start = std::chrono::steady_clock::now();
    long count = 0;
    std::chrono::duration<double> elapsed{};
    do {
        Connection control(Connect(port));
        if (!control.IsOpen() || !LogIn(control, context, argv[0], argv[1]) ||
            !control.Expect("QUIT", '2'))
            return 1;
        ++count;
        elapsed = std::chrono::steady_clock::now() - start;
    } while (elapsed < length);
    std::printf("%.1f\n", static_cast<double>(count) / elapsed.count());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool small = argc == 8 && std::strcmp(argv[1], "small") == 0;
    const bool logins = argc == 6 && std::strcmp(argv[1], "logins") == 0;
    if (!small && !logins) {
        std::fprintf(stderr,
                     "usage: %s small PORT USER PASSWORD PATH_FORMAT COUNT SIZE\n"
                     "       %s logins PORT USER PASSWORD SECONDS\n",
                     argv[0], argv[0]);
        return 2;
    }
    // A close_notify to a server that has already closed must fail, not end the run.
    (void)::signal(SIGPIPE, SIG_IGN);
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> context(SSL_CTX_new(TLS_client_method()),
                                                              &SSL_CTX_free);
    if (!context) return 1;
    SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
    // Sessions are taken from the control connection by hand, never from a cache.
    SSL_CTX_set_session_cache_mode(context.get(), SSL_SESS_CACHE_OFF);
    const int port = std::atoi(argv[2]);
    const int status =
        small ? SmallFiles(context.get(), port, argv + 3) : Logins(context.get(), port, argv + 3);
    if (status != 0) ERR_print_errors_fp(stderr);
    return status;
}
