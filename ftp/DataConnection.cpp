// Making and taking down a session's data connection.
#include "ftp/DataConnection.h"

#include <memory>
#include <mutex>

#include "accounts/AccountStore.h"
#include "ftp/DataSocket.h"
#include "ftp/ResolveReplies.h"
#include "ftp/TransferLimits.h"
#include "server/ConnectThread.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

namespace {

// Ends a failed set-up: the socket goes, and a transfer the session thought was
// starting is over.
void AbandonDataConnection(CControlSocket& session) {
    session.SetState(SessionState::Idle);
    session.CloseDataConnection();
}

// Active mode: a fresh socket connecting to the PORT target. False with the reply out.
bool StartActiveConnect(CControlSocket& session) {
    if (session.m_portAddress.empty() || session.m_portPort == -1) {
        session.SendReply("425 Can't build data connection.");
        return false;
    }
    session.m_dataSocket.reset();
    auto socket = std::make_unique<CDataSocket>(session);
    // The control connection's family: a dual-stack control socket reaches an IPv4
    // client through its mapped address as well.
    if (!socket->Create(DataFamily(session)) || !socket->Bind("", 0)) {
        session.SendReply("421 Failed to create connection.");
        return false;
    }
    session.m_dataSocket = std::move(socket);
    // A port outside the TCP range cannot be reached; truncating it would reach another.
    if (session.m_portPort < 1 || session.m_portPort > 65535 ||
        !session.m_dataSocket->Connect(session.m_portAddress,
                                       static_cast<std::uint16_t>(session.m_portPort))) {
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

// Whatever ends the wait, the session reads and runs its lines again afterwards.
class DataWaitScope {
public:
    explicit DataWaitScope(CControlSocket& session) : m_session(session) { session.BeginDataWait(); }
    ~DataWaitScope() {
        if (!m_ended) (void)m_session.EndDataWait();
    }
    DataWaitScope(const DataWaitScope&) = delete;
    DataWaitScope& operator=(const DataWaitScope&) = delete;
    // True when ABOR, QUIT or BYE cut the wait short.
    bool End() {
        m_ended = true;
        return m_session.EndDataWait();
    }

private:
    CControlSocket& m_session;
    bool m_ended = false;
};

// The final reply of a transfer command whose wait ended without a connection;
// `socket` is none when ABOR, QUIT or BYE (or a closing of the connection) ended it.
void ReplyToFailedWait(CControlSocket& session, const CDataSocket* socket) {
    if (socket == nullptr)
        session.SendReply("426 Data connection closed.");  // before ABOR's or QUIT's reply
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
    if (session.IsWaitingForData() || (session.m_dataSocket && session.m_dataSocket->IsBusy())) {
        session.SendReply("425 Can't build data connection.");
        return false;
    }
    if (!session.m_passive) {
        if (!StartActiveConnect(session)) {
            AbandonDataConnection(session);
            return false;
        }
    } else if (!session.m_dataSocket) {
        session.SendReply("425 Can't build data connection.");
        AbandonDataConnection(session);
        return false;
    }
    CDataSocket* socket = session.m_dataSocket.get();
    const std::uint64_t serial = socket->Serial();
    // NOTE: a thread message handled during the wait (WM_SESSION_CONTROL 0) may destroy
    // this socket; `socket` is used only while the session still holds the same serial.
    auto stillOurs = [&] { return session.m_dataSocket && session.m_dataSocket->Serial() == serial; };
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
    if (!interrupted && stillOurs() && socket->IsConnected()) return true;
    if (loop.QuitTaken() || !session.IsOpen()) {
        AbandonDataConnection(session);  // the session is ending; no one to tell
        return false;
    }
    ReplyToFailedWait(session, interrupted || !stillOurs() ? nullptr : socket);
    AbandonDataConnection(session);
    return false;
}

void CControlSocket::CloseDataConnection() {
    if (!m_dataSocket) return;
    const std::int64_t received = m_dataSocket->BytesReceived();
    const std::int64_t quotaMax = m_dataSocket->QuotaMaximum();
    m_dataSocket.reset();
    m_portAddress.clear();
    m_portPort = -1;
    m_restartOffset = 0;
    m_passive = false;
    // A transfer cannot outlive its connection (ABOR ends one this way); a session that
    // is not logged in stays so.
    if (m_state == SessionState::Listing || m_state == SessionState::Uploading ||
        m_state == SessionState::Downloading)
        m_state = SessionState::Idle;
    if (quotaMax == 0) return;
    // Ordered with DELE and the other sessions of the user; an account that cannot be
    // read or written is left as it is.
    std::lock_guard lock(Server().ConnectionLock());
    // SECURITY: every started KiB is booked, so the quota cannot be passed by many
    // uploads just short of a whole KiB.
    bool busy = false;
    (void)AddQuotaCurrent(Server().ProgramDir(), m_userName,
                          static_cast<double>((received + 1023) / 1024), false, &busy);
    if (busy) LogAccountBusy(*this);
}
