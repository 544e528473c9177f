// The headless server's window sink: every log line goes to standard output, and to
// the day's log file when saving is on.
#pragma once

#include <memory>
#include <mutex>

#include "server/WindowSink.h"

class CLogFile;

class CConsoleSink : public CWindowSink {
public:
    // `logFile` may be null (saving off). Not owned.
    explicit CConsoleSink(CLogFile* logFile) : m_logFile(logFile) {}

    void OnSessionAdded(std::uint32_t, const std::string&, const std::string&) override {}
    void OnSessionRemoved(std::uint32_t, const std::string&) override {}
    void OnSessionCommand(std::uint32_t, const std::string&, const std::string&) override {}
    // Any thread: one whole line at a time, flushed.
    void OnLogLine(LogCategory category, const std::string& line) override;
    void OnBytesReceived(std::int64_t) override {}
    void OnBytesSent(std::int64_t) override {}
    void OnStatistic(int, std::int64_t) override {}

private:
    std::mutex m_outputLock;  // keeps lines whole on standard output
    CLogFile* m_logFile;
};
