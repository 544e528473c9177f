#include "net/WebGetWorker.h"

#include <system_error>

#include "net/HttpGet.h"
#include "net/PublicAddress.h"
#include "platform/EventLoop.h"

CWebGetWorker::CWebGetWorker(EventLoop& notifyLoop, IMessageTarget& target,
                             std::chrono::milliseconds timeout)
    : m_notifyLoop(notifyLoop), m_target(target), m_timeout(timeout) {}

CWebGetWorker::~CWebGetWorker() {
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

bool CWebGetWorker::Start(const std::string& url) {
    if (!IsWebUrl(url) || url.size() > kMaxUrlLength) return false;
    {
        std::lock_guard lock(m_lock);
        if (m_queue.size() >= kMaxQueuedRequests) return false;
        m_queue.push_back(url);
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { Run(); });
            } catch (const std::system_error&) {
                m_queue.pop_back();  // out of threads: refused, as a full queue is
                return false;
            }
        }
    }
    m_wake.notify_one();
    return true;
}

std::optional<WebGetReply> CWebGetWorker::TakeReply() {
    std::lock_guard lock(m_lock);
    if (m_replies.empty()) return std::nullopt;
    WebGetReply reply = std::move(m_replies.front());
    m_replies.pop_front();
    return reply;
}

// The worker thread: one request at a time, in the order they were started.
void CWebGetWorker::Run() {
    std::unique_lock lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping.load() || !m_queue.empty(); });
        if (m_stopping) return;
        WebGetReply reply;
        reply.url = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        ++m_sent;
        HttpGetResult result = HttpGet(reply.url, m_timeout, m_stopping);
        reply.ok = result.ok;
        reply.body = std::move(result.body);
        reply.error = std::move(result.error);
        lock.lock();
        if (m_stopping) return;
        const std::intptr_t failed = reply.ok ? 0 : 1;
        m_replies.push_back(std::move(reply));
        m_notifyLoop.Post(Message{WM_WEBGET_DONE, 0, failed, &m_target});
    }
}
