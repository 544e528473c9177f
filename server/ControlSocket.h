// The session: the control connection of one client with everything the commands
// keep between lines (user, state, directories, rename and restart state, data
// connection settings). Lives on, and is used only by, its connection thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "accounts/AccountCache.h"
#include "ftp/SessionSettings.h"
#include "platform/Socket.h"

class CConnectThread;
class CDataSocket;
class CFtpServer;
class CTlsContext;

enum class SessionState { Idle = 0, NotLoggedIn = 1, Listing = 2, Uploading = 3, Downloading = 4 };

class CControlSocket : public CAsyncSocket {
public:
    explicit CControlSocket(CConnectThread& owner);
    // Closes the data connection (booking a partial upload), then the connection.
    ~CControlSocket() override;

    CConnectThread& Owner() { return m_owner; }
    CFtpServer& Server();
    std::uint32_t SessionId() const;

    // Sends one reply line (CR LF added), logs it and counts its bytes. When the
    // connection is gone it logs that, closes and ends the session; returns false.
    bool SendReply(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Closes the session's data connection, if any, booking a partial upload: the
    // server's one way into EndDataConnection (ftp/TransferEnd.h), which ftp/ calls
    // itself.
    void CloseDataConnection();
    // Closes it once the running command has finished (WM_SESSION_CONTROL to this thread).
    void CloseDataConnectionLater();
    // True when the control connection has no handle or the peer is gone.
    bool IsConnectionDead();
    // Closes the socket and asks the thread to end the session.
    void EndSession();

    // Switches the control connection to TLS, after the "234" reply to AUTH. Lines the
    // client sent in clear behind AUTH are dropped; a handshake that fails or stalls past
    // its deadline ends the session. False (logged) when it cannot start.
    bool SwitchToTls(const CTlsContext& context);
    // Starts the session of the implicit FTPS port: the handshake from the first byte,
    // then the greeting, with data connections protected as after PBSZ 0 and PROT P.
    // A certificate that cannot be used, a handshake that fails or stalls past its
    // deadline: logged, and the session ends without a word. False when it ended.
    bool StartImplicitTls();
    // The session came to the implicit FTPS port: TLS from the first byte, and clear
    // data connections are never allowed.
    bool IsImplicitTls() const { return m_implicitTls; }
    // The address the client reached this server at, as text (empty when the system
    // cannot tell); asked of the system once per session, as it cannot change.
    const std::string& LocalAddress();
    // Sends `reply` after `delay` without holding the thread: no further line of this
    // session runs and reading pauses until then. With `endAfter` the session then
    // ends. Used for refused logins.
    void ReplyLater(std::chrono::milliseconds delay, std::string reply, bool endAfter);
    bool IsReplyHeld() const { return m_replyTimer != 0; }

    // ---- The wait of a transfer command for its data connection. Lines that arrive
    // meanwhile are queued and run after it; ABOR, QUIT and BYE go to the front of the
    // queue and cut the wait short. Reading pauses while the queue is full.

    // Starts the wait: already received lines are looked at for ABOR, QUIT and BYE.
    void BeginDataWait();
    // Ends the wait and reading goes on; true when ABOR, QUIT or BYE cut it short.
    bool EndDataWait();
    bool IsWaitingForData() const { return m_waitingForData; }
    bool IsWaitInterrupted() const { return m_waitInterrupted; }

    // Session fields.
    const std::string& UserName() const { return m_userName; }
    void SetUserName(const std::string& name) { m_userName = name; }
    const std::string& UserAddress() const { return m_userAddress; }
    void SetUserAddress(const std::string& address) { m_userAddress = address; }
    SessionState State() const { return m_state; }
    void SetState(SessionState state);
    const std::string& CurrentDir() const { return m_currentDir; }
    void SetCurrentDir(const std::string& dir) { m_currentDir = dir; }
    bool HasDataSocket() const { return m_dataSocket != nullptr; }
    std::size_t BufferedBytes() const { return m_receiveBuffer.size(); }

    // The session's data socket, or nullptr.
    CDataSocket* DataSocket() { return m_dataSocket.get(); }
    // Replaces the data socket (nullptr: none). The old one goes without the bookkeeping
    // of CloseDataConnection; the settings stay.
    void SetDataSocket(std::unique_ptr<CDataSocket> socket);
    // The account tables as this session reads them (checked once per command).
    CAccountCache& Accounts() { return m_accounts; }
    // What the commands keep between lines for the next transfer and rename.
    SessionSettings& Settings() { return m_settings; }
    const SessionSettings& Settings() const { return m_settings; }

protected:
    void OnReceive(int error) override;
    void OnClose(int error) override;
    void OnHandshake(int error) override;

private:
    void ProcessBuffer();
    bool AppendChunk(const char* data, std::size_t count);
    // Logs an overlong chunk (masked, at most kOverflowLogBytes of it).
    void LogOverflow(const char* data, std::size_t count);
    // Moves the first complete non-empty line of the receive buffer to `line`.
    bool CutLine(std::string& line);
    // Runs queued and received lines in order, each after the one before has ended.
    void RunCommands();
    // During a data wait: queues received lines, stopping at an ABOR, QUIT or BYE, which
    // goes to the front of the queue and ends the wait; reading pauses at the bound.
    void QueueLinesDuringWait();
    bool QueueIsFull() const;

    void SendHeldReply(std::string reply, bool endAfter);

    void OnImplicitHandshake(int error);

    CConnectThread& m_owner;
    bool m_implicitTls = false;
    std::string m_localAddress;           // LocalAddress() once asked
    EventLoop::TimerId m_replyTimer = 0;  // the held reply's; 0: none
    std::string m_userName;
    CAccountCache m_accounts;
    std::string m_userAddress;
    SessionState m_state = SessionState::NotLoggedIn;
    std::deque<std::string> m_commandQueue;
    bool m_commandRunning = false;
    bool m_waitingForData = false;
    bool m_waitInterrupted = false;
    std::string m_receiveBuffer;
    std::string m_currentDir;
    std::unique_ptr<CDataSocket> m_dataSocket;
    SessionSettings m_settings;
};
