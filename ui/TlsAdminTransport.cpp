#include "ui/TlsAdminTransport.h"

#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QUrl>

#include "platform/TlsPinning.h"

namespace {

constexpr int kStreamQuietMs = 15000;  // the server sends a comment every half second
constexpr const char* kPinFailure = "pinFailure";

QByteArray FingerprintOf(const QSslCertificate& certificate) {
    if (certificate.isNull()) return {};
    return certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper();
}

}  // namespace

CTlsAdminTransport::CTlsAdminTransport(const QString& host, int port, const QString& fingerprint,
                                       const QString& password)
    : m_host(host),
      m_port(port),
      m_pin(QByteArray::fromStdString(CanonicalFingerprint(fingerprint.toStdString()))),
      m_password(password) {}

CTlsAdminTransport::~CTlsAdminTransport() {
    // Nothing may call back into a transport being destroyed: the replies are cut off
    // before the manager deletes them.
    for (QNetworkReply* reply : m_network.findChildren<QNetworkReply*>()) {
        reply->disconnect();
        reply->abort();
    }
}

void CTlsAdminTransport::Send(const AdminRequest& request, Done done) {
    Waiting waiting{request, std::move(done)};
    if (m_token.isEmpty()) {
        m_waiting.push_back(std::move(waiting));
        SignIn();
        return;
    }
    Dispatch(std::move(waiting));
}

void CTlsAdminTransport::Dispatch(Waiting waiting) {
    QList<QPair<QByteArray, QByteArray>> headers{{"Authorization", "Bearer " + m_token}};
    if (!waiting.request.ifMatch.isEmpty())
        headers.append({"If-Match", waiting.request.ifMatch.toUtf8()});
    QNetworkReply* reply =
        Start(waiting.request.method, waiting.request.path, waiting.request.body, headers);
    connect(reply, &QNetworkReply::finished, this, [this, reply, waiting]() mutable {
        reply->deleteLater();
        const AdminReply answer = ReplyOf(reply);
        // A token expires (or the server restarted): one more sign-in, then the answer.
        if (answer.status == 401 && !waiting.retried) {
            m_token.clear();
            waiting.retried = true;
            m_waiting.push_back(std::move(waiting));
            SignIn();
            return;
        }
        waiting.done(answer);
    });
}

void CTlsAdminTransport::SignIn() {
    if (m_signingIn) return;
    m_signingIn = true;
    const QByteArray credentials = ("admin:" + m_password).toUtf8().toBase64();
    QNetworkReply* reply =
        Start("POST", "/api/v1/signin", {}, {{"Authorization", "Basic " + credentials}});
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        SignedIn(ReplyOf(reply));
    });
}

void CTlsAdminTransport::SignedIn(const AdminReply& reply) {
    m_signingIn = false;
    m_token = reply.json.object().value("token").toString().toUtf8();
    std::vector<Waiting> waiting;
    waiting.swap(m_waiting);
    if (m_token.isEmpty()) {
        AdminReply refused = reply;
        if (refused.status == 200) {
            refused.status = 0;
            refused.error = "the sign-in gave no token";
        }
        for (Waiting& each : waiting) each.done(refused);
        if (!m_streamPath.isEmpty() && !m_stream) {
            const OnEnd onEnd = m_onEnd;
            CloseStream();
            onEnd(refused.status, refused.error);
        }
        return;
    }
    for (Waiting& each : waiting) Dispatch(std::move(each));
    if (!m_streamPath.isEmpty() && !m_stream) StartStream();
}

QNetworkReply* CTlsAdminTransport::Start(const QString& method, const QString& path,
                                         const QByteArray& body,
                                         const QList<QPair<QByteArray, QByteArray>>& headers,
                                         int quietMs) {
    QUrl url;
    url.setScheme("https");
    url.setHost(m_host);
    url.setPort(m_port);
    const qsizetype query = path.indexOf('?');
    url.setPath(query < 0 ? path : path.left(query));
    if (query >= 0) url.setQuery(path.mid(query + 1));
    QNetworkRequest request(url);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    request.setSslConfiguration(tls);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(quietMs);
    for (const auto& [name, value] : headers) request.setRawHeader(name, value);
    if (!body.isEmpty()) request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QNetworkReply* reply = m_network.sendCustomRequest(request, method.toUtf8(), body);
    CheckPin(reply);
    return reply;
}

// SECURITY: the pin replaces the authorities. The errors of a self-signed certificate
// are ignored only when it is the pinned one; a certificate an authority signed must be
// the pinned one too. Nothing is sent before the handshake passed both.
void CTlsAdminTransport::CheckPin(QNetworkReply* reply) {
    auto refuse = [this, reply](const QByteArray& seen) {
        reply->setProperty(kPinFailure, seen.isEmpty() ? QByteArray("none") : seen);
        reply->abort();
    };
    connect(reply, &QNetworkReply::sslErrors, this,
            [this, reply, refuse](const QList<QSslError>& errors) {
                const QByteArray seen = FingerprintOf(reply->sslConfiguration().peerCertificate());
                if (!m_pin.isEmpty() && seen == m_pin)
                    reply->ignoreSslErrors(errors);
                else
                    refuse(seen);
            });
    connect(reply, &QNetworkReply::encrypted, this, [this, reply, refuse] {
        const QByteArray seen = FingerprintOf(reply->sslConfiguration().peerCertificate());
        if (m_pin.isEmpty() || seen != m_pin) refuse(seen);
    });
}

AdminReply CTlsAdminTransport::ReplyOf(QNetworkReply* reply) {
    const QVariant pinFailure = reply->property(kPinFailure);
    if (pinFailure.isValid())
        return MakeAdminReply(0, {}, {},
                              m_pin.isEmpty() ? "no usable SHA-256 fingerprint is pinned; refused"
                                              : "the server's certificate has the fingerprint " +
                                                    pinFailure.toString() + ", not the pinned " +
                                                    QString::fromUtf8(m_pin) + "; refused");
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString failure = status == 0 ? "no answer: " + reply->errorString() : QString();
    return MakeAdminReply(status, reply->readAll(), QString::fromUtf8(reply->rawHeader("ETag")),
                          failure);
}

void CTlsAdminTransport::OpenStream(const QString& path, OnData onData, OnEnd onEnd) {
    CloseStream();
    m_streamPath = path;
    m_onData = std::move(onData);
    m_onEnd = std::move(onEnd);
    if (m_token.isEmpty())
        SignIn();
    else
        StartStream();
}

void CTlsAdminTransport::StartStream() {
    QNetworkReply* reply = Start(
        "GET", m_streamPath, {},
        {{"Authorization", "Bearer " + m_token}, {"Accept", "text/event-stream"}}, kStreamQuietMs);
    m_stream = reply;
    reply->setReadBufferSize(0);
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status == 200) m_onData(reply->readAll());
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        if (reply != m_stream) return;
        const AdminReply answer = ReplyOf(reply);
        if (answer.status == 401) m_token.clear();  // the next opening signs in again
        int status = answer.status;
        QString failure = answer.error;
        // A stream cut off (the server gone, nothing within the quiet time) is a
        // failed connection, not the server's own end of it.
        if (reply->error() != QNetworkReply::NoError && (status == 0 || status == 200)) {
            status = 0;
            if (failure.isEmpty()) failure = "the log stream broke off: " + reply->errorString();
        }
        const OnEnd onEnd = m_onEnd;
        CloseStream();
        onEnd(status, failure);
    });
}

void CTlsAdminTransport::CloseStream() {
    m_streamPath.clear();
    if (QNetworkReply* reply = m_stream) {
        m_stream = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}
