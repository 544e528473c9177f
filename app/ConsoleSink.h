// The headless server's window sink: every log line goes to standard output, and to
// the day's log file when saving is on. A terminal or file gets whole lines in batches
// (a write per line cost a system call, and a wake-up of whatever reads the output,
// several times per small file): the owner calls Flush every few tenths of a second,
// and the destructor writes what is left. The journal gets each line at once instead,
// without the line's own time stamp (the journal stamps it as it arrives) and with its
// priority ("<4>" ...), so it can be filtered by severity.
#pragma once

#include <memory>
#include <mutex>

#include "server/WindowSink.h"

class CLogFile;

class CConsoleSink : public CWindowSink {
public:
    // `logFile` may be null (saving off). Not owned. `toJournal`: standard output is the
    // journal's stream.
    CConsoleSink(CLogFile* logFile, bool toJournal) : m_logFile(logFile), m_toJournal(toJournal) {}
    ~CConsoleSink() override;
    CConsoleSink(const CConsoleSink&) = delete;
    CConsoleSink& operator=(const CConsoleSink&) = delete;
    // Writes the lines kept so far. Any thread.
    void Flush();

    void OnSessionAdded(std::uint32_t, const std::string&, const std::string&) override {}
    void OnSessionRemoved(std::uint32_t, const std::string&) override {}
    void OnSessionCommand(std::uint32_t, const std::string&, const std::string&) override {}
    // Any thread: kept whole, written by the next Flush (at once past a few KiB, or to
    // the journal).
    void OnLogLine(LogCategory category, LogSeverity severity, const std::string& line) override;
    void OnBytesReceived(std::int64_t) override {}
    void OnBytesSent(std::int64_t) override {}
    void OnStatistic(int, std::int64_t) override {}

private:
    void FlushLocked();

    std::mutex m_outputLock;  // keeps lines whole and in order on standard output
    std::string m_pending;
    CLogFile* m_logFile;
    bool m_toJournal;
};
