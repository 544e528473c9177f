#include "app/ConsoleSink.h"

#include <cstdio>

#include "config/LogFile.h"

namespace {

// Lines kept before they are written without waiting for the next Flush.
constexpr std::size_t kPendingBytes = 16 * 1024;

}  // namespace

CConsoleSink::~CConsoleSink() { Flush(); }

void CConsoleSink::OnLogLine(LogCategory /*category*/, const std::string& line) {
    std::lock_guard lock(m_outputLock);
    m_pending.append(line).push_back('\n');
    if (m_pending.size() >= kPendingBytes) FlushLocked();
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
