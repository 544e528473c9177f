// Keeps the transfer history on disk: reads stats.sdb at the first start, writes it at
// most once a minute while something changed, at a day change (after summing up the days
// past kHistoryDays) and at the stop. A damaged file never stops the server: it is kept
// aside and a new history begins.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "platform/EventLoop.h"
#include "server/TransferHistory.h"

inline constexpr std::chrono::milliseconds kHistoryWritePeriod{60000};

class CHistoryKeeper {
public:
    // A line for the server log; `warning` for a failure the administrator should see.
    using LogFn = std::function<void(const std::string& text, bool warning)>;

    // `programDir` ends with "/".
    explicit CHistoryKeeper(std::string programDir);
    ~CHistoryKeeper();
    CHistoryKeeper(const CHistoryKeeper&) = delete;
    CHistoryKeeper& operator=(const CHistoryKeeper&) = delete;

    // The counts; any thread.
    CTransferHistory& History() { return m_history; }

    // Main thread (the thread of `loop`). Reads the file when it has not been read yet and
    // starts the minute timer on `loop`.
    void Start(EventLoop& loop, LogFn log);
    // Main thread. Stops the timer and writes what changed.
    void Stop();
    // Main thread. The timer's work: read the file if that is still due (it was busy),
    // sum up old days at a day change, write when anything changed.
    void Tick();

    // Where a damaged file was kept, for tests and messages; empty when none was.
    const std::string& SetAsidePath() const { return m_setAsidePath; }

private:
    void Load();
    void SetAside(const std::string& why);
    void Write();
    void Log(const std::string& text, bool warning) const;

    const std::string m_path;
    CTransferHistory m_history;
    EventLoop* m_loop = nullptr;
    EventLoop::TimerId m_timer = 0;
    LogFn m_log;
    bool m_loaded = false;       // the file was read (or found missing, or set aside)
    bool m_writable = true;      // false once a damaged file could not be set aside
    bool m_writeFailed = false;  // the last write failed: logged once until one succeeds
    std::int32_t m_day = 0;      // the day of the last roll-up
    std::string m_setAsidePath;
};
