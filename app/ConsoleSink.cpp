#include "app/ConsoleSink.h"

#include <cstdio>
#include <string>

#include "config/LogFile.h"
#include "config/LogLine.h"

namespace {

// Lines kept before they are written without waiting for the next Flush.
constexpr std::size_t kPendingBytes = 16 * 1024;

}  // namespace

CConsoleSink::~CConsoleSink() { Flush(); }

void CConsoleSink::OnLogLine(LogCategory /*category*/, LogSeverity severity,
                             const std::string& line) {
    std::lock_guard lock(m_outputLock);
    if (m_toJournal) {
        // The journal reads "<N>" at a line's start as its syslog priority.
        m_pending.append("<")
            .append(std::to_string(static_cast<int>(severity)))
            .append(">")
            .append(LogLineText(line))
            .push_back('\n');
        FlushLocked();
    } else {
        m_pending.append(line).push_back('\n');
        if (m_pending.size() >= kPendingBytes) FlushLocked();
    }
    if (m_logFile != nullptr) (void)m_logFile->WriteLine(line);
}

void CConsoleSink::Flush() {
    std::lock_guard lock(m_outputLock);
    FlushLocked();
}

void CConsoleSink::FlushLocked() {
    if (m_pending.empty()) return;
    std::fwrite(m_pending.data(), 1, m_pending.size(), stdout);
    std::fflush(stdout);
    m_pending.clear();
}
