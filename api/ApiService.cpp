#include "api/ApiService.h"

#include "api/MetricsRoutes.h"
#include "platform/FileSystem.h"
#include "platform/UnixSocket.h"
#include "server/FtpServer.h"

std::vector<ApiRoute> AllApiRoutes() {
    std::vector<ApiRoute> routes = ServerRoutes();
    for (std::vector<ApiRoute> group :
         {AccountRoutes(), SignInRoutes(), WebRoutes(), MetricsRoutes()})
        for (ApiRoute& route : group) routes.push_back(std::move(route));
    return routes;
}

CApiService::CApiService(CFtpServer& server, CConfigReloader* reloader)
    : m_loop(EventLoop::Current()),
      m_http(ApiContext{server, server.ProgramDir(), nullptr, &m_rates, reloader}, AllApiRoutes()) {
    m_rates.Sample(server);
    if (m_loop != nullptr)
        m_sampleTimer =
            m_loop->AddTimer(std::chrono::seconds(1), [this, &server] { m_rates.Sample(server); });
}

bool CApiService::OpenControlSocket(const std::string& path, std::string& error) {
    UniqueFd listener;
    if (!OpenUnixListener(path, listener, error)) return false;
    m_socketPath = path;
    m_http.AddListener(std::move(listener), ApiTransport::ControlSocket);
    return true;
}

void CApiService::Close() {
    m_http.Stop();
    if (m_sampleTimer != 0) m_loop->CancelTimer(m_sampleTimer);
    m_sampleTimer = 0;
    if (!m_socketPath.empty()) (void)RemoveFileIfPresent(m_socketPath);
    m_socketPath.clear();
}
