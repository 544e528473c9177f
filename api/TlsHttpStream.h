// The HTTP server's view of one TLS connection of the administration listener: an
// httplib::Stream whose every wait is bounded (by its own limits, or by the socket's
// time-outs when the caller set shorter ones to bound a whole request).
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
    std::chrono::milliseconds read{10000};   // per read
    std::chrono::milliseconds write{10000};  // per write of a whole buffer
    std::chrono::milliseconds closeNotify{1000};
};

class CTlsHttpStream : public httplib::Stream {
public:
    CTlsHttpStream(std::shared_ptr<CTlsContext> context, UniqueFd fd, std::string peerAddress,
                   TlsStreamLimits limits);
    ~CTlsHttpStream() override;  // sends close_notify after a completed handshake

    // False, with `error`, when the handshake fails or takes too long.
    [[nodiscard]] bool Handshake(std::string& error);

    // Bytes can be read now (decrypted ones waiting count); never waits.
    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override;

private:
    std::unique_ptr<CTlsServerConnection> m_connection;
    TlsStreamLimits m_limits;
    std::string m_peerAddress;
};

// The administration listener's stream for an accepted connection, after its handshake;
// nullptr (the connection is closed) when the handshake fails. `context` nullptr: no
// certificate is usable, and the connection is closed at once.
std::unique_ptr<httplib::Stream> NewTlsHttpStream(std::shared_ptr<CTlsContext> context, UniqueFd fd,
                                                  const std::string& peerAddress,
                                                  TlsStreamLimits limits = {});
