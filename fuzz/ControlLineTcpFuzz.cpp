// Fuzz target: the bytes a client sends on the control connection, received by a real
// session of a real server over loopback TCP: line splitting, the queue behind a data
// wait, parsing, dispatch and every command body. Any crash, hang or sanitizer report
// is a bug.
//
// The first input byte chooses the set-up: bit 0 logs in first (so the fuzzer reaches
// the commands behind the login at once), bits 1-7 the size of the pieces the rest is
// sent in. The session ends when the client has sent everything and closed its side;
// one that is still busy after a quiet spell is ended by stopping the server.
//
// Active mode (PORT, EPRT) is left out: it would connect to arbitrary ports of this
// machine, where other programs listen.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/AccountEditor.h"
#include "accounts/AccountSchema.h"
#include "accounts/AccountStore.h"
#include "platform/Thread.h"
#include "server/FtpServer.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TestAccounts.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long a session may stay silent before the server is stopped to end it.
constexpr auto kQuietLimit = std::chrono::milliseconds(300);
// Home contents are wiped this often, so that listings stay small.
constexpr int kRunsPerHomeReset = 500;

class Fixture;
Fixture& Shared();

class Fixture {
public:
    Fixture() {
        char pattern[] = "/tmp/controlline-fuzz-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) std::abort();
        m_root = pattern;
        m_programDir = m_root + "/";
        m_home = m_root + "/home";
        std::filesystem::create_directory(m_home);
        std::string error;
        if (!EnsureAccountTables(m_programDir, error)) std::abort();
        UserRecord user = FullAccessUser("alice", "secret", m_home);
        user.quotaMax = 64;  // KiB: the quota paths run too
        CAccountEditor editor(m_programDir);
        if (!editor.SaveUser(user, {})) std::abort();
        m_harness = std::make_unique<ServerHarness>(m_programDir);
        m_harness->Sink().DiscardLogs();
        if (!m_harness->Start()) std::abort();
    }
    // Never destroyed: the process may end while the server's thread sits in its loop,
    // and the thread registry is gone by the time static objects are destroyed. Only
    // the files go at exit.
    ~Fixture() = delete;
    static void RemoveFiles() {
        std::error_code ignored;
        std::filesystem::remove_all(Shared().m_root, ignored);
    }

    std::uint16_t Port() const { return m_harness->Port(); }
    // Each input starts with no session left from the one before.
    void WaitForNoSessions() {
        const bool ended = m_harness->WaitUntil(
            [](CFtpServer& server) {
                return server.CurrentConnections() == 0 && CThread::AliveCount() == 0;
            },
            std::chrono::seconds(10));
        if (!ended) Restart();
    }
    // Ends every session at once (the server's stop), then listens again.
    void Restart() {
        m_harness->Stop();
        if (!m_harness->Start()) std::abort();
    }
    void CountRun() {
        if (++m_runs % kRunsPerHomeReset != 0) return;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(m_home, ignored))
            std::filesystem::remove_all(entry.path(), ignored);
    }

private:
    std::string m_root;
    std::string m_programDir;
    std::string m_home;
    std::unique_ptr<ServerHarness> m_harness;
    int m_runs = 0;
};

Fixture& Shared() {
    static Fixture* const fixture = [] {
        auto* made = new Fixture;
        std::atexit(&Fixture::RemoveFiles);
        return made;
    }();
    return *fixture;
}

bool MentionsActiveMode(std::string_view bytes) {
    std::string upper(bytes);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper.find("PORT") != std::string::npos || upper.find("EPRT") != std::string::npos;
}

int ConnectLoopback(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) std::abort();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::abort();
    const int one = 1;
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// Reads and drops whatever is there; false once the server has closed.
bool Drain(int fd, std::chrono::milliseconds wait) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0) return true;
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    return n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
}

// Sends `bytes` in pieces of `piece`, reading replies meanwhile so neither side stalls.
// False when the server closed first.
bool SendInPieces(int fd, std::string_view bytes, std::size_t piece) {
    while (!bytes.empty()) {
        const std::size_t count = std::min(piece, bytes.size());
        const ssize_t n = ::send(fd, bytes.data(), count, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (!Drain(fd, std::chrono::milliseconds(10))) return false;
    }
    return true;
}

// Waits for the server to close; false when it went quiet without closing.
bool WaitForClose(int fd) {
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(kQuietLimit.count())) <= 0) return false;
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return true;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (MentionsActiveMode(bytes)) return -1;  // not kept in the corpus
    Fixture& fixture = Shared();
    const bool logIn = (data[0] & 1) != 0;
    const std::size_t piece = (data[0] >> 1) == 0 ? bytes.size() + 1 : (data[0] >> 1) * 4u;
    const int fd = ConnectLoopback(fixture.Port());
    bool open = !logIn || SendInPieces(fd, "USER alice\r\nPASS secret\r\n", 64);
    open = open && SendInPieces(fd, bytes, piece);
    ::shutdown(fd, SHUT_WR);
    if (open && !WaitForClose(fd)) fixture.Restart();
    ::close(fd);
    fixture.WaitForNoSessions();
    fixture.CountRun();
    return 0;
}
