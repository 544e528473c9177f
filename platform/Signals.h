// Delivery of the stop signals (SIGINT, SIGTERM) as an ordinary loop event.
#pragma once

#include <functional>
#include <memory>

class EventLoop;

class CStopSignals {
public:
    // Blocks SIGINT and SIGTERM for the calling thread and every thread it starts
    // later, so call it before any other thread exists. Main thread.
    CStopSignals();
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    // Calls `onSignal` on `loop`'s thread when either signal arrives.
    [[nodiscard]] bool Watch(EventLoop& loop, std::function<void()> onSignal);

private:
    struct Watcher;
    std::unique_ptr<Watcher> m_watcher;
};
