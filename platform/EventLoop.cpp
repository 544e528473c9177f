#include "platform/EventLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {
thread_local EventLoop* t_currentLoop = nullptr;
}

// One queued item: a message or a task, and for a synchronous send the place where
// the sender waits for the result.
struct EventLoop::Pending {
    Message message;
    std::function<void()> task;
    bool synchronous = false;
    std::mutex doneLock;
    std::condition_variable doneSignal;
    bool done = false;         // guarded by doneLock
    std::intptr_t result = 0;  // guarded by doneLock

    void Complete(std::intptr_t value) {
        std::lock_guard lock(doneLock);
        result = value;
        done = true;
        doneSignal.notify_all();
    }
};

EventLoop::EventLoop() : EventLoop(CreateWakeFd()) {}

EventLoop::EventLoop(UniqueFd wakeFd)
    : m_thread(std::this_thread::get_id()), m_wakeFd(std::move(wakeFd)) {
    t_currentLoop = this;
}

EventLoop::~EventLoop() {
    ReleaseWaitingSenders();
    if (t_currentLoop == this) t_currentLoop = nullptr;
}

UniqueFd EventLoop::CreateWakeFd() { return UniqueFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)); }

EventLoop* EventLoop::Current() { return t_currentLoop; }

void EventLoop::AssertInLoopThread() const {
    if (std::this_thread::get_id() != m_thread) {
        std::fprintf(stderr, "EventLoop used from a foreign thread\n");
        std::abort();
    }
}

void EventLoop::Enqueue(std::shared_ptr<Pending> item) {
    std::lock_guard lock(m_queueLock);
    m_queue.push_back(std::move(item));
    // The wake-up is written under the lock: once the loop can take the item (a quit,
    // say) it may end and close the descriptor, whose number may then belong to
    // another file. The counter only saturates after 2^64 posts.
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(m_wakeFd.Get(), &one, sizeof one);
}

void EventLoop::Post(const Message& message) {
    auto item = std::make_shared<Pending>();
    item->message = message;
    Enqueue(std::move(item));
}

void EventLoop::PostWithinLoop(const Message& message) {
    AssertInLoopThread();
    auto item = std::make_shared<Pending>();
    item->message = message;
    std::lock_guard lock(m_queueLock);
    m_queue.push_back(std::move(item));
}

void EventLoop::PostTask(std::function<void()> task) {
    auto item = std::make_shared<Pending>();
    item->task = std::move(task);
    Enqueue(std::move(item));
}

std::intptr_t EventLoop::Send(const Message& message) {
    if (std::this_thread::get_id() == m_thread) return Handle(message);
    auto item = std::make_shared<Pending>();
    item->message = message;
    item->synchronous = true;
    Enqueue(item);
    std::unique_lock lock(item->doneLock);
    item->doneSignal.wait(lock, [&] { return item->done; });
    return item->result;
}

void EventLoop::ReleaseWaitingSenders() {
    std::deque<std::shared_ptr<Pending>> left;
    {
        std::lock_guard lock(m_queueLock);
        left.swap(m_queue);
    }
    for (auto& item : left)
        if (item->synchronous) item->Complete(0);
}

int EventLoop::RemovePending(int id) {
    std::deque<std::shared_ptr<Pending>> removed;
    {
        std::lock_guard lock(m_queueLock);
        std::deque<std::shared_ptr<Pending>> kept;
        for (auto& item : m_queue) {
            bool match = !item->task && item->message.id == id;
            (match ? removed : kept).push_back(std::move(item));
        }
        m_queue.swap(kept);
    }
    for (auto& item : removed)
        if (item->synchronous) item->Complete(0);
    return static_cast<int>(removed.size());
}

bool EventLoop::IsQuitPending() const {
    if (m_quitTaken) return true;
    std::lock_guard lock(m_queueLock);
    for (const auto& item : m_queue)
        if (!item->task && item->message.id == WM_QUIT) return true;
    return false;
}

EventLoop::TimerId EventLoop::AddTimer(std::chrono::milliseconds period,
                                       std::function<void()> tick) {
    AssertInLoopThread();
    auto timer = std::make_shared<Timer>();
    timer->period = period;
    timer->due = std::chrono::steady_clock::now() + period;
    timer->tick = std::move(tick);
    TimerId id = m_nextTimerId++;
    m_timers.emplace(id, std::move(timer));
    return id;
}

void EventLoop::CancelTimer(TimerId id) {
    auto it = m_timers.find(id);
    if (it == m_timers.end()) return;
    it->second->active = false;  // a pass that holds it skips it
    m_timers.erase(it);
}

void EventLoop::Watch(int fd, short events, IFdWatcher* watcher) {
    auto it = m_watches.find(fd);
    if (it != m_watches.end() && it->second->watcher == watcher) {
        it->second->events = events;
    } else {
        if (it != m_watches.end()) it->second->active = false;
        m_watches[fd] = std::make_shared<WatchEntry>(WatchEntry{fd, events, watcher});
    }
    if (m_watchObserver)
        m_watchObserver(fd, WatchInterest{(events & POLLIN) != 0, (events & POLLOUT) != 0});
}

void EventLoop::Unwatch(int fd) {
    auto it = m_watches.find(fd);
    if (it == m_watches.end()) return;
    it->second->active = false;  // a pass that holds it skips it
    m_watches.erase(it);
    if (m_watchObserver) m_watchObserver(fd, WatchInterest{});
}

void EventLoop::Run() {
    AssertInLoopThread();
    while (!m_quitTaken) RunOnce(std::chrono::milliseconds(60'000));
}

bool EventLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    AssertInLoopThread();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done() && !m_quitTaken) {
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) break;
        RunOnce(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) +
                std::chrono::milliseconds(1));
    }
    return done();
}

void EventLoop::RunOnce(std::chrono::milliseconds timeout) {
    PollAndDispatchSockets(TimeUntilNextTimer(timeout));
    RunDueTimers();
    DrainPosted();
}

std::chrono::milliseconds EventLoop::TimeUntilNextTimer(std::chrono::milliseconds cap) const {
    {
        std::lock_guard lock(m_queueLock);
        if (!m_queue.empty()) return std::chrono::milliseconds(0);
    }
    auto now = std::chrono::steady_clock::now();
    std::chrono::milliseconds wait = cap;
    for (const auto& [id, timer] : m_timers) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(timer->due - now);
        if (left < wait) wait = left;
    }
    return wait < std::chrono::milliseconds(0) ? std::chrono::milliseconds(0) : wait;
}

void EventLoop::PollAndDispatchSockets(std::chrono::milliseconds timeout) {
    std::vector<pollfd> fds;
    std::vector<std::shared_ptr<WatchEntry>> entries;
    fds.reserve(m_watches.size() + 1);
    entries.reserve(m_watches.size());
    fds.push_back(pollfd{m_wakeFd.Get(), POLLIN, 0});
    for (const auto& [fd, entry] : m_watches) {
        fds.push_back(pollfd{fd, entry->events, 0});
        entries.push_back(entry);
    }
    int ready = ::poll(fds.data(), fds.size(), static_cast<int>(timeout.count()));
    if (ready <= 0) return;
    if (fds[0].revents != 0) ClearWake();
    for (std::size_t i = 1; i < fds.size(); ++i) {
        // A handler of this pass may have removed or replaced a later entry, or a nested
        // loop may have consumed its readiness; the entry's flag tells the first, and
        // watchers treat a notification without data as harmless.
        const auto& entry = entries[i - 1];
        if (fds[i].revents != 0 && entry->active) entry->watcher->OnFdReady(fds[i].revents);
    }
}

void EventLoop::ClearWake() {
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t got = ::read(m_wakeFd.Get(), &count, sizeof count);
}

void EventLoop::RunDueTimers() {
    auto now = std::chrono::steady_clock::now();
    std::vector<std::shared_ptr<Timer>> due;
    for (const auto& [id, timer] : m_timers)
        if (timer->due <= now) due.push_back(timer);
    for (auto& timer : due) {
        if (!timer->active) continue;
        // Skip missed periods instead of firing a burst after a long nested wait.
        while (timer->due <= now) timer->due += timer->period;
        timer->tick();
    }
}

void EventLoop::DrainPosted() {
    // Items are taken one at a time so that a nested loop started by one of them
    // handles the rest in their posted order. Only the items present at the start
    // of the pass are taken, so sockets and timers are never starved.
    std::size_t budget;
    {
        std::lock_guard lock(m_queueLock);
        budget = m_queue.size();
    }
    while (budget-- > 0 && !m_quitTaken) {
        std::shared_ptr<Pending> item;
        {
            std::lock_guard lock(m_queueLock);
            if (m_queue.empty()) return;
            item = std::move(m_queue.front());
            m_queue.pop_front();
        }
        Dispatch(*item);
    }
}

void EventLoop::Dispatch(Pending& item) {
    ++m_dispatchCount;
    if (item.task) {
        item.task();
        return;
    }
    if (item.message.id == WM_QUIT) {
        m_quitTaken = true;
        if (item.synchronous) item.Complete(0);
        return;
    }
    std::intptr_t result = Handle(item.message);
    if (item.synchronous) item.Complete(result);
}

std::intptr_t EventLoop::Handle(const Message& message) {
    if (message.target != nullptr) return message.target->HandleMessage(message);
    return m_handler ? m_handler(message) : 0;
}
