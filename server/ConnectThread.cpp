#include "server/ConnectThread.h"

#include "config/LogLine.h"
#include "platform/Clock.h"
#include "platform/Messages.h"
#include "platform/SocketTuning.h"
#include "platform/StringFormat.h"
#include "platform/Text.h"
#include "server/FtpServer.h"
#include "server/Limits.h"

CConnectThread::CConnectThread(CFtpServer& server, UniqueFd fd, std::string peerAddress,
                               bool implicitTls)
    : m_server(server),
      m_acceptedFd(std::move(fd)),
      m_peerAddress(std::move(peerAddress)),
      m_implicitTls(implicitTls),
      m_connectedAt(NowSeconds()),
      m_lastActivity(NowSeconds()),
      m_control(*this) {}

// A thread that never started still owns its descriptor; m_acceptedFd closes it.
CConnectThread::~CConnectThread() = default;

bool CConnectThread::InitInstance() {
    Loop().SetMessageHandler([this](const Message& m) { return OnThreadMessage(m); });
    UniqueFd accepted = std::move(m_acceptedFd);
    if (m_control.Attach(accepted.Get())) (void)accepted.Release();  // else it is closed here
    // Downloads use sendfile, which cannot be told not to raise SIGPIPE.
    BlockBrokenPipeSignal();
    // A reply that follows another at once (150, then 226 after a small file) must not
    // wait for the client's delayed acknowledgement.
    (void)DisableSendCoalescing(m_control.Handle());
    (void)KeepUrgentDataInline(m_control.Handle());
    // The user and per-address limits were decided when the connection was accepted.
    m_server.MainLoop()->Send(Message{WM_SESSION_OPENED, reinterpret_cast<std::intptr_t>(this), 0,
                                      m_server.ServerWindow()});
    if (!m_server.IsAddressAllowed(m_peerAddress)) {
        if (m_implicitTls) {
            // A TLS client could not read the clear 421; a handshake for it would be
            // work done for an address the administrator turned away.
            ReleaseUserSlot();
            Loop().PostQuit();
        } else {
            Refuse("421 Access denied, IP address was rejected by the server.", "");
        }
    } else if (m_implicitTls) {
        (void)m_control.StartImplicitTls();  // Welcome follows the handshake
    } else {
        Welcome();
    }
    return true;
}

void CConnectThread::Welcome() {
    m_control.SendReply("220 %s", m_server.GetWelcomeMessage().c_str());
    if (m_idleTimer == 0) m_idleTimer = Loop().AddTimer(kIdleTick, [this] { OnIdleTick(); });
}

void CConnectThread::Refuse(const char* reply, const std::string& logLine) {
    ReleaseUserSlot();
    if (!logLine.empty()) m_server.LogMessage(LogCategory::Server, logLine);
    m_control.SendReply("%s", reply);
    Loop().PostQuit();
}

void CConnectThread::ReleaseUserSlot() {
    if (!m_userSlotTaken || m_userSlotReleased.exchange(true)) return;
    m_server.ReleaseUserSlot();
    m_server.Sessions().Remove(ThreadId());
}

void CConnectThread::ExitInstance() {
    ReleaseUserSlot();
    if (m_idleTimer != 0) Loop().CancelTimer(m_idleTimer);
    m_idleTimer = 0;
    m_server.RemoveConnection(this);
    m_server.MainLoop()->Send(Message{WM_SESSION_CLOSED, reinterpret_cast<std::intptr_t>(this), 0,
                                      m_server.ServerWindow()});
}

std::intptr_t CConnectThread::OnThreadMessage(const Message& message) {
    if (message.id != WM_SESSION_CONTROL) return 0;
    if (message.wParam == static_cast<std::intptr_t>(SessionControl::CloseDataConnection))
        m_control.CloseDataConnection();
    if (message.wParam == static_cast<std::intptr_t>(SessionControl::EndSession)) {
        ReleaseUserSlot();
        Loop().PostQuit();
    }
    return 0;
}

bool CConnectThread::LoginDeadlinePassed() {
    if (m_loggedInOnce) return false;
    const int deadline = m_server.GetLoginPolicy().loginTimeoutSeconds;
    return deadline > 0 && NowSeconds() - m_connectedAt >= deadline;
}

void CConnectThread::OnIdleTick() {
    // SECURITY: a client that never logs in cannot keep a place under the user limit.
    if (LoginDeadlinePassed()) {
        Refuse("421 Login time exceeded, closing control connection.",
               StringFormat("%s did not log in in time, disconnected.", m_peerAddress.c_str()));
        return;
    }
    // An idle time-out of 0 (or less) means none.
    const std::int64_t limit = m_server.GetIdleTimeoutSeconds();
    if (limit > 0 && m_lastActivity + limit < NowSeconds()) {
        ReleaseUserSlot();
        m_control.SendReply("426 Connection timed out, aborting transfer");
        Loop().PostQuit();
    }
}

void CConnectThread::PostToSelf(int id, std::intptr_t wParam) {
    // The session's own loop is run by Run and RunUntil alone, never by a foreign driver.
    if (Loop().IsLoopThread())
        Loop().PostWithinLoop(Message{id, wParam, 0, nullptr});
    else
        Loop().Post(Message{id, wParam, 0, nullptr});
}

void CConnectThread::PostSessionControl(SessionControl what) {
    PostToSelf(WM_SESSION_CONTROL, static_cast<std::intptr_t>(what));
}

void CConnectThread::AddSentBytes(std::int64_t count) {
    m_bytesSent += count;
    m_lastActivity = NowSeconds();
    m_server.CountBytesSent(count);
}

void CConnectThread::AddReceivedBytes(std::int64_t count) {
    m_bytesReceived += count;
    m_lastActivity = NowSeconds();
    m_server.CountBytesReceived(count);
}

void CConnectThread::AddControlBytesReceived(std::int64_t count) {
    m_bytesReceived += count;
    m_server.CountBytesReceived(count);
}

void CConnectThread::NoteActivity() { m_lastActivity = NowSeconds(); }

void CConnectThread::NoteCommandLine(const std::string& line) {
    m_lastActivity = NowSeconds();
    const bool loggedIn = m_control.State() != SessionState::NotLoggedIn;
    // Seen after every line, not at the idle tick: a USER right after the login would
    // otherwise hide it, and the login deadline would end a session that had logged in.
    m_loggedInOnce = m_loggedInOnce || loggedIn;
    m_server.Sessions().NoteCommand(ThreadId(), m_control.UserName(), m_control.CurrentDir(),
                                    loggedIn, m_lastActivity);
    // SECURITY: PASS is masked here as in the log; the line is shown to administrators.
    m_server.Sessions().NoteCommandLine(
        ThreadId(),
        ReplaceControlCharacters(MaskedCommandLine(line).substr(0, kShownCommandBytes)));
}

void CConnectThread::ReportTransferEvent(TransferEvent event) {
    if (event == TransferEvent::None) return;
    if (event == TransferEvent::DownloadDone || event == TransferEvent::UploadDone)
        ++m_transfersCompleted;
    m_server.CountTransferEvent(event);
}
