// Fuzz target: the bytes of an administration API connection (one or more HTTP requests,
// heads and JSON bodies), through the request path a control-socket connection takes:
// the bounded stream, the HTTP library's parser, the router and every route, against a
// real server (started, so that main-thread operations run on its loop) in a temporary
// program directory. Any crash, hang or sanitizer report is a bug.
//
// The bytes go in over a socket pair from a helper thread that also drains the answers;
// the connection is served on the fuzzing thread until the input ends.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include "api/ApiHttpServer.h"
#include "api/ApiService.h"
#include "api/ApiStream.h"
#include "api/RateHistory.h"
#include "fuzz/HarnessSupport.h"
#include "server/FtpServer.h"
#include "tests/support/ServerHarness.h"

namespace {

// How long the client reads answers before it hangs up.
constexpr std::chrono::milliseconds kLongestExchange{2000};

class Fixture {
public:
    Fixture() {
        m_root = MakeScratchDir("apirequest-fuzz-");
        if (m_root.empty()) throw std::runtime_error("no scratch directory");
        m_harness = new ServerHarness(m_root + "/");
        m_harness->Sink().DiscardLogs();
        // Left running when it does not start: its thread cannot be ended from here.
        if (!m_harness->Start()) throw std::runtime_error("the server does not listen");
        CFtpServer* server = nullptr;
        m_harness->RunOnServer([&](CFtpServer& s) { server = &s; });
        m_rates.Sample(*server);
        m_api = new CApiHttpServer(ApiContext{*server, m_root + "/", nullptr, &m_rates},
                                   AllApiRoutes());
    }
    // Never destroyed (see ControlLineFuzz.cpp): only the files go at exit.
    ~Fixture() = delete;
    static void RemoveFiles();

    int Serve(const std::uint8_t* data, std::size_t size) {
        UniqueFd clientEnd;
        UniqueFd serverEnd;
        if (!MakeSocketPair(clientEnd, serverEnd)) return SkipInput("socketpair");
        std::thread client;
        try {
            client = std::thread([&] { WriteThenDrain(clientEnd.Get(), data, size); });
        } catch (const std::system_error& error) {
            return SkipInput("client thread", error.what());
        }
        {
            CFdStream stream{std::move(serverEnd), "local"};
            m_api->ServeConnection(stream, ApiConnection{ApiTransport::ControlSocket, "local"});
        }
        client.join();
        return 0;
    }

    std::string m_root;

private:
    static void WriteThenDrain(int fd, const std::uint8_t* data, std::size_t size) {
        for (std::size_t sent = 0; sent < size;) {
            const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        (void)::shutdown(fd, SHUT_WR);
        // A live log stream would go on for an hour: the client hangs up after a while.
        const auto end = std::chrono::steady_clock::now() + kLongestExchange;
        char sink[65536];
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            if (::read(fd, sink, sizeof sink) <= 0) break;
        }
        (void)::shutdown(fd, SHUT_RDWR);
    }

    ServerHarness* m_harness = nullptr;
    CRateHistory m_rates;
    CApiHttpServer* m_api = nullptr;
};

Fixture* g_fixture = nullptr;

// Made at the first input that can make it; until then each input is skipped.
Fixture* Shared() {
    if (g_fixture != nullptr) return g_fixture;
    try {
        g_fixture = new Fixture;
    } catch (const std::runtime_error& error) {
        (void)SkipInput("administration API set-up", error.what());
        return nullptr;
    }
    std::atexit(&Fixture::RemoveFiles);
    return g_fixture;
}

void Fixture::RemoveFiles() {
    std::error_code ignored;
    std::filesystem::remove_all(g_fixture->m_root, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fixture* fixture = Shared();
    return fixture == nullptr ? kInputSkipped : fixture->Serve(data, size);
}
