#include "ui/QueuedWindowSink.h"

#include <chrono>

#include "config/LogFile.h"
#include "config/LogLine.h"
#include "platform/Clock.h"

CQueuedWindowSink::CQueuedWindowSink(CLogFile& logFile)
    : m_logFile(logFile), m_clock(&NowSeconds) {}

void CQueuedWindowSink::SetSaveLog(bool save) {
    std::lock_guard lock(m_logOrder);
    m_saveLog = save;
}

bool CQueuedWindowSink::SaveLog() const {
    std::lock_guard lock(m_logOrder);
    return m_saveLog;
}

void CQueuedWindowSink::Push(WindowEvent event) {
    std::lock_guard lock(m_queueLock);
    m_queue.push_back(std::move(event));
}

std::vector<WindowEvent> CQueuedWindowSink::TakeEvents() {
    std::vector<WindowEvent> batch;
    std::lock_guard lock(m_queueLock);
    batch.swap(m_queue);
    return batch;
}

void CQueuedWindowSink::OnSessionAdded(std::uint32_t sessionId, const std::string& userName,
                                       const std::string& userAddress) {
    Push({WindowEvent::Kind::SessionAdded, sessionId, userName, userAddress, 0, 0, m_clock()});
}

void CQueuedWindowSink::OnSessionRemoved(std::uint32_t sessionId, const std::string&) {
    Push({WindowEvent::Kind::SessionRemoved, sessionId, {}, {}, 0, 0, m_clock()});
}

void CQueuedWindowSink::OnSessionCommand(std::uint32_t sessionId, const std::string& currentDir,
                                         const std::string& line) {
    // SECURITY: the online list shows the last command; a password never reaches the screen.
    std::string shown = MaskPassword(line);
    shown.erase(0, 3);  // the ">> " of the log form
    Push({WindowEvent::Kind::SessionCommand, sessionId, currentDir, std::move(shown), 0, 0,
          m_clock()});
}

// The date rule: with saving on, the first saved line of a new day empties the page
// (that line included, so it is not queued) and goes to the new day's file.
void CQueuedWindowSink::OnLogLine(LogCategory, LogSeverity, const std::string& line) {
    std::lock_guard order(m_logOrder);
    if (!m_saveLog) {
        Push({WindowEvent::Kind::LogLine, 0, line, {}, 0, 0, 0});
        return;
    }
    const LogWriteStatus status = m_logFile.WriteLine(line, static_cast<std::time_t>(m_clock()));
    if (status.newDay)
        Push({WindowEvent::Kind::ClearLog, 0, {}, {}, 0, 0, 0});
    else
        Push({WindowEvent::Kind::LogLine, 0, line, {}, 0, 0, 0});
    if (status.openFailed)
        Push({WindowEvent::Kind::LogOpenFailed, 0, m_logFile.GetLastError(), {}, 0, 0, 0});
}

void CQueuedWindowSink::OnBytesReceived(std::int64_t total) {
    Push({WindowEvent::Kind::BytesReceived, 0, {}, {}, total, 0, SteadyMilliseconds()});
}

void CQueuedWindowSink::OnBytesSent(std::int64_t total) {
    Push({WindowEvent::Kind::BytesSent, 0, {}, {}, total, 0, SteadyMilliseconds()});
}

void CQueuedWindowSink::OnStatistic(int index, std::int64_t value) {
    Push({WindowEvent::Kind::Statistic, 0, {}, {}, value, index, 0});
}
