// The notifications the server sends to whatever shows it: the window, or the
// console of the headless server.
#pragma once

#include <cstdint>
#include <string>

// Log-line categories passed to OnLogLine.
enum class LogCategory { Server = 0, Received = 1, Reply = 2, Error = 3 };
// What a line means to whoever watches the service (the journal filters by it): failed
// logins and bans are warnings, a start that fails an error, everything else information.
// The values are syslog's priorities.
enum class LogSeverity { Error = 3, Warning = 4, Info = 6 };

class CWindowSink {
public:
    virtual ~CWindowSink() = default;
    // A session sent USER. On the session's thread; must be complete on return.
    virtual void OnSessionAdded(std::uint32_t sessionId, const std::string& userName,
                                const std::string& userAddress) = 0;
    // A session ended. Main thread.
    virtual void OnSessionRemoved(std::uint32_t sessionId, const std::string& userName) = 0;
    // A command line arrived. On the session's thread.
    virtual void OnSessionCommand(std::uint32_t sessionId, const std::string& currentDir,
                                  const std::string& line) = 0;
    // A time-stamped log line. On whichever thread logs; must be complete on return.
    virtual void OnLogLine(LogCategory category, LogSeverity severity, const std::string& line) = 0;
    // Statistics, from the statistics timer on the main thread.
    virtual void OnBytesReceived(std::int64_t total) = 0;
    virtual void OnBytesSent(std::int64_t total) = 0;
    virtual void OnStatistic(int index, std::int64_t value) = 0;
};
