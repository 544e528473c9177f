// A server's TLS listener through QNetworkAccessManager: the certificate is taken only
// when its SHA-256 fingerprint is the pinned one (servers make their own, which no
// authority signs), and requests carry a bearer token got by signing in as "admin".
#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <vector>

#include "ui/AdminTransport.h"

class QNetworkReply;

class CTlsAdminTransport : public QObject, public CAdminTransport {
    Q_OBJECT
public:
    // The connection's own time-out is shorter; this one frees a forgotten reply.
    static constexpr int kRequestQuietMs = 15000;

    // `fingerprint` in any form CanonicalFingerprint takes.
    CTlsAdminTransport(const QString& host, int port, const QString& fingerprint,
                       const QString& password);
    ~CTlsAdminTransport() override;

    void Send(const AdminRequest& request, Done done) override;
    void OpenStream(const QString& path, OnData onData, OnEnd onEnd) override;
    void CloseStream() override;

private:
    struct Waiting {
        AdminRequest request;
        Done done;
        bool retried = false;
    };

    void Dispatch(Waiting waiting);
    void SignIn();
    void SignedIn(const AdminReply& reply);
    QNetworkReply* Start(const QString& method, const QString& path, const QByteArray& body,
                         const QList<QPair<QByteArray, QByteArray>>& headers,
                         int quietMs = kRequestQuietMs);
    void CheckPin(QNetworkReply* reply);
    AdminReply ReplyOf(QNetworkReply* reply);
    void StartStream();

    QNetworkAccessManager m_network;
    QString m_host;
    int m_port = 0;
    QByteArray m_pin;  // canonical; empty when the given one was unusable
    QString m_password;
    QByteArray m_token;
    bool m_signingIn = false;
    std::vector<Waiting> m_waiting;  // for the sign-in under way
    QString m_streamPath;
    OnData m_onData;
    OnEnd m_onEnd;
    QPointer<QNetworkReply> m_stream;
};
