#include "tests/support/RecordingSink.h"

namespace {
// Log lines are "[date time]  text".
std::string TextOf(const std::string& line) {
    const auto mark = line.find("]  ");
    return mark == std::string::npos ? line : line.substr(mark + 3);
}
}  // namespace

void RecordingSink::OnSessionAdded(std::uint32_t, const std::string&, const std::string&) {}

void RecordingSink::OnSessionRemoved(std::uint32_t, const std::string&) {
    std::lock_guard lock(m_lock);
    ++m_sessionsRemoved;
    m_changed.notify_all();
}

void RecordingSink::OnSessionCommand(std::uint32_t, const std::string&, const std::string& line) {
    std::lock_guard lock(m_lock);
    m_commandLines.push_back(line);
}

void RecordingSink::OnLogLine(LogCategory, LogSeverity, const std::string& line) {
    std::lock_guard lock(m_lock);
    if (m_discardLogs) {
        ++m_discardedLogs;
        return;
    }
    m_logTexts.push_back(TextOf(line));
    m_changed.notify_all();
}

void RecordingSink::OnBytesReceived(std::int64_t) {}

void RecordingSink::OnBytesSent(std::int64_t) {
    std::lock_guard lock(m_lock);
    ++m_statisticTicks;
}

void RecordingSink::OnStatistic(int, std::int64_t) {}

std::vector<std::string> RecordingSink::CommandLines() const {
    std::lock_guard lock(m_lock);
    return m_commandLines;
}

std::vector<std::string> RecordingSink::LogTexts() const {
    std::lock_guard lock(m_lock);
    return m_logTexts;
}

std::size_t RecordingSink::LogCount() const {
    std::lock_guard lock(m_lock);
    return m_logTexts.size() + m_discardedLogs;
}

bool RecordingSink::WaitForLog(const std::string& text, std::chrono::milliseconds deadline,
                               std::size_t from) const {
    std::unique_lock lock(m_lock);
    return m_changed.wait_for(lock, deadline, [&] {
        for (std::size_t i = from; i < m_logTexts.size(); ++i)
            if (m_logTexts[i] == text) return true;
        return false;
    });
}

std::size_t RecordingSink::CountLog(const std::string& text) const {
    std::lock_guard lock(m_lock);
    std::size_t count = 0;
    for (const auto& t : m_logTexts) count += t == text ? 1 : 0;
    return count;
}

std::size_t RecordingSink::SessionsRemoved() const {
    std::lock_guard lock(m_lock);
    return m_sessionsRemoved;
}

std::size_t RecordingSink::StatisticTicks() const {
    std::lock_guard lock(m_lock);
    return m_statisticTicks;
}

void RecordingSink::DiscardLogs() {
    std::lock_guard lock(m_lock);
    m_discardLogs = true;
}
