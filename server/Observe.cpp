#include "server/Observe.h"

#include "server/ConnectThread.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

namespace {

AuditSession Subject(CControlSocket& session) {
    return AuditSession{session.SessionId(), session.UserName(), session.Owner().PeerAddress()};
}

}  // namespace

void ObserveLogin(CControlSocket& session, bool accepted) {
    CFtpServer& server = session.Server();
    server.Metrics().CountLogin(accepted);
    server.Audit().Login(Subject(session), accepted);
}

void ObserveSessionEnd(CControlSocket& session) {
    CFtpServer& server = session.Server();
    server.Metrics().SessionLeft(static_cast<int>(session.State()));
    if (session.State() != SessionState::NotLoggedIn) server.Audit().Logout(Subject(session));
}

void ObserveStateChange(CControlSocket& session, int before, int after) {
    CServerMetrics& metrics = session.Server().Metrics();
    metrics.SessionLeft(before);
    metrics.SessionEntered(after);
}

void ObserveTransfer(CControlSocket& session, const AuditTransfer& transfer) {
    session.Server().Audit().Transfer(Subject(session), transfer);
}

void ObservePathEvent(CControlSocket& session, std::string_view event, std::string_view path,
                      std::string_view target) {
    session.Server().Audit().PathEvent(Subject(session), event, path, target);
}

void ObserveBan(CFtpServer& server, std::string_view address, std::int64_t seconds,
                std::string_view service) {
    server.Audit().Ban(address, seconds, service);
}
