// The window attached to a tarvona-server process over the control socket: the time
// from a new client's connect to its row in the online list, while clients' NOOPs make
// about 1000 log lines per second that the window follows. Offscreen.
//   bench_attached_window TARVONA_SERVER [SAMPLES]
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/StartupSequence.h"
#include "platform/EventLoop.h"
#include "server/FtpServer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RawFtpClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestAccounts.h"
#include "ui/OnlineUsersModel.h"
#include "ui/OnlineUsersPage.h"
#include "ui/ServerDlg.h"
#include "ui/ServerLink.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kFloodClients = 4;
constexpr int kNoopsPerSecond = 500;  // a command line and its reply: two log lines each

// Whatever greeting the server has (one line or several), then USER and PASS.
bool LogIn(RawFtpClient& client, std::uint16_t port, const std::string& user,
           const std::string& password) {
    if (!client.Connect(port)) return false;
    for (int i = 0; i < 20; ++i) {
        const std::string line = client.Reply();
        if (line.rfind("220 ", 0) == 0) break;
        if (line.rfind("220", 0) != 0) return false;
    }
    return client.Ask("USER " + user).rfind("331", 0) == 0 &&
           client.Ask("PASS " + password).rfind("230", 0) == 0;
}

// Sends NOOPs at an even pace from `kFloodClients` sessions until `stop`.
void Flood(std::uint16_t port, const std::atomic<bool>& stop) {
    std::vector<RawFtpClient> clients(kFloodClients);
    for (RawFtpClient& client : clients)
        if (!LogIn(client, port, "flood", "flood")) return;
    const auto period = std::chrono::microseconds(1000000 / kNoopsPerSecond);
    auto next = Clock::now();
    for (std::size_t i = 0; !stop; ++i) {
        (void)clients[i % clients.size()].Ask("NOOP");
        next += period;
        std::this_thread::sleep_until(next);
    }
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
    const auto end = Clock::now() + deadline;
    while (!done()) {
        if (Clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: bench_attached_window TARVONA_SERVER [SAMPLES]\n", stderr);
        return 2;
    }
    const int samples = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    TempDir dir;
    const std::string programDir = dir.ProgramDir();
    const std::uint16_t port = FindFreePort();
    WriteFile(dir.Path("option.ini"), "[Server]\nPort=0\n[Security]\nFailDelay=0\n");
    if (!SaveAccount(programDir, FullAccessUser("alice", "secret", dir.Path())) ||
        !SaveAccount(programDir, FullAccessUser("flood", "flood", dir.Path())))
        return 1;
    // The server prints every log line: into a file, which never makes it wait as an
    // unread pipe would.
    const std::string outputFile = dir.Path("server.out");
    ChildProcess server;
    if (!server.Start({"/bin/sh", "-c",
                       "exec \"$0\" --dir \"$1\" --listen 127.0.0.1 --port \"$2\" >\"$3\" 2>&1",
                       argv[1], programDir, std::to_string(port), outputFile}) ||
        !WaitUntil(
            [&] {
                return ReadFile(outputFile).find("Server is running on port") != std::string::npos;
            },
            20s)) {
        std::fprintf(stderr, "tarvona-server did not start:\n%s", ReadFile(outputFile).c_str());
        return 1;
    }
    EventLoop loop;
    CServerStartup startup(programDir);
    CFtpServer inside(programDir);
    if (!startup.Prepare(inside)) return 1;
    CServerDlg window(loop, inside, startup.LogFile(), startup.Options());
    window.Open();
    if (!WaitUntil([&] { return window.Link().Connection() != nullptr; }, 10s)) {
        std::fputs("the window did not attach\n", stderr);
        return 1;
    }
    qint64 logLines = 0;
    QObject::connect(&window.Link(), &CServerLink::logLines,
                     [&logLines](const QStringList& lines) { logLines += lines.size(); });
    std::atomic<bool> stop{false};
    std::thread flood(Flood, port, std::cref(stop));
    COnlineUsersModel& rows = window.OnlineUsersPage().Model();
    (void)WaitUntil([&] { return rows.rowCount() == kFloodClients; }, 10s);
    QElapsedTimer run;
    run.start();
    const qint64 linesBefore = logLines;
    std::vector<double> delays;
    // A random pause before each connect, so the samples do not fall in step with the
    // window's polling.
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pause(0, 500);
    for (int i = 0; i < samples; ++i) {
        const auto resume = Clock::now() + std::chrono::milliseconds(pause(random));
        (void)WaitUntil([&] { return Clock::now() >= resume; }, 1s);
        const int before = rows.rowCount();
        RawFtpClient client;
        const auto start = Clock::now();
        bool loggedIn = false;
        std::thread login(
            [&client, port, &loggedIn] { loggedIn = LogIn(client, port, "alice", "secret"); });
        const bool shown = WaitUntil([&] { return rows.rowCount() > before; }, 10s);
        const auto shownAt = Clock::now();
        login.join();
        if (!shown) {
            std::fprintf(stderr, "sample %d: no row within 10 s (logged in %d, rows %d)\n", i,
                         int(loggedIn), rows.rowCount());
            continue;
        }
        delays.push_back(std::chrono::duration<double, std::milli>(shownAt - start).count());
        (void)client.SendLine("QUIT");
        (void)client.WaitClosed(5s);
        (void)WaitUntil([&] { return rows.rowCount() == before; }, 10s);
    }
    const double seconds = static_cast<double>(run.elapsed()) / 1000.0;
    stop = true;
    flood.join();
    if (delays.empty()) return 1;
    std::printf("samples %zu, log lines shown %.0f/s over %.1f s\n", delays.size(),
                static_cast<double>(logLines - linesBefore) / seconds, seconds);
    std::printf("connect to row: p50 %.1f ms, p90 %.1f ms, p99 %.1f ms, max %.1f ms\n",
                Percentile(delays, 0.5), Percentile(delays, 0.9), Percentile(delays, 0.99),
                *std::max_element(delays.begin(), delays.end()));
    return 0;
}
