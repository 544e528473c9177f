// A per-thread event loop: a posted-message queue woken through an eventfd, sockets
// dispatched by poll, and periodic timers kept as a deadline list.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Messages.h"
#include "platform/UniqueFd.h"

struct Message;

// An object on a loop's thread that takes messages addressed to it (a hidden window).
class IMessageTarget {
public:
    virtual ~IMessageTarget() = default;
    virtual std::intptr_t HandleMessage(const Message& message) = 0;
};

struct Message {
    int id = 0;
    std::intptr_t wParam = 0;
    std::intptr_t lParam = 0;
    // When set, the message goes to this target instead of the loop's handler. The
    // target must outlive every message addressed to it.
    IMessageTarget* target = nullptr;
};

// What a foreign driver is to wait for on one watched descriptor; neither once it is
// unwatched.
struct WatchInterest {
    bool readable = false;
    bool writable = false;
};

// Receives the socket readiness of one descriptor on the loop's thread.
class IFdWatcher {
public:
    virtual ~IFdWatcher() = default;
    // `revents` as poll reported them.
    virtual void OnFdReady(short revents) = 0;
};

class EventLoop {
public:
    using MessageHandler = std::function<std::intptr_t(const Message&)>;
    using TimerId = std::uint32_t;

    // Binds the loop to the calling thread. Not copyable. When the system gives no
    // descriptor for the wake-up, the loop is not usable (IsUsable): the caller decides.
    EventLoop();
    // As above, with a wake-up descriptor made by CreateWakeFd beforehand, so that a
    // thread's loop can be refused before the thread exists. It must be valid.
    explicit EventLoop(UniqueFd wakeFd);
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // The loop bound to the calling thread, or nullptr.
    static EventLoop* Current();
    // A wake-up descriptor for a loop yet to be made; invalid (errno says why) when the
    // process or the system is out of descriptors.
    static UniqueFd CreateWakeFd();
    // False when the loop has no wake-up descriptor: posts would never wake it.
    bool IsUsable() const { return static_cast<bool>(m_wakeFd); }

    // ---- Safe to call from any thread.

    // Queues a message; it is handled by the message handler on the loop's thread.
    void Post(const Message& message);
    // Queues a task to run on the loop's thread, in order with posted messages.
    void PostTask(std::function<void()> task);
    void PostQuit() { Post(Message{WM_QUIT, 0, 0, nullptr}); }
    // Runs the message handler on the loop's thread and waits until it has returned;
    // gives its result. On the loop's own thread it runs the handler at once. When
    // the loop is destroyed before handling it, the wait ends with result 0.
    std::intptr_t Send(const Message& message);
    // The descriptor that becomes readable when work is posted (for a foreign driver,
    // such as a GUI toolkit's socket notifier).
    int WakeFd() const { return m_wakeFd.Get(); }

    // ---- Loop thread only.

    void SetMessageHandler(MessageHandler handler) { m_handler = std::move(handler); }
    // Runs until the quit message is taken. Returns at once when it already was.
    void Run();
    // Runs the loop (nested allowed) until `done()` is true, the time-out passes or the
    // quit message is taken (which stays pending for the outer loop). Returns done().
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // One pass: waits at most `timeout` for work, then dispatches what is ready.
    void RunOnce(std::chrono::milliseconds timeout);
    // Removes every queued message with this id; returns how many there were.
    int RemovePending(int id);
    // True once the quit message was posted and taken, or is waiting in the queue.
    bool IsQuitPending() const;
    bool QuitTaken() const { return m_quitTaken; }
    // Counts handled messages and tasks; a waiter can tell that something happened.
    std::uint64_t DispatchCount() const { return m_dispatchCount; }

    // A periodic timer; the first tick comes one period from now.
    TimerId AddTimer(std::chrono::milliseconds period, std::function<void()> tick);
    void CancelTimer(TimerId id);

    // Registers `watcher` for `events` (POLLIN, POLLOUT, ...) of `fd`. The watcher must
    // outlive its registration. Registering again replaces the events.
    void Watch(int fd, short events, IFdWatcher* watcher);
    void Unwatch(int fd);
    // For a foreign driver: called after every Watch and Unwatch (with no interest), so
    // it can watch the same descriptors and run a pass when one is ready.
    void SetWatchObserver(std::function<void(int fd, WatchInterest interest)> observer) {
        m_watchObserver = std::move(observer);
    }
    // How long the driver may wait before the next pass is due: 0 when work is queued,
    // else the time to the nearest timer, at most `cap`.
    std::chrono::milliseconds NextPassDelay(std::chrono::milliseconds cap) const {
        return TimeUntilNextTimer(cap);
    }

    // Queues a message as Post does, without writing the wake-up descriptor (two system
    // calls saved on a session's every transfer): the next pass does not wait while
    // items are queued. Only for a loop run by Run, RunUntil or RunOnce; a loop that a
    // foreign driver runs learns of work through the descriptor and needs Post.
    void PostWithinLoop(const Message& message);

    bool IsLoopThread() const { return std::this_thread::get_id() == m_thread; }
    void AssertInLoopThread() const;

private:
    struct Pending;
    struct WatchEntry {
        int fd;
        short events;
        IFdWatcher* watcher;
        bool active = true;
    };
    struct Timer {
        std::chrono::steady_clock::time_point due;
        std::chrono::milliseconds period;
        std::function<void()> tick;
        bool active = true;
    };

    void Enqueue(std::shared_ptr<Pending> item);
    void PollAndDispatchSockets(std::chrono::milliseconds timeout);
    void RunDueTimers();
    void DrainPosted();
    void Dispatch(Pending& item);
    std::intptr_t Handle(const Message& message);
    std::chrono::milliseconds TimeUntilNextTimer(std::chrono::milliseconds cap) const;
    void ClearWake();
    void ReleaseWaitingSenders();

    const std::thread::id m_thread;
    UniqueFd m_wakeFd;
    MessageHandler m_handler;
    std::function<void(int, WatchInterest)> m_watchObserver;

    mutable std::mutex m_queueLock;                // guards m_queue
    std::deque<std::shared_ptr<Pending>> m_queue;  // guarded by m_queueLock

    std::map<int, std::shared_ptr<WatchEntry>> m_watches;  // loop thread only
    std::map<TimerId, std::shared_ptr<Timer>> m_timers;    // loop thread only
    TimerId m_nextTimerId = 1;
    bool m_quitTaken = false;
    std::uint64_t m_dispatchCount = 0;
};
