// A running server reached through its administration API (the control socket of the
// program directory, or another machine's TLS listener). The sessions are polled often
// enough that a new one shows within a second, and the snapshots are compared into the
// same opened / command / closed steps the server inside the window reports; the log is
// followed as a stream.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>
#include <map>
#include <memory>

#include "ui/ServerLink.h"

struct AdminReply;

class CRemoteServerLink : public CServerLink {
    Q_OBJECT
public:
    // `remoteMachine`: the server runs on another machine (reached over the network).
    CRemoteServerLink(std::unique_ptr<CAdminConnection> connection, bool remoteMachine,
                      QObject* parent = nullptr);
    ~CRemoteServerLink() override;

    QString DisplayName() const override;
    bool IsRemoteMachine() const override { return m_remoteMachine; }
    CAdminConnection* Connection() override { return m_connection.get(); }
    std::int64_t Now() const override;
    void Activate() override;
    void Deactivate() override;
    void Start() override { SetListening(true); }
    void Stop() override { SetListening(false); }
    bool IsStopping() const override { return m_phase == ServerLinkState::Phase::Stopping; }
    void Kick(const std::vector<std::uint32_t>& ids) override;
    void AddToIpList(CIpFilter::List list, const QString& address) override;
    void LiftBan(const QString& address) override;
    void RequestHistory(const QString& user, int days, HistoryGrouping by) override;

private:
    struct Known {
        QString user;
        QString directory;
        QString line;
        qint64 lastTime = 0;
    };

    void PollSessions();
    void PollState();
    void ApplySessions(const QJsonArray& sessions);
    void ApplySession(const QJsonObject& session, qint64 now, std::map<quint32, Known>& seen);
    void ApplyServerState(const QJsonObject& state);
    void ApplyCertificate(const QJsonValue& certificate);
    void ApplyStats(const QJsonObject& stats);
    void ApplyBans(const QJsonArray& bans);
    void SetListening(bool listen);
    void TakeLogLine(const QByteArray& line);
    void FlushLog();
    // True when the answer is one to act on; a failure is reported as `what` failed.
    bool Succeeded(const AdminReply& reply, const QString& what);

    std::unique_ptr<CAdminConnection> m_connection;
    bool m_remoteMachine;
    bool m_active = false;
    std::map<quint32, Known> m_sessions;
    ServerLinkState::Phase m_phase = ServerLinkState::Phase::Unknown;
    int m_port = 0;
    LinkCertificate m_certificate;
    bool m_certificateReported = false;  // since Activate
    bool m_sessionsAsked = false;        // a poll's answer is awaited: the next one waits
    int m_stateAsked = 0;                // answers of the state poll still awaited
    QTimer m_sessionTimer;
    QTimer m_stateTimer;
    QStringList m_pendingLines;
    QString m_logDate;  // the day of the last line shown
    QTimer m_logTimer;
};
