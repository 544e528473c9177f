#include "ui/RemoteServerLink.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QUrl>
#include <cstdlib>

#include "ui/AdminConnection.h"

namespace {

// A new session must show within a second, answer time included.
constexpr int kSessionPollMs = 300;
constexpr int kStatePollMs = 1000;
constexpr int kLogBatchMs = 50;
constexpr int kStateRequests = 3;

QByteArray JsonBody(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString IpListPath(CIpFilter::List list) {
    return list == CIpFilter::List::Allow ? "/api/v1/iplists/allow" : "/api/v1/iplists/deny";
}

// "[YYYY-MM-DD HH:MM:SS]  text": the day of a log line, empty for another shape.
QString DayOf(const QString& line) {
    return line.startsWith('[') && line.size() > 11 ? line.mid(1, 10) : QString();
}

}  // namespace

CRemoteServerLink::CRemoteServerLink(std::unique_ptr<CAdminConnection> connection,
                                     bool remoteMachine, QObject* parent)
    : CServerLink(parent), m_connection(std::move(connection)), m_remoteMachine(remoteMachine) {
    m_connection->setParent(nullptr);
    connect(&m_sessionTimer, &QTimer::timeout, this, &CRemoteServerLink::PollSessions);
    connect(&m_stateTimer, &QTimer::timeout, this, &CRemoteServerLink::PollState);
    connect(&m_logTimer, &QTimer::timeout, this, &CRemoteServerLink::FlushLog);
    connect(m_connection.get(), &CAdminConnection::connectionLost, this,
            [this](const QString& why) {
                if (m_active) emit connectionLost(why);
            });
    connect(m_connection.get(), &CAdminConnection::connectionRestored, this, [this] {
        if (!m_active) return;
        emit connectionRestored();
        PollSessions();
        PollState();
    });
}

// The connection goes first: no answer is delivered to a half-destroyed link.
CRemoteServerLink::~CRemoteServerLink() { m_connection.reset(); }

QString CRemoteServerLink::DisplayName() const { return m_connection->DisplayName(); }

std::int64_t CRemoteServerLink::Now() const { return QDateTime::currentSecsSinceEpoch(); }

void CRemoteServerLink::Activate() {
    m_active = true;
    m_sessions.clear();
    m_phase = ServerLinkState::Phase::Unknown;
    m_certificateReported = false;
    m_logDate.clear();
    m_connection->Follow(
        "/api/v1/log?follow=1", [this](const QByteArray& line) { TakeLogLine(line); },
        [this](qint64 missed) {
            m_pendingLines
                << QString("(%1 log lines skipped: the window fell behind the server)").arg(missed);
        });
    PollSessions();
    PollState();
    m_sessionTimer.start(kSessionPollMs);
    m_stateTimer.start(kStatePollMs);
    m_logTimer.start(kLogBatchMs);
}

void CRemoteServerLink::Deactivate() {
    m_active = false;
    m_connection->StopFollowing();
    m_sessionTimer.stop();
    m_stateTimer.stop();
    m_logTimer.stop();
    m_pendingLines.clear();
}

bool CRemoteServerLink::Succeeded(const AdminReply& reply, const QString& what) {
    if (reply.status >= 200 && reply.status < 300) return true;
    if (m_active)
        emit actionFailed(reply.status == 0 ? what + ": no answer from " + DisplayName() + " (" +
                                                  reply.error + ")"
                                            : what + ": " + reply.error);
    return false;
}

void CRemoteServerLink::PollSessions() {
    if (m_sessionsAsked || !m_active) return;
    m_sessionsAsked = true;
    m_connection->Get("/api/v1/sessions", [this](const AdminReply& reply) {
        m_sessionsAsked = false;
        if (m_active && reply.status == 200)
            ApplySessions(reply.json.object().value("sessions").toArray());
    });
}

void CRemoteServerLink::ApplySessions(const QJsonArray& sessions) {
    const qint64 now = Now();
    std::map<quint32, Known> seen;
    for (const QJsonValue& session : sessions) ApplySession(session.toObject(), now, seen);
    for (const auto& [id, known] : m_sessions)
        if (seen.count(id) == 0) emit sessionClosed(id);
    m_sessions = std::move(seen);
}

// The steps the server inside the window reports: the command line before the row its
// USER opens, and a new row for every new user name of the session.
void CRemoteServerLink::ApplySession(const QJsonObject& session, qint64 now,
                                     std::map<quint32, Known>& seen) {
    const auto id = static_cast<quint32>(session.value("id").toInteger());
    Known current{session.value("user").toString(), session.value("directory").toString(),
                  session.value("lastCommand").toString(),
                  now - session.value("idleSeconds").toInteger()};
    const auto found = m_sessions.find(id);
    const Known before = found != m_sessions.end() ? found->second : Known{};
    // The idle time is whole seconds: a second's rounding is no new command.
    if (current.directory != before.directory || current.line != before.line ||
        std::llabs(current.lastTime - before.lastTime) > 1)
        emit sessionCommand(id, current.directory, current.line, current.lastTime);
    else
        current.lastTime = before.lastTime;
    if (!current.user.isEmpty() && current.user != before.user) {
        const qint64 loginTime = session.value("loginTime").toInteger(current.lastTime);
        emit sessionOpened(id, current.user, session.value("address").toString(), loginTime);
    }
    seen[id] = std::move(current);
}

void CRemoteServerLink::PollState() {
    if (m_stateAsked > 0 || !m_active) return;
    m_stateAsked = kStateRequests;
    m_connection->Get("/api/v1/server", [this](const AdminReply& reply) {
        --m_stateAsked;
        if (m_active && reply.status == 200) ApplyServerState(reply.json.object());
    });
    m_connection->Get("/api/v1/stats", [this](const AdminReply& reply) {
        --m_stateAsked;
        if (m_active && reply.status == 200) ApplyStats(reply.json.object());
    });
    m_connection->Get("/api/v1/bans", [this](const AdminReply& reply) {
        --m_stateAsked;
        if (m_active && reply.status == 200) ApplyBans(reply.json.object().value("bans").toArray());
    });
}

void CRemoteServerLink::ApplyServerState(const QJsonObject& state) {
    const QString text = state.value("state").toString();
    const qint64 sessions = state.value("sessions").toInteger();
    m_port = state.value("port").toInt();
    const ServerLinkState::Phase phase = text == "running"    ? ServerLinkState::Phase::Online
                                         : text == "stopping" ? ServerLinkState::Phase::Stopping
                                                              : ServerLinkState::Phase::Offline;
    emit sessionCountChanged(sessions);
    ApplyCertificate(state.value("certificate"));
    if (phase == m_phase && phase != ServerLinkState::Phase::Stopping) return;
    m_phase = phase;
    emit stateChanged({phase, sessions});
}

// The server's count of days is taken as it is: its clock decides when it warns.
void CRemoteServerLink::ApplyCertificate(const QJsonValue& value) {
    LinkCertificate current;
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        const QDateTime notAfter =
            QDateTime::fromString(object.value("notAfter").toString(), Qt::ISODate);
        CertificateStatus status;
        status.fingerprint = object.value("fingerprint").toString().toStdString();
        status.notAfter = notAfter.isValid() ? notAfter.toSecsSinceEpoch() : 0;
        status.daysLeft = object.value("daysLeft").toInteger();
        status.expiresSoon = object.value("expiresSoon").toBool();
        current = status;
    }
    if (m_certificateReported && current == m_certificate) return;
    m_certificateReported = true;
    m_certificate = current;
    emit certificateChanged(current);
}

void CRemoteServerLink::ApplyStats(const QJsonObject& stats) {
    const QJsonObject totals = stats.value("totals").toObject();
    emit trafficTotals(totals.value("bytesReceived").toInteger(),
                       totals.value("bytesSent").toInteger(), QDateTime::currentMSecsSinceEpoch());
}

void CRemoteServerLink::ApplyBans(const QJsonArray& bans) {
    std::vector<BanEntry> entries;
    for (const QJsonValue& value : bans) {
        const QJsonObject ban = value.toObject();
        entries.push_back({ban.value("address").toString().toStdString(),
                           ban.value("until").toInteger(), ban.value("offences").toInt()});
    }
    emit bansChanged(entries);
}

void CRemoteServerLink::SetListening(bool listen) {
    const QString what = listen ? "Starting the server" : "Stopping the server";
    m_connection->Request("PUT", "/api/v1/server", JsonBody({{"listening", listen}}), {},
                          [this, listen, what](const AdminReply& reply) {
                              if (!m_active) return;
                              if (listen && reply.status == 409) {
                                  emit startFailed(reply.error, m_port);
                                  return;
                              }
                              if (!Succeeded(reply, what)) return;
                              // Reported even when unchanged: a restart waits for it.
                              m_phase = ServerLinkState::Phase::Unknown;
                              ApplyServerState(reply.json.object());
                          });
}

void CRemoteServerLink::Kick(const std::vector<std::uint32_t>& ids) {
    for (std::uint32_t id : ids) {
        m_connection->Request("DELETE", QString("/api/v1/sessions/%1").arg(id), {}, {},
                              [this](const AdminReply& reply) {
                                  // One that has ended meanwhile is no failure.
                                  if (reply.status != 404) (void)Succeeded(reply, "Kicking");
                                  PollSessions();
                              });
    }
}

void CRemoteServerLink::AddToIpList(CIpFilter::List list, const QString& address) {
    m_connection->Request("POST", IpListPath(list), JsonBody({{"entry", address}}), {},
                          [this, address](const AdminReply& reply) {
                              // An equal entry there already is what was asked for.
                              if (reply.status != 409)
                                  (void)Succeeded(reply, "Adding " + address + " to the IP list");
                          });
}

void CRemoteServerLink::RequestHistory(const QString& user, int days, HistoryGrouping by) {
    QString path = QString("/api/v1/history?days=%1&by=%2&top=%3")
                       .arg(days)
                       .arg(GroupingName(by))
                       .arg(kTopUsersAsked);
    if (!user.isEmpty()) path += "&user=" + QString::fromLatin1(QUrl::toPercentEncoding(user));
    m_connection->Get(path, [this](const AdminReply& reply) {
        // No answer: the banner tells of the lost connection, and the page asks again
        // every minute; a box each time would say nothing new.
        if (reply.status == 0 || !Succeeded(reply, "Reading the transfer history")) return;
        HistoryAnswer answer;
        const nlohmann::json body = nlohmann::json::parse(reply.body.toStdString(), nullptr, false);
        if (!ReadHistoryAnswer(body, answer)) {
            if (m_active)
                emit actionFailed("Reading the transfer history: the answer is no history");
            return;
        }
        if (m_active) emit historyReady(answer);
    });
}

void CRemoteServerLink::LiftBan(const QString& address) {
    const QString path = "/api/v1/bans/" + QString::fromLatin1(QUrl::toPercentEncoding(address));
    m_connection->Request("DELETE", path, {}, {}, [this, address](const AdminReply& reply) {
        if (reply.status != 404) (void)Succeeded(reply, "Lifting the ban of " + address);
        PollState();
    });
}

// The date rule of the server inside the window: the first line of a new day empties
// the page (and is not shown).
void CRemoteServerLink::TakeLogLine(const QByteArray& bytes) {
    const QString line = QString::fromUtf8(bytes);
    const QString day = DayOf(line);
    if (!day.isEmpty() && !m_logDate.isEmpty() && day != m_logDate) {
        m_logDate = day;
        m_pendingLines.clear();
        emit logCleared();
        return;
    }
    if (!day.isEmpty()) m_logDate = day;
    m_pendingLines << line;
}

void CRemoteServerLink::FlushLog() {
    if (m_pendingLines.isEmpty()) return;
    QStringList lines;
    lines.swap(m_pendingLines);
    emit logLines(lines);
}
