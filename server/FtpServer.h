// The server controller: listens for control connections, keeps the list of
// connection threads, holds the running server's settings and counters, and stops
// everything in order.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "config/FilterMode.h"
#include "platform/EventLoop.h"
#include "platform/UniqueFd.h"
#include "server/AuditLog.h"
#include "server/HookDispatcher.h"
#include "server/LogRing.h"
#include "server/LoginGuard.h"
#include "server/RefusalTally.h"
#include "server/ServerMetrics.h"
#include "server/SessionEvents.h"
#include "server/SessionRegistry.h"
#include "server/TlsProvider.h"
#include "server/WindowSink.h"

class CCertificateRenewal;
class CConnectThread;
class CHistoryKeeper;
class CTransferHistory;
class CListenSocket;
class CIpFilter;

// How many of the last log lines the server keeps for the administration API.
inline constexpr std::size_t kRecentLogLines = 2000;

class CFtpServer : private IMessageTarget {
public:
    // `programDir` ends with "/". Main thread.
    explicit CFtpServer(std::string programDir);
    ~CFtpServer() override;
    CFtpServer(const CFtpServer&) = delete;
    CFtpServer& operator=(const CFtpServer&) = delete;

    // ---- Main thread: the thread whose EventLoop calls Start.

    // Starts listening on the configured port. False (and a log line) when running
    // already or the port cannot be used.
    [[nodiscard]] bool Start();
    // The log line of the last Start that could not listen, with its reason.
    const std::string& StartFailure() const { return m_startFailure; }
    // Stops listening and ends every session, dispatching the main loop's messages
    // while it waits. It returns only when every session thread has ended: they use
    // this controller to the last.
    void Stop();
    bool IsRunning() const { return m_running; }
    // Stop in steps, for a caller whose own event loop runs the main loop meanwhile (the
    // window stays responsive). BeginStop stops listening, tells every session to end
    // and returns at once; ContinueStop never waits: it gives the number of sessions
    // that have not ended yet, and when none is left it completes the stop and gives 0.
    // Start is refused until then; Stop waits for a stop in steps to end.
    void BeginStop();
    [[nodiscard]] std::size_t ContinueStop();
    bool IsStopping() const { return m_stopping; }

    void SetPort(int port) { m_port = port; }
    // While running: listens on `port` instead, on the same addresses. The new sockets
    // are bound before the old ones close, so the service is never without a listener;
    // when they cannot be, the old ones stay and `why` says what failed. Open sessions
    // are not touched. Not running: the next Start uses `port`.
    [[nodiscard]] bool MoveToPort(int port, std::string& why);
    // The local addresses to listen on; none (the default) listens on every address.
    // Takes effect at the next Start.
    void SetListenAddresses(std::vector<std::string> addresses) {
        m_listenAddresses = std::move(addresses);
    }
    int GetPort() const { return m_port; }
    // The port the listening socket is bound to while running (the system's choice
    // after SetPort(0)); 0 when stopped.
    int GetBoundPort() const;
    // A second port, on the same addresses, whose sessions speak TLS from the first
    // byte (implicit FTPS); 0: none. Takes effect at the next Start.
    void SetImplicitTlsPort(int port) { m_implicitPort = port; }
    int GetImplicitTlsPort() const { return m_implicitPort; }
    // As MoveToPort, for the implicit FTPS port; 0 closes it.
    [[nodiscard]] bool MoveImplicitTlsPort(int port, std::string& why);
    // Whether a PROT P data connection must resume its control connection's TLS
    // session; without, one from the client's own address may make a full handshake.
    // Read for each data connection. Any thread.
    void SetTlsRequireReuse(bool require) { m_tlsRequireReuse = require; }
    bool TlsRequiresReuse() const { return m_tlsRequireReuse; }
    // The most bytes one checksum command may read (from MiB; 0: no limit). Any thread.
    void SetMaxHashMiB(int mebibytes) { m_maxHashBytes = std::int64_t{mebibytes} << 20; }
    std::int64_t MaxHashBytes() const { return m_maxHashBytes; }
    void SetMaxUsers(int count) { m_maxUsers = count; }
    // The idle time-out in minutes, as option.ini gives it; 0 or less: none.
    void SetTimeout(int minutes) { m_idleTimeoutSeconds = std::int64_t{minutes} * 60; }
    void SetIdleTimeoutSeconds(int seconds) { m_idleTimeoutSeconds = seconds; }
    void SetWelcomeMessage(const std::string& text);
    void SetGoodbyeMessage(const std::string& text);
    void SetStatisticsInterval(int milliseconds);
    void SetFilterMode(FilterMode mode);
    // Replaces the filter lists (whole texts of "acceptip.txt" and "rejectip.txt").
    void SetFilterLists(const std::string& allowList, const std::string& denyList);
    void SetPassiveRange(std::uint32_t minimum, std::uint32_t maximum);
    // The filter itself, for loading and saving its lists.
    CIpFilter& Filter() { return *m_filter; }
    // The TLS certificate and policy (configured on the main thread, used by any).
    CTlsProvider& Tls() { return m_tls; }
    // The ACME certificate's renewal: configured on the main thread, run from Start to
    // the stop.
    CCertificateRenewal& Renewal() { return *m_renewal; }
    void SetWindowSink(CWindowSink* sink) { m_sink = sink; }
    // The abuse limits (bans, failure delay, per-address and per-user limits, login
    // deadline, password hashing). Take effect at their next use. Any thread.
    void SetLoginPolicy(const LoginPolicy& policy);
    LoginPolicy GetLoginPolicy() const;
    // Failed-login counts and bans, and the open sessions. Any thread.
    CLoginGuard& LoginGuard() { return m_loginGuard; }
    CSessionRegistry& Sessions() { return m_sessions; }
    // The per-user transfer history (stats.sdb), counted by the sessions. Any thread.
    CTransferHistory& History();
    // The counters monitoring reads and the audit log ([Log] Json). Any thread.
    CServerMetrics& Metrics() { return m_metrics; }
    CAuditLog& Audit() { return m_audit; }
    // Ends session `id` without a reply. False when no such session is open. Any thread.
    // The administrator's kick is CAdminOperations::Kick, which logs it.
    bool Kick(std::uint32_t id);
    CWindowSink* Sink() const { return m_sink; }
    // The [Hooks] actions: configured from the main thread (start, reload), posted to by
    // any thread (CHookDispatcher::Post never waits). Workers start with the first Start
    // and end with the controller.
    CHookDispatcher& Hooks() { return *m_hooks; }

    // Traffic and transfer events, added by the connection threads as they happen. A
    // message per count woke the main thread several times per small file; the
    // statistics timer reads the totals instead.
    void CountBytesSent(std::int64_t count) {
        m_bytesSent.fetch_add(count, std::memory_order_relaxed);
    }
    void CountBytesReceived(std::int64_t count) {
        m_bytesReceived.fetch_add(count, std::memory_order_relaxed);
    }
    void CountTransferEvent(TransferEvent event);

    // Counters (any thread).
    std::int64_t BytesReceived() const { return m_bytesReceived.load(std::memory_order_relaxed); }
    std::int64_t BytesSent() const { return m_bytesSent.load(std::memory_order_relaxed); }
    int CurrentConnections() const { return m_currentConnections; }
    int Connections() const { return m_connections; }
    int EventCount(TransferEvent event) const;

    // ---- Any thread.

    const std::string& ProgramDir() const { return m_programDir; }
    std::string GetWelcomeMessage() const;
    std::string GetGoodbyeMessage() const;
    std::int64_t GetIdleTimeoutSeconds() const { return m_idleTimeoutSeconds; }
    // The user limit counts sessions whose control connection is still open; a session
    // that has ended but whose thread is still cleaning up no longer takes a place.
    // What the process can hold caps it too (see LimitUsersToResources).
    bool IsUserLimitReached() const {
        return m_usersConnected >= std::min<int>(m_maxUsers, m_capacityUserLimit);
    }
    // A session's control connection has ended. Any thread.
    void ReleaseUserSlot() { --m_usersConnected; }
    bool IsAddressAllowed(const std::string& address) const;
    void SetPassiveAddress(const std::string& address);
    std::string GetPassiveAddress() const;
    void GetPassiveRange(std::uint32_t& minimum, std::uint32_t& maximum) const;
    // Passive ports rotate through the range: each search starts after the port handed
    // out last, so the TIME_WAIT connections of recent transfers spread over the whole
    // range instead of piling into the bind bucket of its lowest port. Any thread.
    std::uint32_t NextPassivePortToTry() const { return m_lastPassivePort.load() + 1; }
    void NotePassivePortTaken(std::uint32_t port) { m_lastPassivePort = port; }
    // Formats `text` as one time-stamped line and hands it to the window sink and the
    // recent-lines ring.
    void LogMessage(LogCategory category, const std::string& text,
                    LogSeverity severity = LogSeverity::Info);
    // The last log lines, for the administration API. Any thread.
    CLogRing& RecentLog() { return m_recentLog; }
    // When Start last succeeded (calendar seconds); 0 before. Any thread.
    std::int64_t StartTime() const { return m_startTime; }
    // Guards the connection list and the read-modify-write of "quota_current".
    std::mutex& ConnectionLock() { return m_connectionLock; }
    // The main thread's loop, where the server window's messages go. Set by Start.
    EventLoop* MainLoop() const { return m_mainLoop; }
    // The hidden window's target for messages sent and posted by connection threads.
    IMessageTarget* ServerWindow() { return this; }

    // ---- Called by the listening socket and the connection threads.

    // Admits an accepted descriptor and starts its connection thread, or refuses it
    // and closes it (main thread). `implicitTls`: it came to the implicit FTPS port.
    void AcceptConnection(int fd, bool implicitTls);
    // The same for a connection whose peer address the caller already knows, such as
    // one end of a socket pair standing in for a client at `peerAddress` (main thread).
    // Every admission rule applies as for an accepted one.
    void AcceptConnected(UniqueFd connected, const std::string& peerAddress);
    // Closes a connection that was taken only because the process was out of
    // descriptors, and counts it for the refusal log (main thread).
    void DropAtDescriptorLimit(int fd, bool implicitTls);
    // Removes `thread` from the connection list if it is there (any thread).
    void RemoveConnection(CConnectThread* thread);

private:
    std::intptr_t HandleMessage(const Message& message) override;
    using ListenerList = std::vector<std::unique_ptr<CListenSocket>>;
    // Opens `port` on every listen address into `listeners`; false (m_listenError set)
    // when one cannot be bound.
    bool OpenListenSockets(int port, bool implicitTls, ListenerList& listeners);
    bool OpenListenSocketsOnce(int port, bool implicitTls, ListenerList& listeners);
    bool OpenImplicitTlsPort();
    // Why the last bind failed, for the start's error line.
    std::string ListenFailureReason(int port) const;
    // Caps the user limit at the sessions the process's descriptors, threads and memory
    // maps hold (server/SessionCapacity), and logs the cap once.
    void LimitUsersToResources();
    std::intptr_t OnSessionOpened(CConnectThread* thread);
    std::intptr_t OnSessionClosed(CConnectThread* thread);
    void OnStatisticsTimer();
    void RestartStatisticsTimer();
    void Admit(UniqueFd accepted, bool implicitTls);
    void AdmitFrom(UniqueFd accepted, const std::string& address, bool implicitTls);
    bool RefuseBannedClient(UniqueFd& accepted, const std::string& address, bool implicitTls);
    void AnswerHeldRefusals(bool all);
    std::optional<AcceptRefusal> AdmissionRefusal(const std::string& address) const;
    void RefuseAtAccept(UniqueFd accepted, AcceptRefusal reason, bool implicitTls);
    // Sends the refusal's 421 without waiting (none on the implicit TLS port).
    void SendRefusal(int fd, AcceptRefusal reason, bool implicitTls);
    // Starts the session's thread; a failure is answered 421, counted and closed.
    void StartConnectThread(UniqueFd accepted, const std::string& address, bool implicitTls);
    void TakeUserSlot(CConnectThread& thread, const std::string& address);
    void UnlistConnection(CConnectThread* thread);
    void CountRefusal(AcceptRefusal reason, int error = 0);
    void LogRefusals();
    void WaitForThreadEnd(std::uint32_t threadId);
    std::size_t SessionsNotEnded();
    void LogSlowSessions();
    void EndStop();
    std::vector<std::uint32_t> ConnectionIds() const;
    bool TakeFirstConnection(std::uint32_t& threadId);
    bool TakeEndingThread(std::uint32_t& threadId);

    const std::string m_programDir;
    std::unique_ptr<CIpFilter> m_filter;
    CTlsProvider m_tls;
    std::unique_ptr<CCertificateRenewal> m_renewal;
    std::unique_ptr<CHistoryKeeper> m_history;  // read at the first Start, written at the stop

    mutable std::mutex m_connectionLock;            // guards m_connectionList and quota updates
    std::vector<CConnectThread*> m_connectionList;  // guarded by m_connectionLock
    // Threads that have left the list but may still be reporting their end to this
    // controller and the main loop; Stop waits for them too. Guarded by m_connectionLock.
    std::vector<std::uint32_t> m_endingThreads;

    mutable std::mutex m_passiveLock;  // guards m_passiveAddress
    std::string m_passiveAddress;      // guarded by m_passiveLock
    std::atomic<std::uint32_t> m_passiveMin{1024};
    std::atomic<std::uint32_t> m_passiveMax{65535};
    std::atomic<std::uint32_t> m_lastPassivePort{0};

    CLoginGuard m_loginGuard;
    // Connections of banned addresses, answered "421" and closed when due (main thread).
    struct HeldRefusal {
        UniqueFd fd;
        std::int64_t dueMs;  // SteadyMilliseconds
        bool silent;         // a TLS client (implicit port) could not read a clear reply
    };
    std::deque<HeldRefusal> m_heldRefusals;
    EventLoop::TimerId m_refusalTimer = 0;  // 0 while none waits
    std::string m_startFailure;
    int m_listenError = 0;              // errno of the last failed bind or listen
    std::size_t m_maxHeldRefusals = 0;  // set by Start from the descriptor limit
    // Connections refused at accept, summed up in the log once a second (main thread).
    CRefusalTally m_acceptRefusals;
    EventLoop::TimerId m_refusalLogTimer = 0;  // 0 while nothing is counted
    CSessionRegistry m_sessions;
    CServerMetrics m_metrics;
    CAuditLog m_audit;
    CLogRing m_recentLog{kRecentLogLines};
    std::atomic<std::int64_t> m_startTime{0};
    mutable std::mutex m_policyLock;  // guards m_policy
    LoginPolicy m_policy;

    mutable std::mutex m_textLock;  // guards the two messages below
    std::string m_welcomeMessage = "Welcome to Tarvona FTP Server";
    std::string m_goodbyeMessage = "GoodBye";

    ListenerList m_listenSockets;
    ListenerList m_implicitSockets;  // the implicit FTPS port's; empty: none
    std::vector<std::string> m_listenAddresses;
    CWindowSink* m_sink = nullptr;
    EventLoop* m_mainLoop = nullptr;
    EventLoop::TimerId m_statisticsTimer = 0;
    EventLoop::TimerId m_certificateTimer = 0;  // the daily expiry check, while running

    // Written on the main thread, read by connection threads without a lock.
    std::atomic<int> m_port{21};
    std::atomic<int> m_implicitPort{0};
    std::atomic<bool> m_tlsRequireReuse{true};
    std::atomic<std::int64_t> m_maxHashBytes{std::int64_t{4096} << 20};
    std::atomic<int> m_maxUsers{10};
    std::atomic<int> m_capacityUserLimit{std::numeric_limits<int>::max()};  // set by Start
    std::atomic<std::int64_t> m_idleTimeoutSeconds{5 * 60};
    std::atomic<int> m_currentConnections{0};
    std::atomic<int> m_usersConnected{0};
    bool m_running = false;
    bool m_stopping = false;         // between BeginStop and the stop's end
    std::int64_t m_stopBeganMs = 0;  // SteadyMilliseconds
    bool m_slowStopLogged = false;
    int m_statisticsInterval = 0;

    // Counted by the connection threads.
    std::atomic<std::int64_t> m_bytesReceived{0};
    std::atomic<std::int64_t> m_bytesSent{0};
    std::atomic<int> m_eventCounts[4] = {0, 0, 0, 0};  // transfer events of kinds 2 to 5
    // Counted on the main thread only.
    int m_connections = 0;
    // Last: its workers log through this controller until its destructor has joined them.
    std::unique_ptr<CHookDispatcher> m_hooks;
};
