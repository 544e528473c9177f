// Making and taking down a session's data connection.
#include "ftp/DataConnection.h"

#include <memory>

#include "ftp/DataSocket.h"
#include "ftp/DataWaitScope.h"
#include "ftp/TlsRules.h"
#include "ftp/TransferEnd.h"
#include "ftp/TransferLimits.h"
#include "server/ConnectThread.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

namespace {

// Ends a failed set-up: the socket goes, and a transfer the session thought was
// starting is over.
void AbandonDataConnection(CControlSocket& session) {
    session.SetState(SessionState::Idle);
    EndDataConnection(session);
}

// Active mode: a fresh socket connecting to the PORT target. False with the reply out.
bool StartActiveConnect(CControlSocket& session) {
    const DataSettings& target = session.Settings().data;
    if (target.portAddress.empty() || target.portPort == -1) {
        session.SendReply("425 Can't build data connection.");
        return false;
    }
    session.SetDataSocket(nullptr);
    auto socket = std::make_unique<CDataSocket>(session);
    // The control connection's family: a dual-stack control socket reaches an IPv4
    // client through its mapped address as well.
    if (!socket->Create(DataFamily(session)) || !socket->Bind("", 0)) {
        session.SendReply("421 Failed to create connection.");
        return false;
    }
    session.SetDataSocket(std::move(socket));
    // A port outside the TCP range cannot be reached; truncating it would reach another.
    if (target.portPort < 1 || target.portPort > 65535 ||
        !session.DataSocket()->Connect(target.portAddress,
                                       static_cast<std::uint16_t>(target.portPort))) {
        session.Server().Metrics().CountDataConnectionFailure();
        session.SendReply("425 Can't build data connection.");
        return false;
    }
    return true;
}

}  // namespace

AddressFamily DataFamily(const CControlSocket& session) {
    return session.IsV6() ? AddressFamily::V6 : AddressFamily::V4;
}

bool IsIpv6Client(CControlSocket& session) {
    return session.Owner().PeerAddress().find(':') != std::string::npos;
}

namespace {

// The final reply of a transfer command whose wait ended without a connection;
// `socket` is none when ABOR, QUIT or BYE (or a closing of the connection) ended it.
void ReplyToFailedWait(CControlSocket& session, const CDataSocket* socket) {
    if (socket == nullptr)
        session.SendReply("426 Data connection closed.");  // before ABOR's or QUIT's reply
    else if (!socket->RefusalReply().empty())
        session.SendReply("%s", socket->RefusalReply().c_str());
    else if (socket->ConnectFailed() || !socket->IsOpen())
        session.SendReply("425 Can't build data connection.");
    else
        session.SendReply("421 Failed to create connection.");
}

}  // namespace

bool OpenDataConnection(CControlSocket& session) {
    // SECURITY: waits never nest (lines received during a wait are queued, not run);
    // should a command still get here during a wait, it is refused, not nested.
    // A command must also not take away a connection another transfer runs on.
    if (session.IsWaitingForData() || (session.DataSocket() && session.DataSocket()->IsBusy())) {
        session.SendReply("425 Can't build data connection.");
        return false;
    }
    if (!TlsAllowsDataConnection(session)) {
        AbandonDataConnection(session);
        return false;
    }
    if (!session.Settings().data.passive) {
        if (!StartActiveConnect(session)) {
            AbandonDataConnection(session);
            return false;
        }
    } else if (!session.DataSocket()) {
        session.SendReply("425 Can't build data connection.");
        AbandonDataConnection(session);
        return false;
    }
    CDataSocket* socket = session.DataSocket();
    const std::uint64_t serial = socket->Serial();
    // NOTE: a thread message handled during the wait (WM_SESSION_CONTROL 0) may destroy
    // this socket; `socket` is used only while the session still holds the same serial.
    auto stillOurs = [&] {
        return session.DataSocket() && session.DataSocket()->Serial() == serial;
    };
    auto settled = [&] {
        return session.IsWaitInterrupted() || !stillOurs() || socket->IsConnected() ||
               socket->ConnectFailed() || !socket->IsOpen();
    };
    socket->SetClaimed(true);
    EventLoop& loop = session.Owner().OwnLoop();
    DataWaitScope wait(session);
    (void)loop.RunUntil(settled, kDataConnectTimeout);
    const bool interrupted = wait.End();
    if (stillOurs()) socket->SetClaimed(false);
    if (!interrupted && stillOurs() && socket->IsConnected()) {
        // SECURITY: the protection was chosen when the connection was made; one made in
        // clear before PROT P must not carry a transfer the client asked to protect.
        if (socket->IsTls() == session.Settings().tls.protectData) return true;
        session.SendReply("425 The data connection was made before PROT changed: open a new one.");
        AbandonDataConnection(session);
        return false;
    }
    if (loop.QuitTaken() || !session.IsOpen()) {
        AbandonDataConnection(session);  // the session is ending; no one to tell
        return false;
    }
    if (!interrupted && stillOurs()) session.Server().Metrics().CountDataConnectionFailure();
    ReplyToFailedWait(session, interrupted || !stillOurs() ? nullptr : socket);
    AbandonDataConnection(session);
    return false;
}
