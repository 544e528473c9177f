#include "ui/LocalAdminTransport.h"

#include <QMetaObject>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "api/ApiClient.h"

namespace {

// Requests waiting for the worker; more are refused at once rather than queued without
// end behind a server that does not answer.
constexpr std::size_t kMostWaitingRequests = 64;

}  // namespace

// What the GUI thread and the workers share. `receiver` is cleared, under the lock,
// before the transport is destroyed, so no worker posts to a destroyed object; Qt drops
// what was posted before.
struct LocalWorkShared {
    std::string socketPath;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void(CApiClient&)>> jobs;
    bool workerRunning = false;
    QObject* receiver = nullptr;

    void Post(std::function<void()> delivery) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (receiver != nullptr)
            QMetaObject::invokeMethod(receiver, std::move(delivery), Qt::QueuedConnection);
    }
};

namespace {

// One request at a time, in order; the thread ends when the transport is gone.
void RunRequests(const std::shared_ptr<LocalWorkShared>& shared) {
    const std::unique_ptr<CApiClient> client = NewSocketApiClient(shared->socketPath);
    std::unique_lock<std::mutex> lock(shared->mutex);
    for (;;) {
        shared->wake.wait(lock, [&] { return !shared->jobs.empty() || !shared->receiver; });
        if (shared->receiver == nullptr) break;
        auto job = std::move(shared->jobs.front());
        shared->jobs.pop_front();
        lock.unlock();
        job(*client);
        lock.lock();
    }
    shared->jobs.clear();
}

void RunStream(const std::shared_ptr<LocalWorkShared>& shared, const std::string& path,
               const std::shared_ptr<std::atomic<bool>>& stop,
               const std::function<void(QByteArray)>& deliverData,
               const std::function<void(int, QString)>& deliverEnd) {
    const std::unique_ptr<CApiClient> client = NewSocketApiClient(shared->socketPath);
    const ApiClientResponse answer = client->Stream(path, [&](std::string_view bytes) {
        if (*stop) return false;
        shared->Post([deliverData, data = QByteArray(bytes.data(), qsizetype(bytes.size()))] {
            deliverData(data);
        });
        return true;
    });
    if (*stop) return;
    const QString failure = QString::fromStdString(answer.error);
    shared->Post([deliverEnd, status = answer.status, failure] { deliverEnd(status, failure); });
}

}  // namespace

CLocalAdminTransport::CLocalAdminTransport(const QString& socketPath)
    : m_shared(std::make_shared<LocalWorkShared>()),
      m_streamStop(std::make_shared<std::atomic<bool>>(true)) {
    m_shared->socketPath = socketPath.toStdString();
    m_shared->receiver = this;
}

CLocalAdminTransport::~CLocalAdminTransport() {
    CloseStream();
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->receiver = nullptr;
    m_shared->wake.notify_all();
}

void CLocalAdminTransport::Send(const AdminRequest& request, Done done) {
    auto job = [shared = m_shared, request, done](CApiClient& client) {
        const ApiClientResponse answer =
            client.Send(request.method.toStdString(), request.path.toStdString(),
                        request.body.toStdString(), request.ifMatch.toStdString());
        const AdminReply reply = MakeAdminReply(
            answer.status, QByteArray::fromStdString(answer.body),
            QString::fromStdString(answer.etag), QString::fromStdString(answer.error));
        shared->Post([done, reply] { done(reply); });
    };
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    if (m_shared->jobs.size() >= kMostWaitingRequests) {
        lock.unlock();
        ReplyLater(done, "too many requests are waiting");
        return;
    }
    m_shared->jobs.push_back(std::move(job));
    m_shared->wake.notify_one();
    if (m_shared->workerRunning) return;
    try {
        // Detached: the transport never waits for a request the server may hold up.
        std::thread([shared = m_shared] { RunRequests(shared); }).detach();
        m_shared->workerRunning = true;
    } catch (const std::system_error&) {
        m_shared->jobs.clear();
        lock.unlock();
        ReplyLater(done, "no thread for the request");
    }
}

void CLocalAdminTransport::ReplyLater(const Done& done, const QString& failure) {
    QMetaObject::invokeMethod(
        this, [done, failure] { done(MakeAdminReply(0, {}, {}, failure)); }, Qt::QueuedConnection);
}

void CLocalAdminTransport::OpenStream(const QString& path, OnData onData, OnEnd onEnd) {
    CloseStream();
    m_streamStop = std::make_shared<std::atomic<bool>>(false);
    const quint64 number = ++m_streamNumber;
    // A stream closed meanwhile delivers nothing more, whatever is still queued.
    auto current = [this, number] { return number == m_streamNumber; };
    auto deliverData = [current, onData](const QByteArray& data) {
        if (current()) onData(data);
    };
    auto deliverEnd = [current, onEnd](int status, const QString& failure) {
        if (current()) onEnd(status, failure);
    };
    try {
        std::thread(RunStream, m_shared, path.toStdString(), m_streamStop,
                    std::function<void(QByteArray)>(deliverData),
                    std::function<void(int, QString)>(deliverEnd))
            .detach();
    } catch (const std::system_error&) {
        QMetaObject::invokeMethod(
            this, [deliverEnd] { deliverEnd(0, "no thread for the stream"); },
            Qt::QueuedConnection);
    }
}

void CLocalAdminTransport::CloseStream() {
    *m_streamStop = true;
    ++m_streamNumber;
}
