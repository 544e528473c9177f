// The administration API of a running server: the HTTP server with every route, serving
// the control socket of the program directory (and whatever listener is added to it).
#pragma once

#include <memory>
#include <string>

#include "api/ApiHttpServer.h"
#include "api/RateHistory.h"
#include "platform/EventLoop.h"

class CConfigReloader;
class CFtpServer;

// The control socket's file name in the program directory.
inline constexpr char kControlSocketName[] = "tarvona.sock";

class CApiService {
public:
    // Main thread: the counters are sampled by a timer of the calling thread's loop.
    // `reloader` serves the reload request; without one that request is refused.
    explicit CApiService(CFtpServer& server, CConfigReloader* reloader = nullptr);
    ~CApiService() { Close(); }
    CApiService(const CApiService&) = delete;
    CApiService& operator=(const CApiService&) = delete;

    CApiHttpServer& Http() { return m_http; }
    // Listens on `path` (owner-only) as the control socket. Listeners are added before Start.
    [[nodiscard]] bool OpenControlSocket(const std::string& path, std::string& error);
    [[nodiscard]] bool Start(std::string& error) { return m_http.Start(error); }
    // Stops serving and removes the socket file. Main thread.
    void Close();

private:
    CRateHistory m_rates;
    EventLoop* m_loop = nullptr;
    EventLoop::TimerId m_sampleTimer = 0;
    CApiHttpServer m_http;
    std::string m_socketPath;
};

// Every route of the API: ServerRoutes, AccountRoutes and SignInRoutes.
std::vector<ApiRoute> AllApiRoutes();
