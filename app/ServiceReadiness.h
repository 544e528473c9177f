// Keeps a service manager told while tarvona-server runs: ready once the listening
// sockets are bound, a status line with the session count, the watchdog kept fed from
// the main loop (so a hung loop gets the process restarted), and the stop. Does nothing
// without a service manager.
#pragma once

#include "platform/EventLoop.h"

class CFtpServer;

class CServiceReadiness {
public:
    CServiceReadiness(EventLoop& loop, CFtpServer& server) : m_loop(loop), m_server(server) {}
    ~CServiceReadiness();
    CServiceReadiness(const CServiceReadiness&) = delete;
    CServiceReadiness& operator=(const CServiceReadiness&) = delete;

    // After a successful Start, on the main loop's thread.
    void Ready();
    void Stopping();

private:
    void UpdateStatus();
    void CancelTimers();

    EventLoop& m_loop;
    CFtpServer& m_server;
    EventLoop::TimerId m_statusTimer = 0;
    EventLoop::TimerId m_watchdogTimer = 0;
    int m_reportedSessions = -1;
    int m_reportedPort = -1;
    int m_reportedImplicitPort = -1;
};
