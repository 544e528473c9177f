// What the window's pages see of the server they administer: the server inside this
// process or a running one reached through its administration API. A page talks only
// to this, so it never knows which it has. Everything is asynchronous: a call returns at
// once and its effect arrives as signals (a remote call has its time-out in
// CAdminConnection).
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "api/HistoryJson.h"
#include "config/IpFilter.h"
#include "server/CertificateExpiry.h"
#include "server/LoginGuard.h"

class CAdminConnection;

// The most users the Statistics page asks for.
inline constexpr std::size_t kTopUsersAsked = 100;

struct ServerLinkState {
    enum class Phase { Unknown, Offline, Online, Stopping };
    Phase phase = Phase::Unknown;
    std::int64_t sessionsLeft = 0;  // while stopping
};

// The FTPS certificate the server serves, as the server counts its days; none before it
// loaded one.
using LinkCertificate = std::optional<CertificateStatus>;

class CServerLink : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // "local service", "tarvona@HOST:PORT", or the server inside the window.
    virtual QString DisplayName() const = 0;
    // True for a server on another machine: what acts on this machine (its service
    // manager) does not apply.
    virtual bool IsRemoteMachine() const = 0;
    // The API connection the link is built on; nullptr for the server inside the window.
    virtual CAdminConnection* Connection() { return nullptr; }
    // Seconds since the epoch by the clock that dates the link's sessions.
    virtual std::int64_t Now() const = 0;

    // Starts delivering: the sessions open now arrive as sessionOpened, then every
    // change. Deactivate stops the delivery (a server inside the window runs on).
    virtual void Activate() = 0;
    virtual void Deactivate() = 0;

    // The listener: the start and stop sequences of the server inside the window, or
    // the remote server's listener.
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool IsStopping() const = 0;

    // Asks each session to end; its rows go when it has ended.
    virtual void Kick(const std::vector<std::uint32_t>& ids) = 0;
    // Puts `address` on the list (and its file) unless an equal entry is there.
    virtual void AddToIpList(CIpFilter::List list, const QString& address) = 0;
    virtual void LiftBan(const QString& address) = 0;
    // Asks for the transfer history of the last `days` days of `user` ("": the whole
    // server) by `by`, with the top users; it arrives as historyReady, a failure as
    // actionFailed.
    virtual void RequestHistory(const QString& user, int days, HistoryGrouping by) = 0;

signals:
    // A USER command of a session (a session that sends USER twice opens two rows).
    void sessionOpened(quint32 id, const QString& user, const QString& address, qint64 when);
    // The session's current directory and last command line (PASS masked).
    void sessionCommand(quint32 id, const QString& directory, const QString& line, qint64 when);
    void sessionClosed(quint32 id);
    // Activity-log lines in order, in batches.
    void logLines(const QStringList& lines);
    // A new day began: the log page empties.
    void logCleared();
    void logOpenFailed(const QString& text);
    // The failed-login bans in force, in address order.
    void bansChanged(const std::vector<BanEntry>& bans);
    void stateChanged(const ServerLinkState& state);
    // The certificate changed, or its days left did; once after Activate in any case.
    // Apart from stateChanged, whose phases drive the window's start and stop steps.
    void certificateChanged(const LinkCertificate& certificate);
    void sessionCountChanged(qint64 count);
    // Byte totals and when they were taken (steady-clock milliseconds).
    void trafficTotals(qint64 received, qint64 sent, qint64 whenMs);
    // The listener could not start; `port` is the port it tried, 0 when unknown.
    void startFailed(const QString& why, int port);
    // A request the server refused or never answered (kick, list entry, ban, stop).
    void actionFailed(const QString& what);
    void historyReady(const HistoryAnswer& answer);
    void connectionLost(const QString& why);
    void connectionRestored();
};
