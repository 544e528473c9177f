#include "server/FtpServer.h"

#include <algorithm>

#include "config/IpFilter.h"
#include "config/LogLine.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/Messages.h"
#include "platform/Socket.h"
#include "platform/StringFormat.h"
#include "server/ConnectThread.h"
#include "server/Limits.h"
#include "server/ListenSocket.h"

CFtpServer::CFtpServer(std::string programDir)
    : m_programDir(std::move(programDir)), m_filter(std::make_unique<CIpFilter>()) {
    m_tls.Configure(m_programDir, "", "", 0);
}

CFtpServer::~CFtpServer() { Stop(); }

bool CFtpServer::Start() {
    if (m_running) return false;
    m_mainLoop = EventLoop::Current();
    const int port = m_port;
    if (!OpenListenSockets(port)) {
        m_listenSockets.clear();
        LogMessage(LogCategory::Error, StringFormat("Server cannot run on port %d.", port));
        return false;
    }
    m_running = true;
    m_tls.Prepare(*this);
    RestartStatisticsTimer();
    LogMessage(LogCategory::Server, StringFormat("Server is running on port %d.", port));
    return true;
}

bool CFtpServer::OpenListenSockets(int port) {
    // With port 0 the system's choice for the first address may be taken at another;
    // a few fresh choices settle that.
    constexpr int kAttemptsForAnyPort = 5;
    for (int attempt = 0; attempt < (port == 0 ? kAttemptsForAnyPort : 1); ++attempt) {
        m_listenSockets.clear();
        if (OpenListenSocketsOnce(port)) return true;
    }
    return false;
}

bool CFtpServer::OpenListenSocketsOnce(int port) {
    const std::vector<std::string> addresses =
        m_listenAddresses.empty() ? std::vector<std::string>{""} : m_listenAddresses;
    for (const std::string& address : addresses) {
        auto listener = std::make_unique<CListenSocket>(*this);
        // Every address shares the port the first one got.
        const int wanted = m_listenSockets.empty() ? port : GetBoundPort();
        if (!listener->Open(wanted, address)) return false;
        m_listenSockets.push_back(std::move(listener));
    }
    return true;
}

void CFtpServer::Stop() {
    if (!m_running) return;
    // A session waiting for a table lock gives up at once, and one that holds the
    // connection-list lock while it waits lets go of it soon.
    CFile::SetLockWaitsAbandoned(true);
    if (m_statisticsTimer != 0) m_mainLoop->CancelTimer(m_statisticsTimer);
    m_statisticsTimer = 0;
    AnswerHeldRefusals(true);
    m_running = false;
    m_listenSockets.clear();
    std::uint32_t threadId = 0;
    while (TakeFirstConnection(threadId)) {
        CThread::PostThreadMessage(threadId, Message{WM_QUIT, 0, 0, nullptr});
        WaitForThreadEnd(threadId);
    }
    // A session that ended by itself just before may still be sending WM_SESSION_CLOSED
    // or destroying itself; the controller and the main loop must outlive that.
    while (TakeEndingThread(threadId)) WaitForThreadEnd(threadId);
    CFile::SetLockWaitsAbandoned(false);
    LogMessage(LogCategory::Server, "Server is stopped.");
}

int CFtpServer::GetBoundPort() const {
    std::string address;
    std::uint16_t port = 0;
    if (m_listenSockets.empty() || !m_listenSockets.front()->GetSockName(address, port)) return 0;
    return port;
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
    // wait must keep dispatching; each dispatched message starts the wait anew.
    for (;;) {
        const std::uint64_t seen = m_mainLoop->DispatchCount();
        bool ended = m_mainLoop->RunUntil(
            [&] {
                return !CThread::IsThreadAlive(threadId) || m_mainLoop->DispatchCount() != seen;
            },
            kStopWaitPerThread);
        if (!CThread::IsThreadAlive(threadId)) break;
        if (!ended) break;  // time-out: drop it from the list and go on
    }
    std::lock_guard lock(m_connectionLock);
    m_connectionList.erase(
        std::remove_if(m_connectionList.begin(), m_connectionList.end(),
                       [&](CConnectThread* t) { return t->ThreadId() == threadId; }),
        m_connectionList.end());
}

bool CFtpServer::RefuseBannedClient(int fd) {
    std::string address;
    if (!PeerAddressOf(fd, address)) return false;
    const std::int64_t left = m_loginGuard.BanSecondsLeft(address);
    if (left == 0) return false;
    if (m_loginGuard.ShouldLogRefusal(address))
        LogMessage(LogCategory::Server,
                   StringFormat("Refused banned %s (%lld s left).", address.c_str(),
                                static_cast<long long>(left)));
    // SECURITY: a banned address costs no thread and no session, and waits the refusal
    // delay for its answer like a refused PASS, so a reconnecting guesser gains nothing.
    // The number held is bounded; past it the answer goes at once.
    m_heldRefusals.push_back({UniqueFd(fd), SteadyMilliseconds() + GetLoginPolicy().failDelayMs});
    AnswerHeldRefusals(m_heldRefusals.size() > kMaxHeldRefusals);
    return true;
}

void CFtpServer::AnswerHeldRefusals(bool all) {
    static const std::string kLine = std::string(kBannedReply) + "\r\n";
    const std::int64_t now = SteadyMilliseconds();
    while (!m_heldRefusals.empty() && (all || m_heldRefusals.front().dueMs <= now)) {
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

void CFtpServer::AcceptConnection(int fd) {
    if (RefuseBannedClient(fd)) return;
    auto* thread = new CConnectThread(*this, fd);
    thread->SetEndObserver(m_mainLoop);
    if (!thread->CreateThread()) {
        delete thread;  // closes the accepted descriptor
        return;
    }
    {
        std::lock_guard lock(m_connectionLock);
        m_connectionList.push_back(thread);
    }
    thread->ResumeThread();
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
    ++m_usersConnected;
    ++m_connections;
    thread->SetTooManyUsers(IsTooManyUsers());
    thread->SetClientAddress(thread->PeerAddress());
    const int fromAddress = m_sessions.Add(thread->ThreadId(), thread->PeerAddress(), NowSeconds());
    const int maxPerAddress = GetLoginPolicy().maxPerAddress;
    thread->SetAddressFull(maxPerAddress > 0 && fromAddress > maxPerAddress);
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
    m_sink->OnStatistic(0, m_connections);
    m_sink->OnStatistic(1, m_currentConnections);
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

void CFtpServer::LogMessage(LogCategory category, const std::string& text) {
    if (m_sink != nullptr) m_sink->OnLogLine(category, MakeLogLine(text));
}
