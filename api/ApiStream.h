// The byte streams under the API's HTTP. CFdStream is a connected socket as it is (the
// control socket); CBoundedStream wraps any stream (CFdStream, or the TLS listener's) and
// enforces what the HTTP library leaves open: a byte budget for a request's head and
// body, and a deadline for the whole request.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <string>

#include "platform/UniqueFd.h"

using ApiClock = std::chrono::steady_clock;

// A connected socket. Reads and writes wait as the socket's own time-outs say
// (CBoundedStream sets them); owns the descriptor.
class CFdStream : public httplib::Stream {
public:
    CFdStream(UniqueFd fd, std::string peerAddress)
        : m_fd(std::move(fd)), m_peer(std::move(peerAddress)) {}

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return m_fd.Get(); }

private:
    UniqueFd m_fd;
    std::string m_peer;
};

class CBoundedStream : public httplib::Stream {
public:
    // Why reading stopped for good: the connection ends after its answer.
    enum class Failure { None, Deadline, HeadTooLarge, BodyTooLarge, Closed };

    explicit CBoundedStream(httplib::Stream& inner) : m_inner(inner) {}

    // Waits until the next request's first byte can be read: false when `idleUntil`
    // passes, the peer closes, or `giveUp()` says so (checked every 100 ms).
    bool WaitForRequest(ApiClock::time_point idleUntil, const std::function<bool()>& giveUp);
    // A new request starts: its head and body budgets are full again, and it must have
    // arrived by `deadline`.
    void BeginRequest(ApiClock::time_point deadline);
    // True once the request's head has been read whole (its empty line seen).
    bool HeadComplete() const { return m_headEnd == 4; }
    Failure ReadFailure() const { return m_failure; }
    // The answer being written is a live stream: only each write is bounded, not the whole.
    void AllowLongAnswer() { m_longAnswer = true; }

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        m_inner.get_remote_ip_and_port(ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        m_inner.get_local_ip_and_port(ip, port);
    }
    socket_t socket() const override { return m_inner.socket(); }

private:
    bool Fill();
    void CountHeadBytes(const char* data, std::size_t size);

    httplib::Stream& m_inner;
    char m_buffer[4096];
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    ApiClock::time_point m_deadline = ApiClock::now();
    std::size_t m_headBytes = 0;
    std::size_t m_bodyBytes = 0;
    int m_headEnd = 0;  // how much of "\r\n\r\n" was seen last
    Failure m_failure = Failure::None;
    ApiClock::time_point m_answerDeadline{};  // set by the answer's first write
    bool m_longAnswer = false;
};

// Bounds the socket's own waits: each read to what is left of `deadline` (at least 1 ms),
// each write to `writeWait`.
void SetSocketWaits(int fd, ApiClock::time_point deadline, std::chrono::milliseconds writeWait);
