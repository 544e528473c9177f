#include "server/LogRing.h"

#include <algorithm>

void CLogRing::Add(const std::string& line) {
    {
        std::lock_guard lock(m_lock);
        m_lines.push_back(line);
        if (m_lines.size() > m_capacity) {
            m_lines.pop_front();
            ++m_first;
        }
    }
    m_added.notify_all();
}

LogRingRead CLogRing::VisitFrom(std::uint64_t from, std::size_t maxLines,
                                std::chrono::milliseconds wait,
                                const std::function<void(const std::string&)>& visit) {
    std::unique_lock lock(m_lock);
    m_added.wait_for(lock, wait, [&] { return m_first + m_lines.size() > from; });
    LogRingRead read;
    if (from < m_first) {
        read.missed = m_first - from;
        from = m_first;
    }
    const std::uint64_t end = m_first + m_lines.size();
    for (std::uint64_t n = from; n < end && read.lines < maxLines; ++n, ++read.lines)
        visit(m_lines[static_cast<std::size_t>(n - m_first)]);
    read.next = from + read.lines;
    return read;
}

std::uint64_t CLogRing::NextNumber() const {
    std::lock_guard lock(m_lock);
    return m_first + m_lines.size();
}

std::vector<std::string> CLogRing::Last(std::size_t count) const {
    std::lock_guard lock(m_lock);
    const std::size_t take = std::min(count, m_lines.size());
    return {m_lines.end() - static_cast<std::ptrdiff_t>(take), m_lines.end()};
}
