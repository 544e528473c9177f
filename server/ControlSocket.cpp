#include "server/ControlSocket.h"

#include <cstdarg>
#include <exception>

#include "config/LogLine.h"
#include "ftp/CommandTable.h"
#include "ftp/DataSocket.h"
#include "ftp/Dispatcher.h"
#include "ftp/TransferEnd.h"
#include "platform/Messages.h"
#include "platform/StringFormat.h"
#include "server/ConnectThread.h"
#include "server/FtpServer.h"
#include "server/Limits.h"
#include "server/Observe.h"

CControlSocket::CControlSocket(CConnectThread& owner) : m_owner(owner) {
    Server().Metrics().SessionEntered(static_cast<int>(m_state));
}

CControlSocket::~CControlSocket() {
    CloseDataConnection();
    ObserveSessionEnd(*this);
}

void CControlSocket::SetState(SessionState state) {
    if (state != m_state)
        ObserveStateChange(*this, static_cast<int>(m_state), static_cast<int>(state));
    m_state = state;
}

CFtpServer& CControlSocket::Server() { return m_owner.Server(); }

std::uint32_t CControlSocket::SessionId() const { return m_owner.ThreadId(); }

void CControlSocket::EndSession() {
    m_owner.ReleaseUserSlot();
    Close();
    m_owner.PostSessionControl(SessionControl::EndSession);
}

const std::string& CControlSocket::LocalAddress() {
    std::uint16_t port = 0;
    if (m_localAddress.empty()) (void)GetSockName(m_localAddress, port);
    return m_localAddress;
}

void CControlSocket::SetDataSocket(std::unique_ptr<CDataSocket> socket) {
    m_dataSocket = std::move(socket);
}

void CControlSocket::CloseDataConnection() { EndDataConnection(*this); }

void CControlSocket::CloseDataConnectionLater() {
    m_owner.PostSessionControl(SessionControl::CloseDataConnection);
}

void CControlSocket::OnReceive(int /*error*/) {
    char chunk[kReceiveChunk];
    long count = Receive(chunk, sizeof chunk);
    if (count < 0) {
        if (LastError() == SocketError::kWouldBlock) return;
        Server().LogMessage(LogCategory::Error, StringFormat("OnReceive error: %d", LastError()));
        m_owner.PostToSelf(WM_QUIT, 0);
        return;
    }
    if (count == 0) {
        // The peer closed between the notification and the read: end now rather than
        // linger until the idle time-out.
        EndSession();
        return;
    }
    const auto size = static_cast<std::size_t>(count);
    if (!AppendChunk(chunk, size)) return;
    m_owner.AddControlBytesReceived(count);
    try {
        ProcessBuffer();
    } catch (const std::exception&) {
        Server().LogMessage(LogCategory::Error, "Exception #2");
        EndSession();
    }
}

bool CControlSocket::AppendChunk(const char* data, std::size_t count) {
    // SECURITY: an unfinished line may not grow past the buffer limit.
    if (m_receiveBuffer.size() + count > kMaxReceiveBuffer) {
        LogOverflow(data, count);
        m_owner.PostToSelf(WM_QUIT, 0);
        return false;
    }
    // Every byte is kept, a NUL too: the dispatcher refuses the line that holds it.
    m_receiveBuffer.append(data, count);
    return true;
}

void CControlSocket::LogOverflow(const char* data, std::size_t count) {
    // SECURITY: the chunk may carry a password; it is masked as everywhere else.
    const std::string shown =
        MaskPasswordsInChunk(m_receiveBuffer, std::string_view(data, count), kOverflowLogBytes);
    Server().LogMessage(LogCategory::Error, "error command: " + shown);
}

bool CControlSocket::CutLine(std::string& line) {
    for (;;) {
        const auto end = m_receiveBuffer.find("\r\n");
        if (end == std::string::npos) return false;
        line = m_receiveBuffer.substr(0, end);
        m_receiveBuffer.erase(0, end + 2);
        if (!line.empty()) return true;
    }
}

void CControlSocket::ProcessBuffer() {
    if (m_waitingForData) {
        QueueLinesDuringWait();
        return;
    }
    if (m_owner.OwnLoop().RemovePending(WM_SESSION_CONTROL) > 0) CloseDataConnection();
    RunCommands();
}

void CControlSocket::RunCommands() {
    // SECURITY: commands never nest. A loop run inside a command (the data wait) may
    // receive lines; they wait in the queue until the running command has ended.
    if (m_commandRunning) return;
    m_commandRunning = true;
    struct Done {
        bool& running;
        ~Done() { running = false; }
    } done{m_commandRunning};
    std::string line;
    // Lines still queued when the session is told to end are not run.
    while (IsOpen() && !m_owner.OwnLoop().QuitTaken() && !IsReplyHeld()) {
        if (!m_commandQueue.empty()) {
            line = std::move(m_commandQueue.front());
            m_commandQueue.pop_front();
        } else if (!CutLine(line)) {
            return;
        }
        ProcessCommand(*this, line);
        m_owner.NoteCommandLine(line);
    }
}

void CControlSocket::ReplyLater(std::chrono::milliseconds delay, std::string reply, bool endAfter) {
    if (IsReplyHeld()) return;  // cannot happen: no line runs while one is held
    if (delay.count() <= 0) {
        if (SendReply("%s", reply.c_str()) && endAfter) EndSession();
        return;
    }
    EnableRead(false);
    m_replyTimer = m_owner.OwnLoop().AddTimer(
        delay, [this, reply = std::move(reply), endAfter] { SendHeldReply(reply, endAfter); });
}

void CControlSocket::SendHeldReply(std::string reply, bool endAfter) {
    m_owner.OwnLoop().CancelTimer(m_replyTimer);
    m_replyTimer = 0;
    if (!IsOpen()) return;
    if (!SendReply("%s", reply.c_str())) return;
    if (endAfter) {
        EndSession();
        return;
    }
    EnableRead(true);
    RunCommands();  // lines that arrived with the refused one
}

void CControlSocket::QueueLinesDuringWait() {
    // Cutting lines holds no more bytes than were read; an ABOR among them must be seen.
    std::string line;
    while (!m_waitInterrupted && CutLine(line)) {
        if (ActsDuringDataWait(line)) {
            m_commandQueue.push_front(std::move(line));
            m_waitInterrupted = true;
        } else {
            m_commandQueue.push_back(std::move(line));
        }
    }
    // SECURITY: what a client pipelines behind a waiting transfer stays bounded; the
    // rest waits in the socket until the wait is over.
    EnableRead(!m_waitInterrupted && !QueueIsFull());
}

bool CControlSocket::QueueIsFull() const {
    if (m_commandQueue.size() >= kMaxQueuedCommands) return true;
    std::size_t held = m_receiveBuffer.size() + kReceiveChunk;
    for (const std::string& queued : m_commandQueue) held += queued.size() + 2;
    return held > kMaxReceiveBuffer;
}

void CControlSocket::BeginDataWait() {
    m_waitingForData = true;
    m_waitInterrupted = false;
    // A line queued or received before the wait began may be the ABOR meant for it.
    for (auto it = m_commandQueue.begin(); it != m_commandQueue.end(); ++it) {
        if (!ActsDuringDataWait(*it)) continue;
        std::string urgent = std::move(*it);
        m_commandQueue.erase(it);
        m_commandQueue.push_front(std::move(urgent));
        m_waitInterrupted = true;
        break;
    }
    QueueLinesDuringWait();
}

bool CControlSocket::EndDataWait() {
    m_waitingForData = false;
    const bool interrupted = m_waitInterrupted;
    m_waitInterrupted = false;
    if (IsOpen()) EnableRead(true);
    return interrupted;
}

void CControlSocket::OnClose(int /*error*/) { EndSession(); }

bool CControlSocket::SwitchToTls(const CTlsContext& context) {
    // SECURITY: bytes that came in clear behind AUTH must not run as if they had been
    // sent inside TLS (command injection).
    m_receiveBuffer.clear();
    m_commandQueue.clear();
    m_settings.tls = {};
    if (StartTls(context, kTlsHandshakeTimeout)) return true;
    Server().LogMessage(LogCategory::Error, "TLS: the handshake could not start.");
    EndSession();
    return false;
}

bool CControlSocket::StartImplicitTls() {
    m_implicitTls = true;
    const std::shared_ptr<CTlsContext> context = Server().Tls().Context(Server());
    if (!context) {
        // The provider has logged why the files cannot be used.
        Server().LogMessage(
            LogCategory::Error,
            StringFormat("TLS: the server certificate cannot be used; implicit FTPS connection "
                         "from %s closed.",
                         m_owner.PeerAddress().c_str()));
        EndSession();
        return false;
    }
    if (StartTls(*context, kTlsHandshakeTimeout)) return true;
    Server().LogMessage(LogCategory::Error, "TLS: the handshake could not start.");
    EndSession();
    return false;
}

void CControlSocket::OnImplicitHandshake(int error) {
    Server().Metrics().CountTlsHandshake(TlsLeg::Control, error == 0);
    if (error == 0) {
        // As after AUTH TLS, PBSZ 0 and PROT P: the client of this port expects it.
        m_settings.tls.bufferSizeSet = true;
        m_settings.tls.protectData = true;
        Server().LogMessage(
            LogCategory::Server,
            "Session started in TLS on the implicit FTPS port (" + TlsDescription() + ").");
        m_owner.Welcome();
        return;
    }
    // A client that sent clear text or nothing: no reply could reach it.
    const char* what = error == SocketError::kTimedOut
                           ? "sent no TLS handshake to the implicit FTPS port in time"
                           : "failed the TLS handshake on the implicit FTPS port (no TLS client?)";
    Server().LogMessage(LogCategory::Error, StringFormat("TLS: %s %s, disconnected.",
                                                         m_owner.PeerAddress().c_str(), what));
    EndSession();
}

void CControlSocket::OnHandshake(int error) {
    // NOTE: an implicit session has no other handshake: AUTH finds TLS on already.
    if (m_implicitTls) {
        OnImplicitHandshake(error);
        return;
    }
    Server().Metrics().CountTlsHandshake(TlsLeg::Control, error == 0);
    if (error == 0) {
        Server().LogMessage(LogCategory::Server,
                            "Session switched to TLS (" + TlsDescription() + ").");
        return;
    }
    Server().LogMessage(LogCategory::Error, error == SocketError::kTimedOut
                                                ? "TLS: handshake timed out, disconnected."
                                                : "TLS: handshake failed, disconnected.");
    EndSession();
}

bool CControlSocket::SendReply(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = StringFormatV(format, args);
    va_end(args);
    if (IsConnectionDead()) {
        Server().LogMessage(LogCategory::Reply, "Connection is not active, disconnected.");
        EndSession();
        return false;
    }
    std::string wire = text + "\r\n";
    if (!SendAll(wire.data(), wire.size(), kReplySendTimeoutMs)) {
        m_owner.ReleaseUserSlot();
        Close();
        Server().LogMessage(LogCategory::Reply, "Connection is not active, disconnected.");
        m_owner.PostSessionControl(SessionControl::EndSession);
        return false;
    }
    Server().LogMessage(LogCategory::Reply, text);
    m_owner.AddSentBytes(static_cast<std::int64_t>(wire.size()));
    return true;
}

bool CControlSocket::IsConnectionDead() {
    if (!IsOpen()) return true;
    if (PollReadable() != 1) return false;
    int peeked = PeekByte();
    if (peeked == 1) return false;
    if (peeked == 0) return true;
    const int error = LastError();
    return error == SocketError::kInvalidArgument || error == SocketError::kNetworkReset ||
           error == SocketError::kConnectionAborted || error == SocketError::kConnectionReset;
}
