#include "tests/support/ServerHarness.h"

#include <filesystem>
#include <future>

#include "platform/EventLoop.h"
#include "server/FtpServer.h"
#include "tests/support/RawFtpClient.h"

ServerHarness::ServerHarness(const std::string& programDir) {
    std::promise<void> ready;
    auto started = ready.get_future();
    m_thread = std::thread([this, programDir, &ready] {
        EventLoop loop;
        m_loop = &loop;
        m_server = std::make_unique<CFtpServer>(programDir);
        m_server->SetWindowSink(&m_sink);
        m_server->SetWelcomeMessage("Welcome to Tarvona FTP Server!");
        m_server->SetGoodbyeMessage("Good bye!");
        // Tests open many sessions from one address and fail logins on purpose; those
        // that test the abuse limits set their own.
        LoginPolicy lenient;
        lenient.banAttempts = 0;
        lenient.failDelayMs = 0;
        lenient.maxPerAddress = 0;
        lenient.maxNotLoggedIn = 0;
        m_server->SetLoginPolicy(lenient);
        ready.set_value();
        loop.Run();
        // Stop and destruction ran on this thread while the loop still dispatched.
    });
    started.wait();
}

ServerHarness::~ServerHarness() {
    // Stop must run while the loop still takes messages: ending sessions report
    // themselves synchronously to it.
    RunOnServer([](CFtpServer& server) { server.Stop(); });
    RunOnServer([this](CFtpServer&) { m_server.reset(); });
    m_loop->PostQuit();
    m_thread.join();
}

void ServerHarness::RunOnServer(const std::function<void(CFtpServer&)>& work) {
    std::promise<void> done;
    auto finished = done.get_future();
    m_loop->PostTask([&] {
        work(*m_server);
        done.set_value();
    });
    finished.wait();
}

void ServerHarness::PostToServer(std::function<void(CFtpServer&)> work) {
    m_loop->PostTask([this, work = std::move(work)] { work(*m_server); });
}

bool ServerHarness::Start(int port) {
    bool started = false;
    RunOnServer([&](CFtpServer& server) {
        server.SetPort(port);
        // A test server is reachable from this machine only.
        server.SetListenAddresses(LoopbackAddresses());
        started = server.Start();
        m_port = static_cast<std::uint16_t>(server.GetBoundPort());
    });
    return started;
}

void ServerHarness::Stop() {
    RunOnServer([](CFtpServer& server) { server.Stop(); });
}

bool ServerHarness::WaitUntil(const std::function<bool(CFtpServer&)>& probe,
                              std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        bool met = false;
        // Let the loop dispatch for a moment between probes instead of spinning.
        RunOnServer([&](CFtpServer& server) {
            met = probe(server) || EventLoop::Current()->RunUntil([&] { return probe(server); },
                                                                  std::chrono::milliseconds(10));
        });
        if (met) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
    }
}

std::int64_t ServerHarness::BytesSent() {
    std::int64_t value = 0;
    RunOnServer([&](CFtpServer& server) { value = server.BytesSent(); });
    return value;
}

std::int64_t ServerHarness::BytesReceived() {
    std::int64_t value = 0;
    RunOnServer([&](CFtpServer& server) { value = server.BytesReceived(); });
    return value;
}

int ServerHarness::CurrentConnections() {
    int value = 0;
    RunOnServer([&](CFtpServer& server) { value = server.CurrentConnections(); });
    return value;
}

namespace {
std::size_t CountEntries(const char* dir) {
    std::error_code error;
    std::size_t count = 0;
    for (auto it = std::filesystem::directory_iterator(dir, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++count;
    return count;
}
}  // namespace

std::size_t OpenDescriptorCount() { return CountEntries("/proc/self/fd"); }
std::size_t ThreadCount() { return CountEntries("/proc/self/task"); }
