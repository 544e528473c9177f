// The first contact's look at a server's certificate, for CAdminConnection.
#include <QPointer>
#include <QSslCertificate>
#include <QSslSocket>
#include <QTimer>

#include "ui/AdminConnection.h"

namespace {

constexpr int kHandshakeMs = 10000;

}  // namespace

void CAdminConnection::FetchFingerprint(
    const QString& host, int port, QObject* context,
    std::function<void(const QString& fingerprint, const QString& error)> done) {
    auto* socket = new QSslSocket(context);
    auto finished = std::make_shared<bool>(false);
    // Runs `done` once, whichever of handshake, error or time-out comes first.
    auto finish = [socket, finished, done](const QString& fingerprint, const QString& error) {
        if (*finished) return;
        *finished = true;
        socket->disconnect();
        socket->abort();
        socket->deleteLater();
        done(fingerprint, error);
    };
    // Whatever the certificate is, it is only looked at: nothing is sent.
    socket->setPeerVerifyMode(QSslSocket::VerifyNone);
    socket->setProtocol(QSsl::TlsV1_2OrLater);
    QObject::connect(socket, &QSslSocket::encrypted, socket, [socket, finish] {
        const QSslCertificate certificate = socket->peerCertificate();
        if (certificate.isNull()) {
            finish({}, "the server showed no certificate");
            return;
        }
        finish(
            QString::fromUtf8(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper()),
            {});
    });
    QObject::connect(socket, &QAbstractSocket::errorOccurred, socket,
                     [socket, finish] { finish({}, socket->errorString()); });
    QTimer::singleShot(kHandshakeMs, socket, [finish] {
        finish({}, QString("no TLS answer within %1 s").arg(kHandshakeMs / 1000));
    });
    socket->connectToHostEncrypted(host, quint16(port));
}
