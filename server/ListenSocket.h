// The socket that accepts control connections and hands each to the controller.
#pragma once

#include "platform/Socket.h"

class CFtpServer;

class CListenSocket : public CAsyncSocket {
public:
    explicit CListenSocket(CFtpServer& server) : m_server(server) {}
    // Binds every local address (IPv6 and IPv4) on `port` and listens. Main thread.
    [[nodiscard]] bool Open(int port);

protected:
    void OnAccept(int error) override;

private:
    CFtpServer& m_server;
};
