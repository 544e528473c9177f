// The HTTP server's view of one TLS connection of the administration listener: an
// httplib::Stream whose every wait is bounded. The handshake runs at the first read or
// write, on the thread that serves the connection, so a slow client never holds up
// the thread that accepts.
#pragma once

#include <httplib.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/UniqueFd.h"

class CTlsContext;
class CTlsServerConnection;

struct TlsStreamLimits {
    std::chrono::milliseconds handshake{10000};
    std::chrono::milliseconds read{10000};  // per read, and is_readable's wait
    std::chrono::milliseconds write{10000};  // per write of a whole buffer
    std::chrono::milliseconds closeNotify{1000};
};

class CTlsHttpStream : public httplib::Stream {
public:
    CTlsHttpStream(std::shared_ptr<CTlsContext> context, UniqueFd fd, TlsStreamLimits limits);
    ~CTlsHttpStream() override;  // sends close_notify after a completed handshake

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override;

    // Why the handshake failed; empty while none did.
    const std::string& HandshakeError() const { return m_handshakeError; }

private:
    bool EnsureHandshake() const;

    std::unique_ptr<CTlsServerConnection> m_connection;
    TlsStreamLimits m_limits;
    std::string m_peerAddress;
    mutable std::string m_handshakeError;
};

// What the administration listener calls for each connection it accepts.
std::unique_ptr<httplib::Stream> NewTlsHttpStream(std::shared_ptr<CTlsContext> context,
                                                  UniqueFd fd, TlsStreamLimits limits = {});
