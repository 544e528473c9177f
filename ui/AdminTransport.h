// How CAdminConnection reaches a server: the local control socket or a TLS listener.
// Each transport delivers on the GUI thread and never after it is destroyed.
#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QString>
#include <functional>

struct AdminReply {
    int status = 0;  // 0: no answer (`error` says why)
    QJsonDocument json;
    QByteArray body;
    QString etag;
    QString error;  // no answer, or the "error" field of a refusal
};

struct AdminRequest {
    QString method;
    QString path;
    QByteArray body;
    QString ifMatch;
};

class CAdminTransport {
public:
    using Done = std::function<void(AdminReply)>;
    using OnData = std::function<void(const QByteArray&)>;
    // How a stream ended: status 200 normally (the server ends streams after a while),
    // another status when it was refused, 0 when the connection failed (`failure` says
    // why).
    using OnEnd = std::function<void(int status, const QString& failure)>;

    virtual ~CAdminTransport() = default;
    // `done` runs once, later, on the GUI thread.
    virtual void Send(const AdminRequest& request, Done done) = 0;
    // One stream at a time: `onData` for its bytes, then `onEnd` once. Opening another
    // or closing ends the previous one without calling its `onEnd`.
    virtual void OpenStream(const QString& path, OnData onData, OnEnd onEnd) = 0;
    virtual void CloseStream() = 0;
};

// The answer's JSON and ETag as AdminReply holds them; the "error" field of a refusal
// becomes `error`.
AdminReply MakeAdminReply(int status, const QByteArray& body, const QString& etag,
                          const QString& failure);
