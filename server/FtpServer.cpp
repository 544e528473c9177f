#include "server/FtpServer.h"

#include <algorithm>
#include <cerrno>
#include <new>

#include "config/IpFilter.h"
#include "config/LogLine.h"
#include "platform/Clock.h"
#include "platform/DescriptorReserve.h"
#include "platform/File.h"
#include "platform/Messages.h"
#include "platform/ProcessBudget.h"
#include "platform/Socket.h"
#include "platform/StringFormat.h"
#include "server/CertificateRenewal.h"
#include "server/ConnectThread.h"
#include "server/HistoryKeeper.h"
#include "server/Limits.h"
#include "server/ListenSocket.h"
#include "server/SessionCapacity.h"

namespace {

constexpr char kTooManyUsersReply[] = "421 Too many users are connected, please try again later.";
constexpr char kAddressFullReply[] =
    "421 Too many connections from your address, please try again later.";
constexpr char kTooManyNotLoggedInReply[] =
    "421 Too many clients are logging in, please try again later.";
constexpr char kNoRoomReply[] = "421 No room for another session now, please try again later.";

const char* ReplyFor(AcceptRefusal reason) {
    switch (reason) {
        case AcceptRefusal::TooManyUsers:
            return kTooManyUsersReply;
        case AcceptRefusal::AddressFull:
            return kAddressFullReply;
        case AcceptRefusal::TooManyNotLoggedIn:
            return kTooManyNotLoggedInReply;
        case AcceptRefusal::NoSession:
        case AcceptRefusal::DescriptorLimit:
            return kNoRoomReply;
    }
    return nullptr;
}

}  // namespace

CFtpServer::CFtpServer(std::string programDir)
    : m_programDir(std::move(programDir)),
      m_filter(std::make_unique<CIpFilter>()),
      m_renewal(std::make_unique<CCertificateRenewal>(*this)),
      m_history(std::make_unique<CHistoryKeeper>(m_programDir)),
      m_hooks(
          std::make_unique<CHookDispatcher>([this](LogSeverity severity, const std::string& text) {
              LogMessage(severity == LogSeverity::Info ? LogCategory::Server : LogCategory::Error,
                         text, severity);
          })) {
    m_tls.Configure(m_programDir, "", "", 0);
    m_audit.SetProgramDir(m_programDir);
    m_audit.SetErrorReporter(
        [this](const std::string& why) { LogMessage(LogCategory::Error, why); });
}

CFtpServer::~CFtpServer() {
    Stop();
    // The ServerStop event's action runs before the controller goes (bounded by its
    // time-out).
    m_hooks->Shutdown();
}

bool CFtpServer::Start() {
    if (m_running || m_stopping) return false;
    m_mainLoop = EventLoop::Current();
    const int port = m_port;
    if (!OpenListenSockets(port, false, m_listenSockets)) {
        m_listenSockets.clear();
        m_startFailure =
            StringFormat("Server cannot run on port %d. ", port) + ListenFailureReason(port) + ".";
        LogMessage(LogCategory::Error, m_startFailure, LogSeverity::Error);
        return false;
    }
    // A server that was asked for implicit FTPS and cannot serve it does not start half:
    // the service manager and the administrator learn it as they learn of the main port.
    if (!OpenImplicitTlsPort()) {
        m_listenSockets.clear();
        LogMessage(LogCategory::Error, m_startFailure, LogSeverity::Error);
        return false;
    }
    m_running = true;
    m_startTime = NowSeconds();
    m_maxHeldRefusals = std::min(kMaxHeldRefusals, OpenFileLimit() / kHeldRefusalShareDivisor);
    LimitUsersToResources();
    m_tls.Prepare(*this);
    m_certificateTimer =
        m_mainLoop->AddTimer(kCertificateCheckPeriod, [this] { m_tls.CheckExpiry(*this); });
    RestartStatisticsTimer();
    LogMessage(LogCategory::Server, StringFormat("Server is running on port %d.", port));
    if (!m_implicitSockets.empty())
        LogMessage(LogCategory::Server,
                   StringFormat("Implicit FTPS (TLS from the first byte) on port %d.",
                                m_implicitPort.load()));
    // The challenge listener serves where the FTP server does.
    m_renewal->Start(m_listenAddresses);
    m_history->Start(*m_mainLoop, [this](const std::string& text, bool warning) {
        LogMessage(LogCategory::Error, text, warning ? LogSeverity::Warning : LogSeverity::Info);
    });
    m_hooks->StartWorkers();
    m_hooks->Post(MakeHookEvent(HookEventKind::ServerStart));
    return true;
}

CTransferHistory& CFtpServer::History() { return m_history->History(); }

bool CFtpServer::OpenImplicitTlsPort() {
    m_implicitSockets.clear();
    const int port = m_implicitPort;
    if (port == 0) return true;
    if (port < 0 || port > 65535) {
        m_startFailure = StringFormat(
            "Server cannot run on implicit FTPS port %d. It is no port from 1 to 65535 "
            "([TLS] ImplicitPort; 0: none).",
            port);
        return false;
    }
    if (OpenListenSockets(port, true, m_implicitSockets)) return true;
    m_implicitSockets.clear();
    m_startFailure = StringFormat("Server cannot run on implicit FTPS port %d. ", port) +
                     ListenFailureReason(port) + ".";
    return false;
}

bool CFtpServer::MoveToPort(int port, std::string& why) {
    if (!m_running) {
        m_port = port;
        return true;
    }
    ListenerList previous = std::move(m_listenSockets);
    m_listenSockets.clear();
    if (!OpenListenSockets(port, false, m_listenSockets)) {
        why = ListenFailureReason(port);
        m_listenSockets = std::move(previous);
        return false;
    }
    m_port = port;
    for (const auto& listener : previous) listener->TakeWaitingConnections();
    return true;  // `previous` closes only now
}

bool CFtpServer::MoveImplicitTlsPort(int port, std::string& why) {
    if (port < 0 || port > 65535) {
        why = "it is no port from 1 to 65535";
        return false;
    }
    if (!m_running) {
        m_implicitPort = port;
        return true;
    }
    ListenerList opened;
    if (port != 0 && !OpenListenSockets(port, true, opened)) {
        why = ListenFailureReason(port);
        return false;
    }
    m_implicitPort = port;
    for (const auto& listener : m_implicitSockets) listener->TakeWaitingConnections();
    m_implicitSockets = std::move(opened);  // the previous ones close only now
    return true;
}

bool CFtpServer::OpenListenSockets(int port, bool implicitTls, ListenerList& listeners) {
    // With port 0 the system's choice for the first address may be taken at another;
    // a few fresh choices settle that.
    constexpr int kAttemptsForAnyPort = 5;
    for (int attempt = 0; attempt < (port == 0 ? kAttemptsForAnyPort : 1); ++attempt) {
        listeners.clear();
        if (OpenListenSocketsOnce(port, implicitTls, listeners)) return true;
    }
    return false;
}

bool CFtpServer::OpenListenSocketsOnce(int port, bool implicitTls, ListenerList& listeners) {
    const std::vector<std::string> addresses =
        m_listenAddresses.empty() ? std::vector<std::string>{""} : m_listenAddresses;
    for (const std::string& address : addresses) {
        auto listener = std::make_unique<CListenSocket>(*this, implicitTls);
        // Every address shares the port the first one got.
        std::string bound;
        std::uint16_t first = 0;
        if (!listeners.empty() && !listeners.front()->GetSockName(bound, first)) return false;
        const int wanted = listeners.empty() ? port : first;
        if (!listener->Open(wanted, address)) {
            m_listenError = listener->LastError();
            return false;
        }
        listeners.push_back(std::move(listener));
    }
    return true;
}

std::string CFtpServer::ListenFailureReason(int port) const {
    if (m_listenError == SocketError::kPermissionDenied && port > 0 && port < 1024)
        return "Permission denied: ports below 1024 need root or CAP_NET_BIND_SERVICE";
    return SocketErrorText(m_listenError);
}

void CFtpServer::LimitUsersToResources() {
    ProcessRoom room;
    room.descriptors = OpenFileLimit();
    room.heldRefusals = m_maxHeldRefusals;
    room.threadsLeft = ThreadsLeft();
    room.mapsLeft = MemoryMapsLeft();
    const SessionCapacity capacity = CapacityOf(room);
    m_capacityUserLimit = capacity.sessions;
    const std::string bound = BoundText(room, capacity.bound);
    LogMessage(LogCategory::Server,
               StringFormat("At most %d sessions at once (maxusers %d; %s bounds them at %d).",
                            std::min<int>(m_maxUsers, capacity.sessions), m_maxUsers.load(),
                            bound.c_str(), capacity.sessions));
    if (m_maxUsers <= capacity.sessions) return;
    LogMessage(LogCategory::Error,
               StringFormat("maxusers is %d, but %s serves at most %d users: at most %d are "
                            "served. Lower maxusers or %s.",
                            m_maxUsers.load(), bound.c_str(), capacity.sessions, capacity.sessions,
                            BoundRemedy(capacity.bound)));
}

void CFtpServer::Stop() {
    BeginStop();
    if (!m_stopping) return;
    std::uint32_t threadId = 0;
    while (TakeFirstConnection(threadId)) {
        CThread::PostThreadMessage(threadId, Message{WM_QUIT, 0, 0, nullptr});
        WaitForThreadEnd(threadId);
    }
    // A session that ended by itself just before may still be sending WM_SESSION_CLOSED
    // or destroying itself; the controller and the main loop must outlive that.
    while (TakeEndingThread(threadId)) WaitForThreadEnd(threadId);
    EndStop();
}

void CFtpServer::BeginStop() {
    if (!m_running) return;
    // A session waiting for a table lock gives up at once, and one that holds the
    // connection-list lock while it waits lets go of it soon.
    CFile::SetLockWaitsAbandoned(true);
    CAsyncSocket::SetSendWaitsAbandoned(true);
    if (m_statisticsTimer != 0) m_mainLoop->CancelTimer(m_statisticsTimer);
    m_statisticsTimer = 0;
    if (m_certificateTimer != 0) m_mainLoop->CancelTimer(m_certificateTimer);
    m_certificateTimer = 0;
    AnswerHeldRefusals(true);
    m_running = false;
    m_listenSockets.clear();
    m_implicitSockets.clear();
    m_renewal->Stop();  // a running order is cancelled: within about a second
    LogRefusals();      // what was counted since the last summary
    if (m_refusalLogTimer != 0) m_mainLoop->CancelTimer(m_refusalLogTimer);
    m_refusalLogTimer = 0;
    // Every session is told first, so that slow ones end side by side, not in turn.
    for (const std::uint32_t id : ConnectionIds())
        CThread::PostThreadMessage(id, Message{WM_QUIT, 0, 0, nullptr});
    m_stopping = true;
    m_stopBeganMs = SteadyMilliseconds();
    m_slowStopLogged = false;
}

std::size_t CFtpServer::ContinueStop() {
    if (!m_stopping) return 0;
    const std::size_t left = SessionsNotEnded();
    if (left > 0) {
        LogSlowSessions();
        return left;
    }
    EndStop();
    return 0;
}

// A listed session has not yet reported its end; an ending one may still be destroying
// itself, and both use this controller until they are gone.
std::size_t CFtpServer::SessionsNotEnded() {
    std::lock_guard lock(m_connectionLock);
    std::erase_if(m_endingThreads, [](std::uint32_t id) { return !CThread::IsThreadAlive(id); });
    return m_connectionList.size() + m_endingThreads.size();
}

void CFtpServer::LogSlowSessions() {
    if (m_slowStopLogged || SteadyMilliseconds() - m_stopBeganMs < kStopWaitPerThread.count())
        return;
    m_slowStopLogged = true;
    for (const std::uint32_t id : ConnectionIds())
        LogMessage(LogCategory::Server,
                   StringFormat("Waiting for session %u to end.", static_cast<unsigned>(id)));
}

void CFtpServer::EndStop() {
    m_stopping = false;
    m_history->Stop();  // every session has ended: nothing is counted after this
    CFile::SetLockWaitsAbandoned(false);
    CAsyncSocket::SetSendWaitsAbandoned(false);
    LogMessage(LogCategory::Server, "Server is stopped.");
    m_hooks->Post(MakeHookEvent(HookEventKind::ServerStop));
}

int CFtpServer::GetBoundPort() const {
    std::string address;
    std::uint16_t port = 0;
    if (m_listenSockets.empty() || !m_listenSockets.front()->GetSockName(address, port)) return 0;
    return port;
}

std::vector<std::uint32_t> CFtpServer::ConnectionIds() const {
    std::lock_guard lock(m_connectionLock);
    std::vector<std::uint32_t> ids;
    for (const CConnectThread* thread : m_connectionList) ids.push_back(thread->ThreadId());
    return ids;
}

bool CFtpServer::TakeFirstConnection(std::uint32_t& threadId) {
    std::lock_guard lock(m_connectionLock);
    if (m_connectionList.empty()) return false;
    threadId = m_connectionList.front()->ThreadId();
    return true;
}

bool CFtpServer::TakeEndingThread(std::uint32_t& threadId) {
    std::lock_guard lock(m_connectionLock);
    if (m_endingThreads.empty()) return false;
    threadId = m_endingThreads.back();
    m_endingThreads.pop_back();
    return true;
}

void CFtpServer::WaitForThreadEnd(std::uint32_t threadId) {
    // The ending thread reports itself with a synchronous WM_SESSION_CLOSED, so the
    // wait must keep dispatching. It has no end: the thread uses this controller (and
    // the main loop) until its last step, so going on without it would let it run into
    // freed memory. Every wait of a session is bounded, so this one ends too.
    // (A main loop that has ended dispatches nothing: Stop belongs before its end, as
    // every caller has it.)
    bool reported = false;
    while (!m_mainLoop->QuitTaken() &&
           !m_mainLoop->RunUntil([&] { return !CThread::IsThreadAlive(threadId); },
                                 kStopWaitPerThread)) {
        if (reported) continue;
        reported = true;
        LogMessage(LogCategory::Server,
                   StringFormat("Waiting for session %u to end.", static_cast<unsigned>(threadId)));
    }
    std::lock_guard lock(m_connectionLock);
    m_connectionList.erase(
        std::remove_if(m_connectionList.begin(), m_connectionList.end(),
                       [&](CConnectThread* t) { return t->ThreadId() == threadId; }),
        m_connectionList.end());
}

bool CFtpServer::RefuseBannedClient(UniqueFd& accepted, const std::string& address,
                                    bool implicitTls) {
    const std::int64_t left = m_loginGuard.BanSecondsLeft(address);
    if (left == 0) return false;
    if (m_loginGuard.ShouldLogRefusal(address))
        LogMessage(LogCategory::Server,
                   StringFormat("Refused banned %s (%lld s left).", address.c_str(),
                                static_cast<long long>(left)),
                   LogSeverity::Warning);
    // SECURITY: a banned address costs no thread and no session, and waits the refusal
    // delay for its answer like a refused PASS, so a reconnecting guesser gains nothing.
    // The number held is bounded (a share of the descriptors); past it the answer goes
    // at once.
    m_heldRefusals.push_back(
        {std::move(accepted), SteadyMilliseconds() + GetLoginPolicy().failDelayMs, implicitTls});
    AnswerHeldRefusals(m_heldRefusals.size() > m_maxHeldRefusals);
    return true;
}

void CFtpServer::AnswerHeldRefusals(bool all) {
    static const std::string kLine = std::string(kBannedReply) + "\r\n";
    const std::int64_t now = SteadyMilliseconds();
    while (!m_heldRefusals.empty() && (all || m_heldRefusals.front().dueMs <= now)) {
        if (!m_heldRefusals.front().silent)
            (void)SendWithoutWaiting(m_heldRefusals.front().fd.Get(), kLine.data(), kLine.size());
        m_heldRefusals.pop_front();  // closes it
    }
    // The timer runs only while refusals wait: an idle server is not woken for them.
    if (m_heldRefusals.empty() && m_refusalTimer != 0) {
        m_mainLoop->CancelTimer(m_refusalTimer);
        m_refusalTimer = 0;
    } else if (!m_heldRefusals.empty() && m_refusalTimer == 0) {
        m_refusalTimer = m_mainLoop->AddTimer(kRefusalTick, [this] { AnswerHeldRefusals(false); });
    }
}

void CFtpServer::AcceptConnection(int fd, bool implicitTls) {
    try {
        Admit(UniqueFd(fd), implicitTls);
    } catch (const std::bad_alloc&) {
        m_acceptRefusals.Count(AcceptRefusal::NoSession, ENOMEM);  // the descriptor is closed
    }
}

void CFtpServer::AcceptConnected(UniqueFd connected, const std::string& peerAddress) {
    try {
        AdmitFrom(std::move(connected), peerAddress, false);
    } catch (const std::bad_alloc&) {
        m_acceptRefusals.Count(AcceptRefusal::NoSession, ENOMEM);
    }
}

void CFtpServer::Admit(UniqueFd accepted, bool implicitTls) {
    std::string address;
    if (!PeerAddressOf(accepted.Get(), address)) return;  // gone already
    AdmitFrom(std::move(accepted), address, implicitTls);
}

void CFtpServer::AdmitFrom(UniqueFd accepted, const std::string& address, bool implicitTls) {
    if (RefuseBannedClient(accepted, address, implicitTls)) return;
    ++m_connections;
    // SECURITY: every limit is decided here, before a thread or a descriptor is spent
    // on the client, so that no number of connections can exhaust what sessions need.
    if (const auto refusal = AdmissionRefusal(address)) {
        RefuseAtAccept(std::move(accepted), *refusal, implicitTls);
        return;
    }
    StartConnectThread(std::move(accepted), address, implicitTls);
}

void CFtpServer::DropAtDescriptorLimit(int fd, bool implicitTls) {
    // A send needs no descriptor, so even this client learns why it is closed.
    RefuseAtAccept(UniqueFd(fd), AcceptRefusal::DescriptorLimit, implicitTls);
}

std::optional<AcceptRefusal> CFtpServer::AdmissionRefusal(const std::string& address) const {
    if (IsUserLimitReached()) return AcceptRefusal::TooManyUsers;
    const LoginPolicy policy = GetLoginPolicy();
    const AdmissionCounts counts = m_sessions.CountFor(address);
    if (policy.maxPerAddress > 0 && counts.fromAddress >= policy.maxPerAddress)
        return AcceptRefusal::AddressFull;
    if (policy.maxNotLoggedIn > 0 && counts.notLoggedIn >= policy.maxNotLoggedIn)
        return AcceptRefusal::TooManyNotLoggedIn;
    return std::nullopt;
}

void CFtpServer::RefuseAtAccept(UniqueFd accepted, AcceptRefusal reason, bool implicitTls) {
    SendRefusal(accepted.Get(), reason, implicitTls);
    CountRefusal(reason);
}

void CFtpServer::SendRefusal(int fd, AcceptRefusal reason, bool implicitTls) {
    // A client of the implicit port expects a TLS handshake, not a clear reply; making
    // one for a refusal would spend what the limit is there to save.
    const char* reply = implicitTls ? nullptr : ReplyFor(reason);
    if (reply == nullptr) return;
    const std::string line = std::string(reply) + "\r\n";
    (void)SendWithoutWaiting(fd, line.data(), line.size());
}

void CFtpServer::StartConnectThread(UniqueFd accepted, const std::string& address,
                                    bool implicitTls) {
    const int fd = accepted.Get();
    std::unique_ptr<CConnectThread> thread;
    int error = 0;
    try {
        thread = std::make_unique<CConnectThread>(*this, std::move(accepted), address, implicitTls);
        thread->SetEndObserver(m_mainLoop);
        TakeUserSlot(*thread, address);
        {
            std::lock_guard lock(m_connectionLock);
            m_connectionList.push_back(thread.get());
        }
        if (thread->CreateThread()) {
            thread.release()->ResumeThread();  // it deletes itself when it ends
            return;
        }
        error = thread->CreateError();
    } catch (const std::bad_alloc&) {
        error = ENOMEM;
    }
    // Out of threads, memory maps, descriptors or memory: the client is told so. `fd` is
    // still open only while the thread object or `accepted` holds it; a constructor that
    // threw after taking it has closed it, and its number may be another's by now.
    if (thread || accepted) SendRefusal(fd, AcceptRefusal::NoSession, implicitTls);
    CountRefusal(AcceptRefusal::NoSession, error);
    if (thread) {
        UnlistConnection(thread.get());
        thread->ReleaseUserSlot();
    }
}

void CFtpServer::TakeUserSlot(CConnectThread& thread, const std::string& address) {
    (void)m_sessions.Add(thread.ThreadId(), address, NowSeconds());
    ++m_usersConnected;
    thread.MarkUserSlotTaken();
}

void CFtpServer::UnlistConnection(CConnectThread* thread) {
    std::lock_guard lock(m_connectionLock);
    std::erase(m_connectionList, thread);
}

void CFtpServer::CountRefusal(AcceptRefusal reason, int error) {
    m_acceptRefusals.Count(reason, error);
    // The timer runs only while there is something to report: one line a second at most.
    if (m_refusalLogTimer == 0)
        m_refusalLogTimer = m_mainLoop->AddTimer(kRefusalLogPeriod, [this] { LogRefusals(); });
}

void CFtpServer::LogRefusals() {
    const std::string summary = m_acceptRefusals.TakeSummary();
    if (!summary.empty()) {
        LogMessage(LogCategory::Server, summary);
        return;
    }
    if (m_refusalLogTimer != 0) m_mainLoop->CancelTimer(m_refusalLogTimer);
    m_refusalLogTimer = 0;
}

void CFtpServer::RemoveConnection(CConnectThread* thread) {
    std::lock_guard lock(m_connectionLock);
    auto it = std::find(m_connectionList.begin(), m_connectionList.end(), thread);
    if (it != m_connectionList.end()) m_connectionList.erase(it);
    std::erase_if(m_endingThreads, [](std::uint32_t id) { return !CThread::IsThreadAlive(id); });
    m_endingThreads.push_back(thread->ThreadId());
}

std::intptr_t CFtpServer::HandleMessage(const Message& message) {
    switch (message.id) {
        case WM_SESSION_OPENED:
            return OnSessionOpened(reinterpret_cast<CConnectThread*>(message.wParam));
        case WM_SESSION_CLOSED:
            return OnSessionClosed(reinterpret_cast<CConnectThread*>(message.wParam));
        default:
            return 0;
    }
}

std::intptr_t CFtpServer::OnSessionOpened(CConnectThread* thread) {
    ++m_currentConnections;
    thread->SetClientAddress(thread->PeerAddress());
    LogMessage(LogCategory::Server,
               StringFormat("%s has connected to server.", thread->ClientAddress().c_str()));
    return 1;
}

std::intptr_t CFtpServer::OnSessionClosed(CConnectThread* thread) {
    --m_currentConnections;
    LogMessage(LogCategory::Server,
               StringFormat("%s has disconnected from server.", thread->ClientAddress().c_str()));
    if (m_sink != nullptr) m_sink->OnSessionRemoved(thread->ThreadId(), thread->UserName());
    return 1;
}

void CFtpServer::CountTransferEvent(TransferEvent event) {
    const int index = static_cast<int>(event);
    if (index >= kFirstCountedEvent && index <= kLastCountedEvent)
        m_eventCounts[index - kFirstCountedEvent].fetch_add(1, std::memory_order_relaxed);
}

int CFtpServer::EventCount(TransferEvent event) const {
    const int index = static_cast<int>(event);
    if (index < kFirstCountedEvent || index > kLastCountedEvent) return 0;
    return m_eventCounts[index - kFirstCountedEvent].load(std::memory_order_relaxed);
}

void CFtpServer::OnStatisticsTimer() {
    if (m_sink == nullptr) return;
    m_sink->OnBytesSent(BytesSent());
    m_sink->OnBytesReceived(BytesReceived());
    m_sink->OnStatistic(kStatisticConnections, m_connections);
    m_sink->OnStatistic(kStatisticCurrentConnections, m_currentConnections);
    for (int event = kFirstCountedEvent; event <= kLastCountedEvent; ++event)
        m_sink->OnStatistic(event, EventCount(static_cast<TransferEvent>(event)));
}

void CFtpServer::SetStatisticsInterval(int milliseconds) {
    m_statisticsInterval = milliseconds;
    if (m_running) RestartStatisticsTimer();
}

void CFtpServer::RestartStatisticsTimer() {
    if (m_statisticsTimer != 0) m_mainLoop->CancelTimer(m_statisticsTimer);
    m_statisticsTimer = 0;
    if (m_statisticsInterval > 0)
        m_statisticsTimer = m_mainLoop->AddTimer(std::chrono::milliseconds(m_statisticsInterval),
                                                 [this] { OnStatisticsTimer(); });
}

void CFtpServer::SetWelcomeMessage(const std::string& text) {
    std::lock_guard lock(m_textLock);
    m_welcomeMessage = text;
}

void CFtpServer::SetGoodbyeMessage(const std::string& text) {
    std::lock_guard lock(m_textLock);
    m_goodbyeMessage = text;
}

std::string CFtpServer::GetWelcomeMessage() const {
    std::lock_guard lock(m_textLock);
    return m_welcomeMessage;
}

std::string CFtpServer::GetGoodbyeMessage() const {
    std::lock_guard lock(m_textLock);
    return m_goodbyeMessage;
}

void CFtpServer::SetLoginPolicy(const LoginPolicy& policy) {
    {
        std::lock_guard lock(m_policyLock);
        m_policy = policy;
    }
    m_loginGuard.SetLimits(policy.banAttempts, policy.banWindowSeconds, policy.banSeconds);
}

LoginPolicy CFtpServer::GetLoginPolicy() const {
    std::lock_guard lock(m_policyLock);
    return m_policy;
}

bool CFtpServer::Kick(std::uint32_t id) {
    {
        std::lock_guard lock(m_connectionLock);
        if (std::none_of(m_connectionList.begin(), m_connectionList.end(),
                         [id](CConnectThread* t) { return t->ThreadId() == id; }))
            return false;
    }
    CThread::PostThreadMessage(id, Message{WM_QUIT, 0, 0, nullptr});
    return true;
}

void CFtpServer::SetFilterMode(FilterMode mode) { m_filter->SetMode(mode); }

void CFtpServer::SetFilterLists(const std::string& allowList, const std::string& denyList) {
    m_filter->SetList(CIpFilter::List::Allow, allowList);
    m_filter->SetList(CIpFilter::List::Deny, denyList);
}

bool CFtpServer::IsAddressAllowed(const std::string& address) const {
    return m_filter->IsAllowed(address);
}

void CFtpServer::SetPassiveRange(std::uint32_t minimum, std::uint32_t maximum) {
    m_passiveMin = minimum;
    m_passiveMax = std::max(minimum, maximum);
}

void CFtpServer::GetPassiveRange(std::uint32_t& minimum, std::uint32_t& maximum) const {
    minimum = m_passiveMin;
    maximum = m_passiveMax;
}

void CFtpServer::SetPassiveAddress(const std::string& address) {
    std::lock_guard lock(m_passiveLock);
    m_passiveAddress = address;
}

std::string CFtpServer::GetPassiveAddress() const {
    std::lock_guard lock(m_passiveLock);
    return m_passiveAddress;
}

void CFtpServer::LogMessage(LogCategory category, const std::string& text, LogSeverity severity) {
    const std::string line = MakeLogLine(text);
    m_recentLog.Add(line);
    if (m_sink != nullptr) m_sink->OnLogLine(category, severity, line);
}
