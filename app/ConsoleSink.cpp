#include "app/ConsoleSink.h"

#include <cstdio>

#include "config/LogFile.h"

void CConsoleSink::OnLogLine(LogCategory /*category*/, const std::string& line) {
    std::lock_guard lock(m_outputLock);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (m_logFile != nullptr) (void)m_logFile->WriteLine(line);
}
