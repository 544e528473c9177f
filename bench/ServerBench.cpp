// Server core on loopback: one command's round trip, connect+QUIT sessions per second,
// and resident memory per idle session with a thousand held open.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "accounts/AccountEditor.h"
#include "accounts/AccountSchema.h"
#include "platform/Thread.h"
#include "server/FtpServer.h"
#include "tests/support/RawFtpClient.h"
#include "tests/support/ServerHarness.h"

using namespace std::chrono_literals;

namespace {

constexpr int kIdleSessions = 1000;

// A private program directory for the whole run, with one account whose home is the
// directory itself.
std::string MakeProgramDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tarvona-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    const std::string dir = pattern + "/";
    std::string error;
    UserRecord user;
    user.name = "bench";
    user.password = "bench";
    user.homeDir = pattern;
    user.status = "1";
    CAccountEditor editor(dir);
    if (!EnsureAccountTables(dir, error) || !editor.SaveUser(user, {})) std::abort();
    return dir;
}

// One server for every benchmark; its log lines are counted, not kept.
ServerHarness& Server() {
    static ServerHarness* harness = [] {
        auto* h = new ServerHarness(MakeProgramDir());
        h->Sink().DiscardLogs();
        h->RunOnServer([](CFtpServer& server) { server.SetMaxUsers(1'000'000); });
        if (!h->Start()) std::abort();
        return h;
    }();
    return *harness;
}

std::int64_t ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtoll(line.c_str() + 6, nullptr, 10);
    return 0;
}

void RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    limit.rlim_cur = limit.rlim_max;
    (void)::setrlimit(RLIMIT_NOFILE, &limit);
}

void WaitForSessions(int count) {
    (void)Server().WaitUntil(
        [count](CFtpServer& server) { return server.CurrentConnections() == count; }, 60s);
}

// NOOP of a logged-in session: receive, split, log, dispatch, reply, count.
void BM_NoopRoundTrip(benchmark::State& state) {
    RawFtpClient client;
    if (!client.Connect(Server().Port()) || !client.ReadLine() || !client.SendLine("USER bench") ||
        !client.ReadLine() || !client.SendLine("PASS bench") ||
        client.ReadLine().value_or("") != "230 User logged in. proceed.") {
        state.SkipWithError("no login");
        return;
    }
    std::vector<double> micros;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        client.SendLine("NOOP");
        auto reply = client.ReadLine();
        micros.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
        if (!reply) {
            state.SkipWithError("no reply");
            break;
        }
    }
    if (!micros.empty()) {
        std::nth_element(micros.begin(), micros.begin() + micros.size() / 2, micros.end());
        state.counters["median_us"] = micros[micros.size() / 2];
    }
    client.SendLine("QUIT");
    (void)client.WaitClosed();
    WaitForSessions(0);
}
BENCHMARK(BM_NoopRoundTrip)->MinTime(2.0)->Unit(benchmark::kMicrosecond);

void BM_ConnectQuit(benchmark::State& state) {
    for (auto _ : state) {
        RawFtpClient client;
        if (!client.Connect(Server().Port()) || !client.ReadLine() || !client.SendLine("QUIT") ||
            !client.ReadLine() || !client.WaitClosed()) {
            state.SkipWithError("session failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    WaitForSessions(0);
}
BENCHMARK(BM_ConnectQuit)->MinTime(3.0)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_IdleSessionsMemory(benchmark::State& state) {
    RaiseDescriptorLimit();
    for (auto _ : state) {
        WaitForSessions(0);
        const std::int64_t before = ResidentKiB();
        std::vector<std::unique_ptr<RawFtpClient>> clients;
        for (int i = 0; i < kIdleSessions; ++i) {
            auto client = std::make_unique<RawFtpClient>();
            if (!client->Connect(Server().Port()) || !client->ReadLine(30s)) {
                state.SkipWithError("a session was not greeted");
                return;
            }
            clients.push_back(std::move(client));
        }
        WaitForSessions(kIdleSessions);
        const std::int64_t held = ResidentKiB();
        state.counters["sessions"] = static_cast<double>(CThread::AliveCount());
        state.counters["rss_KiB_per_session"] = static_cast<double>(held - before) / kIdleSessions;
        state.counters["rss_before_MiB"] = static_cast<double>(before) / 1024;
        state.counters["rss_held_MiB"] = static_cast<double>(held) / 1024;
        clients.clear();
        WaitForSessions(0);
    }
}
BENCHMARK(BM_IdleSessionsMemory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
