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
#include <string>
#include <system_error>
#include <thread>

#include "api/ApiHttpServer.h"
#include "api/ApiStream.h"
#include "fuzz/ApiServerFixture.h"
#include "fuzz/HarnessSupport.h"

namespace {

// How long the client reads answers before it hangs up.
constexpr std::chrono::milliseconds kLongestExchange{2000};

// The client: sends the input, closes its side, reads answers for a bounded time.
void WriteThenDrain(int fd, const std::uint8_t* data, std::size_t size) {
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

int Serve(CApiHttpServer& api, const std::uint8_t* data, std::size_t size) {
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
        api.ServeConnection(stream, ApiConnection{ApiTransport::ControlSocket, "local"});
    }
    client.join();
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CApiHttpServer* api = SharedApiServer("apirequest-fuzz-");
    return api == nullptr ? kInputSkipped : Serve(*api, data, size);
}
