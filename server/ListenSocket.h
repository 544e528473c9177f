// The socket that accepts control connections and hands each to the controller.
#pragma once

#include <string>

#include "platform/DescriptorReserve.h"
#include "platform/Socket.h"

class CFtpServer;

class CListenSocket : public CAsyncSocket {
public:
    // `implicitTls`: its clients speak TLS from the first byte (implicit FTPS).
    CListenSocket(CFtpServer& server, bool implicitTls)
        : m_server(server), m_implicitTls(implicitTls) {}
    ~CListenSocket() override;
    // Binds `address` on `port` and listens; the empty address binds every local
    // address (IPv6 and IPv4). Main thread.
    [[nodiscard]] bool Open(int port, const std::string& address = "");
    // Admits the connections waiting in the backlog, which closing the socket would
    // reset (a reload moving the port). Main thread.
    void TakeWaitingConnections() { OnAccept(0); }

protected:
    void OnAccept(int error) override;

private:
    bool DropOneAtLimit();
    void PauseAccepting();

    CFtpServer& m_server;
    const bool m_implicitTls;
    CDescriptorReserve m_reserve;
    EventLoop::TimerId m_resumeTimer = 0;  // while accepting is paused
};
