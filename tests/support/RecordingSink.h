// A window sink for tests: records every notification, from any thread, and lets a
// test wait for a log line with a deadline.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "server/WindowSink.h"

class RecordingSink : public CWindowSink {
public:
    void OnSessionAdded(std::uint32_t, const std::string&, const std::string&) override;
    void OnSessionRemoved(std::uint32_t sessionId, const std::string& userName) override;
    void OnSessionCommand(std::uint32_t, const std::string&, const std::string&) override;
    void OnLogLine(LogCategory category, LogSeverity severity, const std::string& line) override;
    void OnBytesReceived(std::int64_t total) override;
    void OnBytesSent(std::int64_t total) override;
    void OnStatistic(int index, std::int64_t value) override;

    // Log texts without their time stamp, in the order they were made.
    std::vector<std::string> LogTexts() const;
    std::size_t LogCount() const;
    // Waits until a log text equal to `text` exists among the texts from index `from`
    // on; false when the deadline passes first.
    bool WaitForLog(const std::string& text, std::chrono::milliseconds deadline,
                    std::size_t from = 0) const;
    // The command lines handed to OnSessionCommand, in order.
    std::vector<std::string> CommandLines() const;
    // How many log texts equal `text`.
    std::size_t CountLog(const std::string& text) const;
    std::size_t SessionsRemoved() const;
    // Number of statistics timer ticks seen (one OnBytesSent per tick).
    std::size_t StatisticTicks() const;
    // Keeps no more log texts from now on (long benchmark runs); LogCount still counts.
    void DiscardLogs();

private:
    mutable std::mutex m_lock;  // guards everything below
    mutable std::condition_variable m_changed;
    std::vector<std::string> m_logTexts;
    std::vector<std::string> m_commandLines;
    std::size_t m_sessionsRemoved = 0;
    std::size_t m_statisticTicks = 0;
    std::size_t m_discardedLogs = 0;
    bool m_discardLogs = false;
};
