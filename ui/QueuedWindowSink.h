// The window's CWindowSink: every notification becomes one event in a single ordered
// queue, which the window takes in batches on its own thread. No caller ever waits for
// the window, so a busy or modal window never slows a session and nothing can deadlock;
// a session's "added" and "removed" share the queue, so its row never outlives it.
// Log lines are saved to the day's file here, on the caller's thread, in queue order.
// Qt-free.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "server/WindowSink.h"

class CLogFile;

struct WindowEvent {
    enum class Kind {
        SessionAdded,    // sessionId, text = user, detail = address, when = login time
        SessionRemoved,  // sessionId
        SessionCommand,  // sessionId, text = current directory, detail = line (PASS masked)
        LogLine,         // text = the time-stamped line
        ClearLog,        // a saved line began a new day: the log page empties
        LogOpenFailed,   // text = "Cannot create or open file: '<path>'"
        BytesReceived,   // value = total, when = steady-clock milliseconds of the figure
        BytesSent,       // value = total, when = steady-clock milliseconds of the figure
        Statistic,       // index, value
    };
    Kind kind = Kind::LogLine;
    std::uint32_t sessionId = 0;
    std::string text;
    std::string detail;
    std::int64_t value = 0;
    int index = 0;
    std::int64_t when = 0;  // seconds since the epoch, from the sink's clock (see above)
};

class CQueuedWindowSink : public CWindowSink {
public:
    using Clock = std::function<std::int64_t()>;  // seconds since the epoch

    // `logFile` is the day's log file, opened by the caller; not owned.
    explicit CQueuedWindowSink(CLogFile& logFile);

    // Whether log lines are saved to the file (and a new date empties the page). Any thread.
    void SetSaveLog(bool save);
    bool SaveLog() const;
    // Replaces the wall clock that dates logins and commands and decides the day of a
    // saved line. Call before the server starts.
    void SetClock(Clock clock) { m_clock = std::move(clock); }
    std::int64_t Now() const { return m_clock(); }

    // Every event queued so far, oldest first; the queue is then empty. Window thread.
    std::vector<WindowEvent> TakeEvents();

    void OnSessionAdded(std::uint32_t sessionId, const std::string& userName,
                        const std::string& userAddress) override;
    void OnSessionRemoved(std::uint32_t sessionId, const std::string& userName) override;
    void OnSessionCommand(std::uint32_t sessionId, const std::string& currentDir,
                          const std::string& line) override;
    void OnLogLine(LogCategory category, LogSeverity severity, const std::string& line) override;
    void OnBytesReceived(std::int64_t total) override;
    void OnBytesSent(std::int64_t total) override;
    void OnStatistic(int index, std::int64_t value) override;

private:
    void Push(WindowEvent event);

    CLogFile& m_logFile;
    Clock m_clock;
    mutable std::mutex m_logOrder;  // keeps file writes and their queue events in one order
    bool m_saveLog = false;         // guarded by m_logOrder
    std::mutex m_queueLock;         // guards m_queue
    std::vector<WindowEvent> m_queue;
};
