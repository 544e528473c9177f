// One TLS connection, server side, for a worker thread that may wait: the handshake and
// every read and write are bounded by a time limit (or the socket's own SO_RCVTIMEO /
// SO_SNDTIMEO when shorter), and the end sends close_notify. The
// administration listener's connections use it; FTP sessions use CAsyncSocket instead,
// whose waits belong to the session's event loop.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/UniqueFd.h"

class CTlsContext;
class CTlsStream;

class CTlsServerConnection {
public:
    // Takes the connected socket `fd`, made non-blocking here; `context` is kept alive for
    // as long as the connection is.
    CTlsServerConnection(std::shared_ptr<CTlsContext> context, UniqueFd fd);
    ~CTlsServerConnection();
    CTlsServerConnection(const CTlsServerConnection&) = delete;
    CTlsServerConnection& operator=(const CTlsServerConnection&) = delete;

    // Runs the handshake, giving up after `limit`. False, with `error`, when it fails or
    // the peer is too slow; the connection is then useless.
    [[nodiscard]] bool Handshake(std::chrono::milliseconds limit, std::string& error);
    bool HandshakeDone() const;

    // >0 bytes read, 0 the peer closed, -1 failure or nothing within `limit`.
    long Read(char* buffer, std::size_t size, std::chrono::milliseconds limit);
    // Writes all of `data` within `limit`: its size, or -1.
    long Write(const char* data, std::size_t size, std::chrono::milliseconds limit);
    // A Read would return at once (bytes or the end) within `limit`.
    bool WaitReadable(std::chrono::milliseconds limit);
    // Sends close_notify, waiting at most `limit` for the socket to take it.
    void Close(std::chrono::milliseconds limit);

    int Fd() const { return m_fd.Get(); }
    // "TLSv1.3, TLS_AES_256_GCM_SHA384" after the handshake.
    std::string Description() const;

private:
    // Waits for `events` on the socket until `deadline`; false when it passed.
    bool WaitFor(short events, std::chrono::steady_clock::time_point deadline) const;

    std::shared_ptr<CTlsContext> m_context;
    UniqueFd m_fd;
    std::unique_ptr<CTlsStream> m_tls;
    bool m_failed = false;
};
