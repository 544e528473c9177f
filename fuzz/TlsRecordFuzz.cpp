// Fuzz target: hostile bytes where the server expects a ClientHello. The server's own TLS
// wrapper (CAsyncSocket's handshake on the thread's loop, over CTlsStream) reads them with
// the server's context: either as a control connection after AUTH TLS (or on the implicit
// port), or as a data connection that must resume its control connection's session. The
// peer then hangs up, so every handshake must end, and end failed (the bytes hold no key),
// well before its deadline. Any crash, hang or sanitizer report is a bug.
//
// Input: the first byte chooses the connection (even: control, odd: data); the rest is
// what the peer sends. Everything runs on the fuzzing thread over a socket pair; the
// control connection the data connections belong to is made once, with a real
// handshake from an OpenSSL client on a helper thread.
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "fuzz/HarnessSupport.h"
#include "platform/EventLoop.h"
#include "platform/Socket.h"
#include "platform/TlsContext.h"

namespace {

using namespace std::chrono_literals;

// The session's own bound on a handshake is longer; the peer's hang-up ends it at once.
constexpr auto kHandshakeDeadline = 5s;
constexpr auto kLongestWait = 8s;

// OpenSSL is not instrumented, so the fuzzer would see no difference between bytes it
// refuses early and bytes it parses far. What the server sent back (record types, the
// alert's description, the handshake messages) stands in: each kind of answer sets a
// counter of its own in the section libFuzzer reads as extra coverage.
constexpr std::size_t kAnswerKinds = 2 * 3 * 256;
__attribute__((section("__libfuzzer_extra_counters"))) std::uint8_t g_answerSeen[kAnswerKinds];

constexpr std::uint8_t kRecordAlert = 21;
constexpr std::uint8_t kRecordHandshake = 22;
constexpr std::size_t kRecordHeader = 5;

void NoteAnswer(bool data, int fd) {
    std::uint8_t answer[16384];
    const ssize_t got = ::recv(fd, answer, sizeof answer, MSG_DONTWAIT);
    const std::size_t base = data ? 3 * 256 : 0;
    if (got <= 0) {
        g_answerSeen[base] = 1;  // no answer at all
        return;
    }
    const auto size = static_cast<std::size_t>(got);
    for (std::size_t at = 0; at + kRecordHeader < size;) {
        const std::uint8_t type = answer[at];
        const std::uint8_t first = answer[at + kRecordHeader];
        if (type == kRecordAlert && at + kRecordHeader + 1 < size)
            g_answerSeen[base + 256 + answer[at + kRecordHeader + 1]] = 1;  // the description
        else if (type == kRecordHandshake)
            g_answerSeen[base + 512 + first] = 1;  // the first message's type
        else
            g_answerSeen[base + 1 + (type & 0x7f)] = 1;
        at += kRecordHeader + (static_cast<std::size_t>(answer[at + 3]) << 8) + answer[at + 4];
    }
}

[[noreturn]] void Die(const std::string& why) {
    std::fprintf(stderr, "tlsrecord fuzz: %s\n", why.c_str());
    std::abort();
}

class HandshakeSocket : public CAsyncSocket {
public:
    bool ended = false;
    int error = -1;

private:
    void OnHandshake(int result) override {
        ended = true;
        error = result;
    }
};

void MakeSocketPair(int pair[2]) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) Die("no socket pair");
}

// A pair for one input, retried within a bound; false (the input is skipped) without one.
bool MakeInputPair(int pair[2]) {
    UniqueFd first;
    UniqueFd second;
    if (!MakeSocketPair(first, second)) return false;
    pair[0] = first.Release();
    pair[1] = second.Release();
    return true;
}

class Fixture {
public:
    Fixture() {
        char pattern[] = "/dev/shm/tlsrecord-fuzz-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) Die("no directory under /dev/shm");
        m_dir = pattern;
        std::string error;
        if (!CreateSelfSignedCertificate(m_dir + "/cert.pem", m_dir + "/key.pem", error) ||
            !(m_context = CTlsContext::Load(m_dir + "/cert.pem", m_dir + "/key.pem", error)))
            Die(error);
        OpenControlConnection();
    }
    ~Fixture() = delete;  // lives for the process; the files go at exit
    static void RemoveFiles();

    // Feeds `bytes` to a new connection of the chosen kind and runs its handshake.
    int Run(bool data, const std::uint8_t* bytes, std::size_t size) {
        int pair[2];
        if (!MakeInputPair(pair)) return SkipInput("socketpair");
        SendAllThatFits(pair[0], bytes, size);
        (void)::shutdown(pair[0], SHUT_WR);
        HandshakeSocket server;
        if (!server.Attach(pair[1])) Die("attach failed");
        const bool started = data ? server.StartTlsLike(m_control, kHandshakeDeadline)
                                  : server.StartTls(*m_context, kHandshakeDeadline);
        if (!started) Die("the handshake did not start");
        if (!m_loop.RunUntil([&] { return server.ended; }, kLongestWait))
            Die("the handshake did not end after the peer hung up");
        if (server.error == 0) Die("a handshake succeeded from bytes that hold no key");
        // What a session does next with a failed connection: it must answer, not wait.
        char buffer[64];
        if (server.Receive(buffer, sizeof buffer) > 0) Die("bytes received without TLS");
        server.Close();
        NoteAnswer(data, pair[0]);
        ::close(pair[0]);
        return 0;
    }

    std::string m_dir;

private:
    // The data to send is taken whole by the pair's buffer in every case that matters; a
    // longer input is cut where the buffer is full, as a peer's would be.
    static void SendAllThatFits(int fd, const std::uint8_t* bytes, std::size_t size) {
        for (std::size_t sent = 0; sent < size;) {
            const ssize_t n = ::send(fd, bytes + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
    }

    // A control connection with a completed handshake, which every data connection names
    // as the one whose session it must resume.
    void OpenControlConnection() {
        int pair[2];
        MakeSocketPair(pair);
        m_clientContext.reset(SSL_CTX_new(TLS_client_method()));
        if (!m_clientContext) Die("no client context");
        m_client.reset(SSL_new(m_clientContext.get()));
        if (!m_client || SSL_set_fd(m_client.get(), pair[0]) != 1) Die("no client");
        std::thread client([this] { m_clientResult = SSL_connect(m_client.get()); });
        const bool attached = m_control.Attach(pair[1]);
        const bool started = attached && m_control.StartTls(*m_context, kHandshakeDeadline);
        const bool ended =
            started && m_loop.RunUntil([&] { return m_control.ended; }, kLongestWait);
        if (!ended) (void)::shutdown(pair[0], SHUT_RDWR);  // lets the client give up
        client.join();
        if (!ended || m_control.error != 0 || m_clientResult != 1)
            Die("the control connection's handshake failed");
    }

    EventLoop m_loop;  // the fuzzing thread's, made before every socket
    std::shared_ptr<CTlsContext> m_context;
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> m_clientContext{nullptr, &SSL_CTX_free};
    std::unique_ptr<SSL, decltype(&SSL_free)> m_client{nullptr, &SSL_free};
    int m_clientResult = 0;
    HandshakeSocket m_control;
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
    std::filesystem::remove_all(Shared().m_dir, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    return Shared().Run((data[0] & 1) != 0, data + 1, size - 1);
}
