#include "ui/AdminConnection.h"

#include <QJsonObject>

#include "api/ApiService.h"
#include "api/KnownServers.h"
#include "ui/LocalAdminTransport.h"
#include "ui/TlsAdminTransport.h"

namespace {

constexpr std::chrono::milliseconds kFirstBackOff{1000};
constexpr std::chrono::milliseconds kLongestBackOff{30000};
constexpr std::chrono::milliseconds kStreamReopenWait{1000};
const char* const kProbePath = "/api/v1/server";

}  // namespace

AdminReply MakeAdminReply(int status, const QByteArray& body, const QString& etag,
                          const QString& failure) {
    AdminReply reply;
    reply.status = status;
    reply.body = body;
    reply.etag = etag;
    reply.error = failure;
    reply.json = QJsonDocument::fromJson(body);
    if (reply.error.isEmpty() && status >= 400)
        reply.error = reply.json.object().value("error").toString();
    return reply;
}

std::unique_ptr<CAdminConnection> CAdminConnection::Local(const QString& programDir,
                                                          QObject* parent) {
    QString dir = programDir;
    if (!dir.endsWith('/')) dir += '/';
    auto transport =
        std::make_unique<CLocalAdminTransport>(dir + QString::fromUtf8(kControlSocketName));
    return std::unique_ptr<CAdminConnection>(
        new CAdminConnection(std::move(transport), "local service", parent));
}

std::unique_ptr<CAdminConnection> CAdminConnection::Remote(const QString& host, int port,
                                                           const QString& fingerprint,
                                                           const QString& password,
                                                           QObject* parent) {
    const QString key = QString::fromStdString(ServerKey(ServerUrl{host.toStdString(), port}));
    auto transport = std::make_unique<CTlsAdminTransport>(host, port, fingerprint, password);
    return std::unique_ptr<CAdminConnection>(
        new CAdminConnection(std::move(transport), "tarvona@" + key, parent));
}

CAdminConnection::CAdminConnection(std::unique_ptr<CAdminTransport> transport, QString displayName,
                                   QObject* parent)
    : QObject(parent), m_transport(std::move(transport)), m_displayName(std::move(displayName)) {
    m_probeTimer.setSingleShot(true);
    connect(&m_probeTimer, &QTimer::timeout, this, &CAdminConnection::Probe);
    m_reopenTimer.setSingleShot(true);
    connect(&m_reopenTimer, &QTimer::timeout, this, &CAdminConnection::OpenStream);
}

CAdminConnection::~CAdminConnection() {
    // The transport first: what it still has in flight is dropped, never delivered.
    m_transport.reset();
}

void CAdminConnection::Request(const QString& method, const QString& path,
                               const QByteArray& jsonBody, const QString& ifMatch,
                               ReplyHandler done) {
    Send({method, path, jsonBody, ifMatch}, std::move(done), false);
}

void CAdminConnection::Send(const AdminRequest& request, ReplyHandler done, bool probe) {
    const quint64 number = ++m_nextNumber;
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this, number] {
        Answered(number,
                 MakeAdminReply(
                     0, {}, {},
                     QString("no answer within %1 s").arg(double(m_timeout.count()) / 1000.0)));
    });
    m_pending[number] = {std::move(done), timer, probe};
    timer->start(m_timeout);
    // A late answer, after the time-out, finds nothing pending and is dropped.
    m_transport->Send(request,
                      [this, number](const AdminReply& reply) { Answered(number, reply); });
}

void CAdminConnection::Answered(quint64 number, const AdminReply& reply) {
    const auto found = m_pending.find(number);
    if (found == m_pending.end()) return;
    Pending pending = std::move(found->second);
    m_pending.erase(found);
    pending.timer->deleteLater();
    if (reply.status == 0)
        MarkLost(reply.error);
    else
        MarkRestored();
    if (pending.done) pending.done(reply);
}

void CAdminConnection::MarkLost(const QString& why) {
    if (m_lost) return;
    m_lost = true;
    m_backOff = kFirstBackOff;
    m_probeTimer.start(m_backOff);
    emit connectionLost(why);
}

void CAdminConnection::MarkRestored() {
    if (!m_lost) return;
    m_lost = false;
    m_probeTimer.stop();
    if (!m_followPath.isEmpty() && !m_reopenTimer.isActive()) m_reopenTimer.start(0);
    emit connectionRestored();
}

void CAdminConnection::Probe() {
    if (!m_lost || m_probing) return;
    m_probing = true;
    Send(
        {"GET", kProbePath, {}, {}},
        [this](const AdminReply& reply) {
            m_probing = false;
            if (reply.status != 0) return;  // restored by Answered
            m_backOff = std::min(m_backOff * 2, kLongestBackOff);
            m_probeTimer.start(m_backOff);
        },
        true);
}

void CAdminConnection::Follow(const QString& path, LineHandler onLine, MissedHandler onMissed) {
    StopFollowing();
    m_followPath = path;
    m_onLine = std::move(onLine);
    m_onMissed = std::move(onMissed);
    OpenStream();
}

void CAdminConnection::StopFollowing() {
    m_followPath.clear();
    m_reopenTimer.stop();
    m_transport->CloseStream();
    m_parser.Reset();
}

void CAdminConnection::OpenStream() {
    if (m_followPath.isEmpty() || m_lost) return;  // a restored connection opens it
    m_parser.Reset();
    m_transport->OpenStream(
        m_followPath,
        [this](const QByteArray& bytes) {
            m_parser.Feed(bytes, [this](const StreamEvent& event) {
                if (event.type == "message" && m_onLine)
                    m_onLine(event.data);
                else if (event.type == "missed" && m_onMissed)
                    m_onMissed(event.data.toLongLong());
            });
        },
        [this](int status, const QString& failure) { StreamEnded(status, failure); });
}

void CAdminConnection::StreamEnded(int status, const QString& failure) {
    if (m_followPath.isEmpty()) return;
    if (status == 0) {
        MarkLost(failure);  // opened again once the probe finds the server
        return;
    }
    // The server ends a stream after a while: opened again at once. A refused one (a
    // sign-in that expired, a server that is busy) is tried again less and less often.
    m_streamBackOff =
        status == 200 ? kStreamReopenWait : std::min(m_streamBackOff * 2, kLongestBackOff);
    m_reopenTimer.start(m_streamBackOff);
}
