#include "api/ApiStream.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "api/ApiLimits.h"

namespace {

timeval TimevalOf(std::chrono::milliseconds wait) {
    const auto ms = std::max<std::int64_t>(wait.count(), 1);
    return timeval{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>((ms % 1000) * 1000)};
}

std::chrono::milliseconds LeftUntil(ApiClock::time_point deadline) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - ApiClock::now());
}

bool PollFor(int fd, short events, int timeoutMs) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, timeoutMs);
        if (n > 0) return true;
        if (n == 0 || errno != EINTR) return false;
    }
}

}  // namespace

void SetSocketWaits(int fd, ApiClock::time_point deadline, std::chrono::milliseconds writeWait) {
    const timeval receive = TimevalOf(LeftUntil(deadline));
    const timeval send = TimevalOf(writeWait);
    (void)::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &receive, sizeof receive);
    (void)::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send, sizeof send);
}

// ---- CFdStream

bool CFdStream::is_readable() const { return PollFor(m_fd.Get(), POLLIN, 0); }

bool CFdStream::is_writable() const {
    return PollFor(m_fd.Get(), POLLOUT, static_cast<int>(kApiWriteWait.count()));
}

ssize_t CFdStream::read(char* ptr, size_t size) {
    for (;;) {
        const ssize_t n = ::recv(m_fd.Get(), ptr, size, 0);
        if (n >= 0 || errno != EINTR) return n;
    }
}

ssize_t CFdStream::write(const char* ptr, size_t size) {
    for (;;) {
        const ssize_t n = ::send(m_fd.Get(), ptr, size, MSG_NOSIGNAL);
        if (n >= 0 || errno != EINTR) return n;
    }
}

void CFdStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    ip = m_peer;
    port = 0;
}

void CFdStream::get_local_ip_and_port(std::string& ip, int& port) const {
    ip.clear();
    port = 0;
}

// ---- CBoundedStream

bool CBoundedStream::WaitForRequest(ApiClock::time_point idleUntil,
                                    const std::function<bool()>& giveUp) {
    if (m_begin < m_end) return true;  // a pipelined request is here already
    while (!giveUp()) {
        const auto left = LeftUntil(idleUntil).count();
        if (left <= 0) return false;
        if (PollFor(socket(), POLLIN, static_cast<int>(std::min<std::int64_t>(left, 100))))
            return true;
    }
    return false;
}

void CBoundedStream::BeginRequest(ApiClock::time_point deadline) {
    m_deadline = deadline;
    m_headBytes = 0;
    m_bodyBytes = 0;
    m_headEnd = 0;
    m_answerDeadline = {};
    m_longAnswer = false;
}

bool CBoundedStream::is_readable() const {
    if (m_begin < m_end) return true;
    const auto left = LeftUntil(m_deadline).count();
    return left > 0 && PollFor(socket(), POLLIN, static_cast<int>(left));
}

bool CBoundedStream::is_writable() const { return m_inner.is_writable(); }

bool CBoundedStream::Fill() {
    if (m_failure != Failure::None) return false;
    // SECURITY: a slow client gets no more time than the deadline, however it trickles.
    if (LeftUntil(m_deadline).count() <= 0) return (m_failure = Failure::Deadline, false);
    SetSocketWaits(socket(), m_deadline, kApiWriteWait);
    const ssize_t n = m_inner.read(m_buffer, sizeof m_buffer);
    if (n <= 0) {
        const bool late = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        m_failure = late ? Failure::Deadline : Failure::Closed;
        return false;
    }
    m_begin = 0;
    m_end = static_cast<std::size_t>(n);
    return true;
}

void CBoundedStream::CountHeadBytes(const char* data, std::size_t size) {
    static constexpr char kHeadEnd[] = "\r\n\r\n";
    for (std::size_t i = 0; i < size && m_headEnd < 4; ++i) {
        ++m_headBytes;
        if (data[i] == kHeadEnd[m_headEnd])
            ++m_headEnd;
        else
            m_headEnd = data[i] == '\r' ? 1 : 0;
    }
}

ssize_t CBoundedStream::read(char* ptr, size_t size) {
    if (m_begin == m_end && !Fill()) return -1;
    std::size_t take = std::min(size, m_end - m_begin);
    if (!HeadComplete()) {
        // The head is read a byte at a time by the library, so its end is seen exactly.
        CountHeadBytes(m_buffer + m_begin, take);
        if (m_headBytes > kApiMaxHeadBytes) {  // SECURITY: a header flood
            m_failure = Failure::HeadTooLarge;
            return -1;
        }
    } else {
        if (m_bodyBytes + take > kApiMaxBodyBytes + kApiBodyFramingBytes) {
            m_failure = Failure::BodyTooLarge;
            return -1;
        }
        m_bodyBytes += take;
    }
    std::memcpy(ptr, m_buffer + m_begin, take);
    m_begin += take;
    return static_cast<ssize_t>(take);
}

ssize_t CBoundedStream::write(const char* ptr, size_t size) {
    if (!m_longAnswer) {
        const auto now = ApiClock::now();
        if (m_answerDeadline == ApiClock::time_point{})
            m_answerDeadline = now + kApiAnswerWriteLimit;
        else if (now > m_answerDeadline)
            return -1;  // SECURITY: a client that reads a byte now and then
    }
    return m_inner.write(ptr, size);
}
