// The headless server's window sink: every log line goes to standard output, and to
// the day's log file when saving is on. Standard output gets whole lines in batches
// (a write per line cost a system call, and a wake-up of whatever reads the output,
// several times per small file): the owner calls Flush every few tenths of a second,
// and the destructor writes what is left.
#pragma once

#include <memory>
#include <mutex>

#include "server/WindowSink.h"

class CLogFile;

class CConsoleSink : public CWindowSink {
public:
    // `logFile` may be null (saving off). Not owned.
    explicit CConsoleSink(CLogFile* logFile) : m_logFile(logFile) {}
    ~CConsoleSink() override;
    CConsoleSink(const CConsoleSink&) = delete;
    CConsoleSink& operator=(const CConsoleSink&) = delete;
    // Writes the lines kept so far. Any thread.
    void Flush();

    void OnSessionAdded(std::uint32_t, const std::string&, const std::string&) override {}
    void OnSessionRemoved(std::uint32_t, const std::string&) override {}
    void OnSessionCommand(std::uint32_t, const std::string&, const std::string&) override {}
    // Any thread: kept whole, written by the next Flush (at once past a few KiB).
    void OnLogLine(LogCategory category, const std::string& line) override;
    void OnBytesReceived(std::int64_t) override {}
    void OnBytesSent(std::int64_t) override {}
    void OnStatistic(int, std::int64_t) override {}

private:
    void FlushLocked();

    std::mutex m_outputLock;  // keeps lines whole and in order on standard output
    std::string m_pending;
    CLogFile* m_logFile;
};
