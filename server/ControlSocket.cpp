#include "server/ControlSocket.h"

#include <cstdarg>
#include <cstring>
#include <exception>

#include "ftp/DataSocket.h"
#include "platform/Messages.h"
#include "platform/StringFormat.h"
#include "server/ConnectThread.h"
#include "server/FtpServer.h"
#include "server/Limits.h"

CControlSocket::CControlSocket(CConnectThread& owner) : m_owner(owner) {}

CControlSocket::~CControlSocket() { CloseDataConnection(); }

CFtpServer& CControlSocket::Server() { return m_owner.Server(); }

std::uint32_t CControlSocket::SessionId() const { return m_owner.ThreadId(); }

void CControlSocket::EndSession() {
    m_owner.ReleaseUserSlot();
    Close();
    m_owner.PostToSelf(WM_SESSION_CONTROL, 1);
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
    m_owner.AddReceivedBytes(count);
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
        std::string shown(data, std::min(count, kOverflowLogBytes));
        shown.resize(std::strlen(shown.c_str()));
        Server().LogMessage(LogCategory::Error, StringFormat("error command: %s", shown.c_str()));
        m_owner.PostToSelf(WM_QUIT, 0);
        return false;
    }
    // A NUL byte ends the text that is kept of this chunk.
    const void* nul = std::memchr(data, '\0', count);
    std::size_t kept = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - data) : count;
    m_receiveBuffer.append(data, kept);
    return true;
}

void CControlSocket::ProcessBuffer() {
    if (m_owner.OwnLoop().RemovePending(WM_SESSION_CONTROL) > 0) CloseDataConnection();
    for (;;) {
        auto end = m_receiveBuffer.find("\r\n");
        if (end == std::string::npos) return;
        std::string line = m_receiveBuffer.substr(0, end);
        m_receiveBuffer.erase(0, end + 2);
        if (line.empty()) continue;
        m_commandQueue.push_back(std::move(line));
        ProcessCommand();
        if (!IsOpen()) return;  // the command ended the session
    }
}

void CControlSocket::OnClose(int /*error*/) { EndSession(); }

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
        m_owner.PostToSelf(WM_SESSION_CONTROL, 1);
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

// ProcessCommand and GetCommand are defined with the dispatcher (ftp/Dispatcher.cpp),
// CloseDataConnection with the data connection (ftp/DataConnection.cpp).
