// The control socket: cpp-httplib's client (api/ApiClient) run on worker threads, since
// Qt has no HTTP client for Unix sockets. Results are posted back to the GUI thread.
#pragma once

#include <QObject>
#include <atomic>
#include <memory>

#include "ui/AdminTransport.h"

struct LocalWorkShared;

class CLocalAdminTransport : public QObject, public CAdminTransport {
    Q_OBJECT
public:
    explicit CLocalAdminTransport(const QString& socketPath);
    // Returns at once: a worker still waiting for the server finishes on its own (every
    // wait of the client is bounded) and delivers nothing.
    ~CLocalAdminTransport() override;

    void Send(const AdminRequest& request, Done done) override;
    void OpenStream(const QString& path, OnData onData, OnEnd onEnd) override;
    void CloseStream() override;

private:
    void ReplyLater(const Done& done, const QString& failure);

    std::shared_ptr<LocalWorkShared> m_shared;
    std::shared_ptr<std::atomic<bool>> m_streamStop;
    quint64 m_streamNumber = 0;
};
