// CWebGetWorker: runs HTTP GETs one at a time on a thread of its own and reports each end
// to a loop with WM_WEBGET_DONE (wParam 0, lParam 0 success or 1 failure). Each request
// has its own reply; a request started while one runs waits in a short queue.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "net/NetLimits.h"

class EventLoop;
class IMessageTarget;

struct WebGetReply {
    std::string url;
    bool ok = false;
    std::string body;   // at most kMaxReplyBytes bytes
    std::string error;  // why it failed
};

class CWebGetWorker {
public:
    // WM_WEBGET_DONE goes to `target` on `notifyLoop`; both outlive the worker.
    CWebGetWorker(EventLoop& notifyLoop, IMessageTarget& target,
                  std::chrono::milliseconds timeout = kWebGetTimeout);
    // Ends a running request at once and waits for the thread. After it returns no
    // further WM_WEBGET_DONE is posted (those already posted stay queued).
    ~CWebGetWorker();
    CWebGetWorker(const CWebGetWorker&) = delete;
    CWebGetWorker& operator=(const CWebGetWorker&) = delete;

    // Queues a GET of `url`. False (nothing queued, nothing posted) when the URL is not
    // http:// or https://, kMaxQueuedRequests requests already wait or the system refuses
    // the worker its thread. Any thread.
    [[nodiscard]] bool Start(const std::string& url);
    // The oldest reply not yet taken: one per WM_WEBGET_DONE, in order. Any thread.
    std::optional<WebGetReply> TakeReply();
    // Requests handed to the HTTP client so far (a skipped one does not count).
    std::size_t RequestsSent() const { return m_sent.load(); }

private:
    void Run();

    EventLoop& m_notifyLoop;
    IMessageTarget& m_target;
    const std::chrono::milliseconds m_timeout;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::size_t> m_sent{0};
    std::mutex m_lock;                  // guards m_queue, m_replies, m_thread's start
    std::condition_variable m_wake;     // m_queue gained a URL, or m_stopping
    std::deque<std::string> m_queue;    // waiting URLs; guarded by m_lock
    std::deque<WebGetReply> m_replies;  // ended requests not yet taken; guarded by m_lock
    std::thread m_thread;               // started by the first Start
};
