#include "fuzz/ControlLineFixture.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <vector>

#include "accounts/AccountEditor.h"
#include "accounts/AccountSchema.h"
#include "fuzz/HarnessSupport.h"
#include "platform/Thread.h"
#include "server/FtpServer.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TestAccounts.h"

namespace {

// How long a session may stay silent before the server is stopped to end it.
constexpr auto kQuietLimit = std::chrono::milliseconds(300);
// Home contents are wiped this often, so that listings stay small.
constexpr int kRunsPerHomeReset = 500;

ControlLineFixture* g_fixture = nullptr;

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

// A fixture that was built is never destroyed: the process may end while the server's
// thread sits in its loop, and the thread registry is gone by the time static objects
// are destroyed. Only the files go at exit.
ControlLineFixture* ControlLineFixture::Shared() {
    if (g_fixture != nullptr) return g_fixture;
    auto made = std::unique_ptr<ControlLineFixture>(new ControlLineFixture);
    std::string error;
    if (!made->Build(error)) {
        (void)SkipInput("control-line set-up", error);
        return nullptr;
    }
    g_fixture = made.release();
    std::atexit(&ControlLineFixture::RemoveFiles);
    return g_fixture;
}

ControlLineFixture::~ControlLineFixture() {
    m_harness.reset();
    std::error_code ignored;
    if (!m_root.empty()) std::filesystem::remove_all(m_root, ignored);
}

bool ControlLineFixture::Build(std::string& error) {
    m_root = MakeScratchDir("controlline-fuzz-");
    if (m_root.empty()) {
        error = "no scratch directory";
        return false;
    }
    const std::string programDir = m_root + "/";
    m_home = m_root + "/home";
    std::error_code made;
    if (!std::filesystem::create_directory(m_home, made)) {
        error = "home: " + made.message();
        return false;
    }
    if (!EnsureAccountTables(programDir, error)) return false;
    UserRecord user = FullAccessUser("alice", "secret", m_home);
    user.quotaMax = 64;  // KiB: the quota paths run too
    CAccountEditor editor(programDir);
    if (!editor.SaveUser(user, {})) {
        error = editor.GetLastError();
        return false;
    }
    m_harness = std::make_unique<ServerHarness>(programDir);
    m_harness->Sink().DiscardLogs();
    // PASV names this address instead of asking a socket pair's end for one.
    m_harness->RunOnServer([](CFtpServer& server) { server.SetPassiveAddress("127.0.0.1"); });
    m_serving = m_harness->Start();
    if (!m_serving) error = "the server does not listen";
    return m_serving;
}

void ControlLineFixture::RemoveFiles() {
    std::error_code ignored;
    std::filesystem::remove_all(g_fixture->m_root, ignored);
}

bool ControlLineFixture::EnsureServing() {
    if (!m_serving) m_serving = m_harness->Start();
    if (!m_serving) (void)SkipInput("server restart", "it does not listen");
    return m_serving;
}

std::uint16_t ControlLineFixture::Port() const { return m_harness->Port(); }

void ControlLineFixture::AcceptConnected(UniqueFd serverEnd) {
    // Not waited for: the client may send at once, as it may after a TCP connect.
    m_harness->PostToServer([fd = serverEnd.Release()](CFtpServer& server) {
        server.AcceptConnected(UniqueFd(fd), "127.0.0.1");
    });
}

void ControlLineFixture::Play(UniqueFd client, const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const bool logIn = (data[0] & 1) != 0;
    const std::size_t piece = (data[0] >> 1) == 0 ? bytes.size() + 1 : (data[0] >> 1) * 4u;
    const int fd = client.Get();
    bool open = !logIn || SendInPieces(fd, "USER alice\r\nPASS secret\r\n", 64);
    open = open && SendInPieces(fd, bytes, piece);
    ::shutdown(fd, SHUT_WR);
    if (open && !WaitForClose(fd)) Restart();
    client.Reset();
    WaitForNoSessions();
    CountRun();
}

// Each input starts with no session left from the one before.
void ControlLineFixture::WaitForNoSessions() {
    const bool ended = m_harness->WaitUntil(
        [](CFtpServer& server) {
            return server.CurrentConnections() == 0 && CThread::AliveCount() == 0;
        },
        std::chrono::seconds(10));
    if (!ended) Restart();
}

// Ends every session at once (the server's stop), then listens again (or at the next
// input, when it cannot now).
void ControlLineFixture::Restart() {
    m_harness->Stop();
    m_serving = m_harness->Start();
}

void ControlLineFixture::CountRun() {
    if (++m_runs % kRunsPerHomeReset != 0) return;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(m_home, ignored))
        std::filesystem::remove_all(entry.path(), ignored);
}

void LeaveLeakCheckingOff(int* argc, char*** argv) {
    static std::vector<char*> arguments;
    static char flag[] = "-detect_leaks=0";
    arguments.assign(*argv, *argv + *argc);
    arguments.insert(arguments.begin() + (arguments.empty() ? 0 : 1), flag);
    arguments.push_back(nullptr);
    *argc = static_cast<int>(arguments.size() - 1);
    *argv = arguments.data();
}

bool MentionsActiveMode(const std::uint8_t* data, std::size_t size) {
    std::string upper(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper.find("PORT") != std::string::npos || upper.find("EPRT") != std::string::npos;
}

ControlLineFixture* FixtureFor(const std::uint8_t* data, std::size_t size) {
    if (MentionsActiveMode(data, size)) return nullptr;  // not kept in the corpus
    ControlLineFixture* fixture = ControlLineFixture::Shared();
    return fixture != nullptr && fixture->EnsureServing() ? fixture : nullptr;
}
