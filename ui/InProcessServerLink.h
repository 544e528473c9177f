// The server inside the window: CFtpServer on this (the main) thread, reporting through
// the queued sink, which this link applies every 50 ms; kicks, list entries and bans go
// through CAdminOperations as the window's.
#pragma once

#include <QTimer>
#include <functional>

#include "config/Options.h"
#include "ui/QueuedWindowSink.h"
#include "ui/ServerLink.h"

class CFtpServer;
class CLogFile;

class CInProcessServerLink : public CServerLink {
    Q_OBJECT
public:
    // The options a start applies (the port is the options page's).
    using StartOptions = std::function<OptionValues()>;

    // `server` and `logFile` outlive the link.
    CInProcessServerLink(CFtpServer& server, CLogFile& logFile, StartOptions startOptions,
                         QObject* parent = nullptr);
    // Stops the server (waiting for its sessions) and takes the sink back.
    ~CInProcessServerLink() override;

    CQueuedWindowSink& Sink() { return m_sink; }
    CFtpServer& Server() { return m_server; }
    // Hands the sink to the server; from then on its events are applied.
    void ConnectSink();
    // Applies every queued sink event now; only an active link reports them.
    void ApplyPendingEvents();

    QString DisplayName() const override { return "this window's server"; }
    bool IsRemoteMachine() const override { return false; }
    std::int64_t Now() const override { return m_sink.Now(); }
    void Activate() override;
    void Deactivate() override;
    // Start sequence; nothing when the server runs or stops already.
    void Start() override;
    // Stop sequence in steps (each session ends while the window works on); nothing
    // while a stop runs.
    void Stop() override;
    bool IsStopping() const override;
    void Kick(const std::vector<std::uint32_t>& ids) override;
    void AddToIpList(CIpFilter::List list, const QString& address) override;
    void LiftBan(const QString& address) override;
    void RequestHistory(const QString& user, int days, HistoryGrouping by) override;

private:
    void ContinueStop();
    void ApplyEvent(const WindowEvent& event, QStringList& lines);
    void ReportBans();
    // Every second with the bans: the server loads a replaced certificate by itself.
    void ReportCertificate(bool always);
    void ReportOpenSessions();

    CFtpServer& m_server;
    CQueuedWindowSink m_sink;
    StartOptions m_startOptions;
    bool m_active = false;
    std::int64_t m_lastSent = 0;
    QTimer m_drainTimer;  // applies queued sink events in batches
    QTimer m_stopTimer;   // steps a running stop
    QTimer m_banTimer;
    LinkCertificate m_certificate;  // as last reported
};
