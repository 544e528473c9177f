// Whole logins per second: connect, greeting, USER, PASS, QUIT, close. tarvona runs
// in-process on loopback with 10 000 accounts in user.sdb; vsftpd runs beside it as its
// own process with an anonymous login (see bench/README.md for why not a virtual user).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "accounts/AccountSchema.h"
#include "accounts/AccountStore.h"
#include "db/KorvTable.h"
#include "server/FtpServer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RawFtpClient.h"
#include "tests/support/ServerHarness.h"

using namespace std::chrono_literals;

namespace {

constexpr int kAccounts = 10'000;

std::string MakeDir(const char* name) {
    std::string pattern = (std::filesystem::temp_directory_path() / name).string() + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern + "/";
}

std::string UserName(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "user%05d", i);
    return name;
}

// user.sdb with kAccounts enabled accounts "user00000".. with password "pw" + name.
void FillUserTable(const std::string& programDir) {
    std::string error;
    if (!EnsureAccountTables(programDir, error)) std::abort();
    CKorvTable t;
    if (!t.Open(UserTablePath(programDir), OpenMode::ReadWrite)) std::abort();
    const std::int32_t one = 1, zero = 0;
    for (int i = 0; i < kAccounts; ++i) {
        const std::string name = UserName(i);
        const bool ok = t.SetFieldText("userid", name) && t.SetFieldText("password", "pw" + name) &&
                        t.SetFieldText("homedir", "/srv/ftp") && t.SetFieldText("status", "1") &&
                        t.SetFieldText("reserved", "0,2026-01-01") &&
                        t.SetFieldValue("read", one) && t.SetFieldValue("dir_list", one) &&
                        t.SetFieldValue("write", zero) && t.Append();
        if (!ok) std::abort();
    }
}

ServerHarness& Tarvona() {
    static ServerHarness* harness = [] {
        const std::string dir = MakeDir("tarvona-login-bench");
        FillUserTable(dir);
        auto* h = new ServerHarness(dir);
        h->Sink().DiscardLogs();
        h->RunOnServer([](CFtpServer& server) { server.SetMaxUsers(1'000'000); });
        if (!h->Start()) std::abort();
        return h;
    }();
    return *harness;
}

// vsftpd in the foreground on a free loopback port, anonymous login with a password
// prompt, so that its exchange is the same four lines as ours.
struct Vsftpd {
    ChildProcess process;
    std::uint16_t port = 0;
};

// A static, not a leaked pointer: its destructor ends vsftpd when the run ends.
Vsftpd g_vsftpd;

Vsftpd& VsftpdServer() {
    static Vsftpd* server = [] {
        Vsftpd* v = &g_vsftpd;
        const std::string dir = MakeDir("vsftpd-login-bench");
        std::filesystem::create_directories(dir + "root");
        v->port = FindFreePort();
        const std::string conf = dir + "vsftpd.conf";
        std::ofstream(conf)
            << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" << v->port
            << "\nbackground=NO\nanonymous_enable=YES\nlocal_enable=NO\nno_anon_password=NO\n"
               "anon_root="
            << dir
            << "root\nmax_clients=0\nmax_per_ip=0\nxferlog_enable=NO\n"
               "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n";
        if (!v->process.Start({"/usr/sbin/vsftpd", conf})) std::abort();
        for (int i = 0; i < 200; ++i) {  // until it listens
            RawFtpClient probe;
            if (probe.Connect(v->port, 50ms) && probe.ReadLine(1s)) return v;
            std::this_thread::sleep_for(25ms);
        }
        std::abort();
    }();
    return *server;
}

bool Expect(RawFtpClient& c, const char* code) {
    const auto line = c.ReadLine(10s);
    return line && line->rfind(code, 0) == 0;
}

bool LoginOnce(std::uint16_t port, const std::string& user, const std::string& password) {
    RawFtpClient c;
    return c.Connect(port) && Expect(c, "220") && c.SendLine("USER " + user) && Expect(c, "331") &&
           c.SendLine("PASS " + password) && Expect(c, "230") && c.SendLine("QUIT") &&
           Expect(c, "2") && c.WaitClosed(10s);
}

void RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    limit.rlim_cur = limit.rlim_max;
    (void)::setrlimit(RLIMIT_NOFILE, &limit);
}

void BM_LoginTarvona(benchmark::State& state) {
    const std::uint16_t port = Tarvona().Port();
    std::mt19937 random(static_cast<unsigned>(state.thread_index()) + 1);
    for (auto _ : state) {
        const std::string user = UserName(static_cast<int>(random() % kAccounts));
        if (!LoginOnce(port, user, "pw" + user)) {
            state.SkipWithError("login failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

// The same exchange without USER and PASS: what a login adds on top of a session.
void BM_ConnectQuitTarvona(benchmark::State& state) {
    const std::uint16_t port = Tarvona().Port();
    for (auto _ : state) {
        RawFtpClient c;
        if (!(c.Connect(port) && Expect(c, "220") && c.SendLine("QUIT") && Expect(c, "2") &&
              c.WaitClosed(10s))) {
            state.SkipWithError("session failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_LoginVsftpd(benchmark::State& state) {
    const std::uint16_t port = VsftpdServer().port;
    for (auto _ : state) {
        if (!LoginOnce(port, "anonymous", "bench@example.org")) {
            state.SkipWithError("login failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

// Servers are started before the timed threads so that set-up is not measured.
void Prepare(const benchmark::State&) {
    RaiseDescriptorLimit();
    (void)Tarvona();
    (void)VsftpdServer();
}

}  // namespace

BENCHMARK(BM_LoginTarvona)->Setup(Prepare)->Threads(1)->Threads(8)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_ConnectQuitTarvona)
    ->Setup(Prepare)
    ->Threads(1)
    ->Threads(8)
    ->UseRealTime()
    ->MinTime(3.0);
BENCHMARK(BM_LoginVsftpd)->Setup(Prepare)->Threads(1)->Threads(8)->UseRealTime()->MinTime(3.0);

BENCHMARK_MAIN();
