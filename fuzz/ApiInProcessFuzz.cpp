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
#include <string>
#include <string_view>

#include "api/ApiHttpServer.h"
#include "api/ApiStream.h"
#include "fuzz/ApiServerFixture.h"
#include "fuzz/HarnessSupport.h"

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

int Serve(CApiHttpServer& api, const std::uint8_t* data, std::size_t size) {
    UniqueFd clientEnd;
    UniqueFd serverEnd;
    if (!MakeSocketPair(clientEnd, serverEnd)) return SkipInput("socketpair");
    const int pair[2] = {clientEnd.Get(), serverEnd.Release()};
    // The pair's buffer takes every input libFuzzer makes here (-max_len 131072); a
    // longer one is cut where it is full, as a peer's would be.
    for (std::size_t sent = 0; sent < size;) {
        const ssize_t n = ::send(pair[0], data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    (void)::shutdown(pair[0], SHUT_WR);
    {
        DroppingStream stream(pair[1]);
        api.ServeConnection(stream, ApiConnection{ApiTransport::ControlSocket, "local"});
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CApiHttpServer* api = SharedApiServer("apiinprocess-fuzz-");
    return api == nullptr ? kInputSkipped : Serve(*api, data, size);
}
