// The window's client of the administration API of a running server: the local
// service through the program directory's control socket, or another machine's server
// through its TLS listener. Everything is asynchronous; the GUI thread never waits on
// the network. No page logic lives here.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <map>
#include <memory>

#include "ui/AdminTransport.h"
#include "ui/EventStreamParser.h"

class CAdminConnection : public QObject {
    Q_OBJECT
public:
    using ReplyHandler = std::function<void(const AdminReply&)>;
    using LineHandler = std::function<void(const QByteArray& line)>;
    using MissedHandler = std::function<void(qint64 lines)>;

    static constexpr std::chrono::milliseconds kDefaultTimeout{10000};

    // The server whose control socket is `programDir` + "tarvona.sock".
    static std::unique_ptr<CAdminConnection> Local(const QString& programDir,
                                                   QObject* parent = nullptr);
    // The server at https://HOST:PORT whose certificate has the SHA-256 `fingerprint`
    // (any form CanonicalFingerprint takes); signs in as "admin" with `password`.
    static std::unique_ptr<CAdminConnection> Remote(const QString& host, int port,
                                                    const QString& fingerprint,
                                                    const QString& password,
                                                    QObject* parent = nullptr);
    // Pending requests' handlers are NOT called: nothing runs after destruction.
    ~CAdminConnection() override;

    // "tarvona@HOST:PORT" (IPv6 in brackets), or "local service".
    QString DisplayName() const { return m_displayName; }
    // False from a failed request until the server answers again.
    bool IsConnected() const { return !m_lost; }
    void SetTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

    // `done` runs exactly once, on the GUI thread, while this object lives: with the
    // server's answer (any status, `json` parsed when the body is JSON), or with status 0
    // when there is none (refused, certificate, time-out: `error` says which). Status 0
    // marks the connection lost.
    void Request(const QString& method, const QString& path, const QByteArray& jsonBody,
                 const QString& ifMatch, ReplyHandler done);
    void Get(const QString& path, ReplyHandler done) {
        Request("GET", path, {}, {}, std::move(done));
    }

    // Follows the Server-Sent Events stream at `path` (the log: "/api/v1/log?follow=1"):
    // `onLine` gets each event's data as it arrives; `onMissed` (optional) how many lines
    // the server dropped for a slow reader. A stream that ends is opened again, after a
    // lost connection once it is restored. One stream at a time; Follow replaces it.
    void Follow(const QString& path, LineHandler onLine, MissedHandler onMissed = {});
    void StopFollowing();

    // First contact: the SHA-256 fingerprint ("AB:CD:...") of the certificate the server
    // at HOST:PORT shows, taken whatever it is; nothing is sent over the connection.
    // `done` runs once on the GUI thread (not after `context` is destroyed), with the
    // fingerprint or, when it is empty, an error.
    static void FetchFingerprint(
        const QString& host, int port, QObject* context,
        std::function<void(const QString& fingerprint, const QString& error)> done);

signals:
    void connectionLost(const QString& why);
    void connectionRestored();

private:
    CAdminConnection(std::unique_ptr<CAdminTransport> transport, QString displayName,
                     QObject* parent);

    void Send(const AdminRequest& request, ReplyHandler done, bool probe);
    void Answered(quint64 number, const AdminReply& reply);
    void MarkLost(const QString& why);
    void MarkRestored();
    void Probe();
    void OpenStream();
    void StreamEnded(int status, const QString& failure);

    std::unique_ptr<CAdminTransport> m_transport;
    QString m_displayName;
    std::chrono::milliseconds m_timeout = kDefaultTimeout;

    struct Pending {
        ReplyHandler done;
        QTimer* timer = nullptr;
        bool probe = false;
    };
    std::map<quint64, Pending> m_pending;
    quint64 m_nextNumber = 0;

    bool m_lost = false;
    std::chrono::milliseconds m_backOff{0};
    QTimer m_probeTimer;
    bool m_probing = false;

    QString m_followPath;
    LineHandler m_onLine;
    MissedHandler m_onMissed;
    CEventStreamParser m_parser;
    QTimer m_reopenTimer;
    std::chrono::milliseconds m_streamBackOff{1000};
};
