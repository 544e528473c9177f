// Runs the [Hooks] actions of events, off every session's thread: a bounded queue and
// worker threads, at most `concurrency` actions at once, each bounded by the time-out.
// A session only queues; a full queue drops the event (counted and logged), so a slow or
// hanging hook never slows a transfer.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/HookEvent.h"
#include "server/HookSettings.h"
#include "server/WindowSink.h"

class CHookDispatcher {
public:
    // Writes one log line; called from any thread, never with the queue's lock held.
    using LogFunction = std::function<void(LogSeverity, const std::string&)>;

    explicit CHookDispatcher(LogFunction log);
    // Shutdown.
    ~CHookDispatcher();
    CHookDispatcher(const CHookDispatcher&) = delete;
    CHookDispatcher& operator=(const CHookDispatcher&) = delete;

    // Takes `settings` for the events posted from now on; actions running keep theirs.
    // Workers are added when the concurrency grows; surplus ones wait. Any thread.
    void Configure(HookSettings settings);
    // Starts the workers (once; later calls do nothing). Events posted before wait for
    // them. Any thread.
    void StartWorkers();
    // Queues `event` (its time set now) when it has an action. Never waits for an
    // action: beyond the queue bound the event is dropped, counted and logged. False when
    // dropped. Any thread.
    bool Post(HookEvent event);
    // Whether events of `kind` have an action now, so a caller can skip gathering their
    // facts. Any thread.
    bool HasAction(HookEventKind kind) const;
    // Lets the workers run what is queued for at most one action time-out (what is left
    // then is dropped and counted), waits for the running actions (each bounded by the
    // time-out) and joins the workers. Posting afterwards drops. Any thread but a worker.
    void Shutdown();

    // Events dropped since construction. Any thread.
    std::uint64_t DroppedEvents() const { return m_droppedTotal.load(); }
    // Waits until nothing is queued or running, at most `limit`; false at the limit. For
    // a caller that needs the actions done (a stop, a test). Any thread but a worker.
    [[nodiscard]] bool WaitUntilIdle(std::chrono::milliseconds limit);

private:
    struct Job {
        HookEvent event;
        std::shared_ptr<const HookSettings> settings;  // as they were when it was posted
    };
    // Starts up to `count` more workers; when the system refuses a thread, the text to log.
    std::string AddWorkersLocked(std::size_t count);
    void WorkerLoop(std::size_t index);
    // True with `job` taken, false when the worker is to end. Waits while there is
    // nothing to do or the worker is beyond the concurrency.
    bool TakeJob(std::size_t index, Job& job);
    void Run(const Job& job);
    void RunProgram(const Job& job);
    void PostToUrl(const Job& job);
    // Sleeps `wait` unless a shutdown begins meanwhile; false then.
    bool BackOff(std::chrono::milliseconds wait);
    void LogDrop(const HookEvent& event, std::size_t queued);
    void LogDropSummary();

    const LogFunction m_log;
    mutable std::mutex m_lock;        // guards everything below up to m_workers
    std::condition_variable m_ready;  // an event queued, the concurrency changed, a shutdown
    std::condition_variable m_idle;   // the queue emptied and nothing runs
    std::shared_ptr<const HookSettings> m_settings;
    std::deque<Job> m_queue;
    std::size_t m_running = 0;
    bool m_started = false;
    bool m_shuttingDown = false;
    std::chrono::steady_clock::time_point m_shutdownDeadline;
    std::uint64_t m_droppedUnlogged = 0;  // drops of this burst not in a log line yet
    std::vector<std::thread> m_workers;   // joined by Shutdown only

    std::atomic<std::uint64_t> m_droppedTotal{0};
    std::atomic<bool> m_cancel{false};  // ends running HTTP requests at the shutdown deadline
};
