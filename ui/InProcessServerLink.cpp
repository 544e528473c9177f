#include "ui/InProcessServerLink.h"

#include "platform/Clock.h"
#include "server/AdminOperations.h"
#include "server/FtpServer.h"
#include "server/SessionEvents.h"
#include "server/StartSettings.h"

namespace {
constexpr int kDrainPeriodMs = 50;
constexpr int kStopStepMs = 50;
constexpr int kBanPeriodMs = 1000;
}  // namespace

CInProcessServerLink::CInProcessServerLink(CFtpServer& server, CLogFile& logFile,
                                           StartOptions startOptions, QObject* parent)
    : CServerLink(parent),
      m_server(server),
      m_sink(logFile),
      m_startOptions(std::move(startOptions)) {
    connect(&m_drainTimer, &QTimer::timeout, this, &CInProcessServerLink::ApplyPendingEvents);
    m_drainTimer.start(kDrainPeriodMs);
    connect(&m_stopTimer, &QTimer::timeout, this, &CInProcessServerLink::ContinueStop);
    connect(&m_banTimer, &QTimer::timeout, this, [this] {
        ReportBans();
        ReportCertificate(false);
    });
}

CInProcessServerLink::~CInProcessServerLink() {
    m_server.Stop();
    m_server.SetWindowSink(nullptr);
}

void CInProcessServerLink::ConnectSink() { m_server.SetWindowSink(&m_sink); }

void CInProcessServerLink::Activate() {
    // What came while another server was shown is history: the sessions open now are
    // listed from the registry instead.
    (void)m_sink.TakeEvents();
    m_active = true;
    ReportOpenSessions();
    ReportBans();
    ReportCertificate(true);
    m_banTimer.start(kBanPeriodMs);
    if (m_server.IsRunning()) emit stateChanged({ServerLinkState::Phase::Online, 0});
}

void CInProcessServerLink::Deactivate() {
    m_active = false;
    m_banTimer.stop();
}

void CInProcessServerLink::ReportOpenSessions() {
    for (const SessionInfo& session : m_server.Sessions().Snapshot()) {
        if (session.user.empty()) continue;  // rows begin with USER
        emit sessionOpened(session.id, QString::fromStdString(session.user),
                           QString::fromStdString(session.address),
                           session.loginTime != 0 ? session.loginTime : m_sink.Now());
        emit sessionCommand(session.id, QString::fromStdString(session.directory),
                            QString::fromStdString(session.lastLine), session.lastCommand);
    }
}

void CInProcessServerLink::ReportBans() { emit bansChanged(m_server.LoginGuard().Bans()); }

void CInProcessServerLink::ReportCertificate(bool always) {
    LinkCertificate current;
    if (const std::optional<CertificateFacts> facts = m_server.Tls().Certificate())
        current = CertificateStatusAt(*facts, NowSeconds());
    if (!always && current == m_certificate) return;
    m_certificate = current;
    emit certificateChanged(current);
}

void CInProcessServerLink::ApplyPendingEvents() {
    std::vector<WindowEvent> events = m_sink.TakeEvents();
    if (!m_active) return;
    QStringList lines;
    for (const WindowEvent& event : events) ApplyEvent(event, lines);
    if (!lines.isEmpty()) emit logLines(lines);
}

// Log lines are collected and reported in one step; anything that must happen between
// two lines (emptying the page) drops what came before it, which it would empty.
void CInProcessServerLink::ApplyEvent(const WindowEvent& event, QStringList& lines) {
    switch (event.kind) {
        case WindowEvent::Kind::LogLine:
            lines.push_back(QString::fromStdString(event.text));
            break;
        case WindowEvent::Kind::ClearLog:
            lines.clear();
            emit logCleared();
            break;
        case WindowEvent::Kind::LogOpenFailed:
            emit logOpenFailed(QString::fromStdString(event.text));
            break;
        case WindowEvent::Kind::SessionAdded:
            emit sessionOpened(event.sessionId, QString::fromStdString(event.text),
                               QString::fromStdString(event.detail), event.when);
            break;
        case WindowEvent::Kind::SessionRemoved:
            emit sessionClosed(event.sessionId);
            break;
        case WindowEvent::Kind::SessionCommand:
            emit sessionCommand(event.sessionId, QString::fromStdString(event.text),
                                QString::fromStdString(event.detail), event.when);
            break;
        case WindowEvent::Kind::BytesReceived:
            // The server reports sent, then received: one report per pair.
            emit trafficTotals(event.value, m_lastSent, event.when);
            break;
        case WindowEvent::Kind::BytesSent:
            m_lastSent = event.value;
            break;
        case WindowEvent::Kind::Statistic:
            if (event.index == kStatisticCurrentConnections) emit sessionCountChanged(event.value);
            break;
    }
}

void CInProcessServerLink::Start() {
    if (m_server.IsRunning() || m_server.IsStopping()) return;
    const OptionValues options = m_startOptions();
    ApplyStartSettings(m_server, options);
    if (m_server.Start()) {
        emit stateChanged({ServerLinkState::Phase::Online, 0});
        if (m_active) ReportCertificate(false);
        return;
    }
    emit startFailed({}, options.port);
}

void CInProcessServerLink::Stop() {
    if (m_server.IsStopping()) return;
    m_server.BeginStop();
    ContinueStop();
}

bool CInProcessServerLink::IsStopping() const { return m_server.IsStopping(); }

void CInProcessServerLink::ContinueStop() {
    const std::size_t left = m_server.ContinueStop();
    if (left > 0) {
        emit stateChanged({ServerLinkState::Phase::Stopping, static_cast<std::int64_t>(left)});
        if (!m_stopTimer.isActive()) m_stopTimer.start(kStopStepMs);
        return;
    }
    m_stopTimer.stop();
    emit stateChanged({ServerLinkState::Phase::Offline, 0});
}

void CInProcessServerLink::Kick(const std::vector<std::uint32_t>& ids) {
    CAdminOperations operations(m_server, AdminOrigin::Window);
    for (std::uint32_t id : ids) (void)operations.Kick(id);  // one that has ended is refused
}

void CInProcessServerLink::AddToIpList(CIpFilter::List list, const QString& address) {
    (void)CAdminOperations(m_server, AdminOrigin::Window).AddIpEntry(list, address.toStdString());
}

void CInProcessServerLink::LiftBan(const QString& address) {
    (void)CAdminOperations(m_server, AdminOrigin::Window).LiftBan(address.toStdString());
    ReportBans();
}

void CInProcessServerLink::RequestHistory(const QString& user, int days, HistoryGrouping by) {
    emit historyReady(AnswerFrom(m_server.History(), user.toStdString(), days, by, kTopUsersAsked));
}
