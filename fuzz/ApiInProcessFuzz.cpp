// Fuzz target: the same request path as fuzz_apirequest (the bounded stream, the HTTP
// library's parser, the router and every route of a real, started server), without a
// client thread: the input waits whole in a socket pair, closed behind it, before the
// connection is served on the fuzzing thread, and the answers are counted and dropped
// instead of crossing the pair. The program directory is under /dev/shm, so the routes
// that write files do not wait for a disk.
//
// What it leaves to fuzz_apirequest: a live log stream (the client here hangs up at its
// head, as one that reads no further would) and the timing of a real reader.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "api/ApiHttpServer.h"
#include "api/ApiService.h"
#include "api/ApiStream.h"
#include "api/RateHistory.h"
#include "fuzz/HarnessSupport.h"
#include "server/FtpServer.h"
#include "tests/support/ServerHarness.h"

namespace {

// Reads the request bytes from the socket (the bounded stream polls it) and drops every
// answer byte: a client that sends everything, closes its side and reads what comes.
class DroppingStream : public httplib::Stream {
public:
    explicit DroppingStream(int fd) : m_reader(UniqueFd(fd), "local") {}

    bool is_readable() const override { return m_reader.is_readable(); }
    bool is_writable() const override { return !m_hungUp; }
    ssize_t read(char* ptr, size_t size) override { return m_reader.read(ptr, size); }
    ssize_t write(const char* ptr, size_t size) override {
        if (m_hungUp) return -1;
        // A live stream would go on for an hour: this client hangs up after its head.
        if (m_streamHead) m_hungUp = true;
        if (std::string_view(ptr, size).find("text/event-stream") != std::string_view::npos)
            m_streamHead = true;
        return m_hungUp ? -1 : static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        m_reader.get_remote_ip_and_port(ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        m_reader.get_local_ip_and_port(ip, port);
    }
    socket_t socket() const override { return m_reader.socket(); }

private:
    CFdStream m_reader;
    bool m_streamHead = false;
    bool m_hungUp = false;
};

class Fixture {
public:
    Fixture() {
        char pattern[] = "/dev/shm/apiinprocess-fuzz-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) std::abort();
        m_root = pattern;
        m_harness = new ServerHarness(m_root + "/");
        m_harness->Sink().DiscardLogs();
        if (!m_harness->Start()) std::abort();
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
        const int pair[2] = {clientEnd.Get(), serverEnd.Release()};
        // The pair's buffer takes every input libFuzzer makes here (-max_len 131072); a
        // longer one is cut where it is full, as a peer's would be.
        for (std::size_t sent = 0; sent < size;) {
            const ssize_t n =
                ::send(pair[0], data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        (void)::shutdown(pair[0], SHUT_WR);
        {
            DroppingStream stream(pair[1]);
            m_api->ServeConnection(stream, ApiConnection{ApiTransport::ControlSocket, "local"});
        }
        return 0;
    }

    std::string m_root;

private:
    ServerHarness* m_harness = nullptr;
    CRateHistory m_rates;
    CApiHttpServer* m_api = nullptr;
};

Fixture& Shared() {
    static Fixture* const fixture = [] {
        auto* made = new Fixture;
        std::atexit(&Fixture::RemoveFiles);
        return made;
    }();
    return *fixture;
}

void Fixture::RemoveFiles() {
    std::error_code ignored;
    std::filesystem::remove_all(Shared().m_root, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return Shared().Serve(data, size);
}
