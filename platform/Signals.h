// Delivery of the stop signals (SIGINT, SIGTERM), and of SIGHUP where it asks for a
// reload, as ordinary loop events.
#pragma once

#include <functional>
#include <memory>

class EventLoop;

class CStopSignals {
public:
    // Blocks SIGINT and SIGTERM (and SIGHUP with `withReload`) for the calling thread
    // and every thread it starts later, so call it before any other thread exists.
    // Main thread.
    explicit CStopSignals(bool withReload = false);
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    // Calls `onStop` on `loop`'s thread when a stop signal arrives, and `onReload` for
    // SIGHUP (when the constructor took it).
    [[nodiscard]] bool Watch(EventLoop& loop, std::function<void()> onStop,
                             std::function<void()> onReload = {});

private:
    struct Watcher;
    std::unique_ptr<Watcher> m_watcher;
    bool m_withReload = false;
};
