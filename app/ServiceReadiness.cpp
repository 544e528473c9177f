#include "app/ServiceReadiness.h"

#include <chrono>
#include <string>

#include "platform/ServiceManager.h"
#include "platform/StringFormat.h"
#include "server/FtpServer.h"

namespace {

// The status line changes at most this often, however fast sessions come and go.
constexpr std::chrono::milliseconds kStatusPeriod{1000};

}  // namespace

CServiceReadiness::~CServiceReadiness() { CancelTimers(); }

void CServiceReadiness::Ready() {
    // Without a service manager the timers would wake an idle server for nothing.
    if (!service_manager::Present()) return;
    service_manager::NotifyReady();
    UpdateStatus();
    m_statusTimer = m_loop.AddTimer(kStatusPeriod, [this] { UpdateStatus(); });
    // Fed at half the interval, as the manager asks, so one late tick is no restart.
    const auto interval = std::chrono::duration_cast<std::chrono::milliseconds>(
        service_manager::WatchdogInterval() / 2);
    if (interval.count() > 0)
        m_watchdogTimer = m_loop.AddTimer(interval, [] { service_manager::NotifyAlive(); });
}

void CServiceReadiness::Stopping() {
    CancelTimers();
    service_manager::NotifyStopping();
    service_manager::NotifyStatus("Stopping: ending the sessions.");
}

void CServiceReadiness::UpdateStatus() {
    const int sessions = m_server.CurrentConnections();
    // A reload may have moved either port.
    const int port = m_server.GetBoundPort();
    const int implicitPort = m_server.GetImplicitTlsPort();
    if (sessions == m_reportedSessions && port == m_reportedPort &&
        implicitPort == m_reportedImplicitPort)
        return;
    m_reportedSessions = sessions;
    m_reportedPort = port;
    m_reportedImplicitPort = implicitPort;
    const std::string implicit =
        implicitPort > 0 ? StringFormat(" and implicit FTPS port %d", implicitPort) : "";
    service_manager::NotifyStatus(StringFormat("Serving port %d%s: %d session%s.", port,
                                               implicit.c_str(), sessions,
                                               sessions == 1 ? "" : "s"));
}

void CServiceReadiness::CancelTimers() {
    if (m_statusTimer != 0) m_loop.CancelTimer(m_statusTimer);
    if (m_watchdogTimer != 0) m_loop.CancelTimer(m_watchdogTimer);
    m_statusTimer = m_watchdogTimer = 0;
}
