// One thread per control connection: admits or refuses the client, runs its session,
// drops it when idle, and reports its end to the controller.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/Thread.h"
#include "platform/UniqueFd.h"
#include "server/ControlSocket.h"
#include "server/SessionEvents.h"

class CFtpServer;

class CConnectThread : public CThread {
public:
    // Takes ownership of the accepted descriptor `fd` from `peerAddress`; with
    // `implicitTls` the session starts with the TLS handshake. Main thread.
    CConnectThread(CFtpServer& server, UniqueFd fd, std::string peerAddress,
                   bool implicitTls = false);
    ~CConnectThread() override;

    CFtpServer& Server() { return m_server; }
    CControlSocket& Control() { return m_control; }

    // The client's address; written by the controller on the main thread while this
    // thread waits for WM_SESSION_OPENED, read afterwards.
    void SetClientAddress(const std::string& address) { m_clientAddress = address; }
    const std::string& ClientAddress() const { return m_clientAddress; }
    // The controller has counted this session under the user limit and in its registry
    // (main thread, before the thread starts); ReleaseUserSlot gives that back.
    void MarkUserSlotTaken() { m_userSlotTaken = true; }
    // Gives this session's place under the user limit back, once. Called the moment the
    // control connection ends (a client that quit may reconnect at once, before this
    // thread has finished its clean-up) and again, harmlessly, when the thread ends.
    void ReleaseUserSlot();
    // Peer address of the control connection, taken when it was accepted.
    const std::string& PeerAddress() const { return m_peerAddress; }
    // The session's user name; read by the controller while this thread waits for
    // WM_SESSION_CLOSED.
    const std::string& UserName() const { return m_control.UserName(); }

    // ---- This thread only.

    // Count traffic in the session and the controller, and refresh the last activity.
    void AddSentBytes(std::int64_t count);
    void AddReceivedBytes(std::int64_t count);
    // Counts control-connection bytes without refreshing the last activity: only a
    // complete command line (NoteCommandLine) does, so a client that trickles bytes
    // and never ends a line is still dropped when idle.
    void AddControlBytesReceived(std::int64_t count);
    // A complete command line has run: refreshes the last activity and the session's
    // entry in the controller's registry.
    void NoteCommandLine(const std::string& line);
    // Work the client waits for (a checksum being read) refreshes the last activity,
    // as the bytes of a transfer do.
    void NoteActivity();
    // Counts a transfer event in the controller (TransferEvent::None is not counted).
    void ReportTransferEvent(TransferEvent event);
    // Posts WM_SESSION_CONTROL to this thread's own loop: handled after the running
    // command has finished.
    void PostSessionControl(SessionControl what);
    // Greets the client (220) and starts the idle and login clocks: at once on a clear
    // connection, after the handshake on the implicit FTPS port.
    void Welcome();
    // Posts `message` to this thread's own loop.
    void PostToSelf(int id, std::intptr_t wParam);
    EventLoop& OwnLoop() { return Loop(); }
    std::int64_t BytesReceived() const { return m_bytesReceived; }
    std::int64_t BytesSent() const { return m_bytesSent; }
    // Downloads and uploads that ended with "226 Transfer complete." in this session.
    int TransfersCompleted() const { return m_transfersCompleted; }

protected:
    bool InitInstance() override;
    void ExitInstance() override;

private:
    std::intptr_t OnThreadMessage(const Message& message);
    void OnIdleTick();
    bool LoginDeadlinePassed();
    // Gives the user slot back, logs `logLine` (unless empty), sends `reply` and ends.
    void Refuse(const char* reply, const std::string& logLine);

    CFtpServer& m_server;
    UniqueFd m_acceptedFd;  // until the thread hands it to m_control
    std::string m_clientAddress;
    std::string m_peerAddress;
    const bool m_implicitTls;
    bool m_loggedInOnce = false;  // a command line has left the session logged in
    std::int64_t m_connectedAt;
    bool m_userSlotTaken = false;
    std::atomic<bool> m_userSlotReleased{false};
    EventLoop::TimerId m_idleTimer = 0;
    std::int64_t m_bytesReceived = 0;
    std::int64_t m_bytesSent = 0;
    int m_transfersCompleted = 0;
    std::int64_t m_lastActivity;
    CControlSocket m_control;
};
