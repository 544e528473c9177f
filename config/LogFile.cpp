#include "config/LogFile.h"

#include <cstdio>

#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace {

int DayKey(std::time_t when) {
    const std::tm t = LocalTime(when);
    return (t.tm_year + 1900) * 10000 + (t.tm_mon + 1) * 100 + t.tm_mday;
}

}  // namespace

void CLogFile::SetBaseDirectory(std::string programDir) {
    std::lock_guard lock(m_lock);
    m_baseDir = std::move(programDir);
}

bool CLogFile::ReopenForToday() { return ReopenFor(static_cast<std::time_t>(NowSeconds())); }

bool CLogFile::ReopenFor(std::time_t when) {
    std::lock_guard lock(m_lock);
    return ReopenLocked(when);
}

LogWriteStatus CLogFile::WriteLine(std::string_view line) {
    std::lock_guard lock(m_lock);
    // The time is taken under the lock so a later line never carries an earlier date back.
    return WriteLocked(line, static_cast<std::time_t>(NowSeconds()));
}

LogWriteStatus CLogFile::WriteLine(std::string_view line, std::time_t when) {
    std::lock_guard lock(m_lock);
    return WriteLocked(line, when);
}

void CLogFile::Close() {
    std::lock_guard lock(m_lock);
    if (m_stream.is_open()) m_stream.close();
}

std::string CLogFile::GetPath() const {
    std::lock_guard lock(m_lock);
    return m_path;
}

std::string CLogFile::GetLastError() const {
    std::lock_guard lock(m_lock);
    return m_lastError;
}

std::string CLogFile::PathFor(const std::string& programDir, std::time_t when) {
    const std::tm t = LocalTime(when);
    char name[64];
    std::snprintf(name, sizeof name, "log/%04d%02d%02d.txt", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday);
    return programDir + name;
}

bool CLogFile::ReopenLocked(std::time_t when) {
    m_day = DayKey(when);
    (void)MakeDirectories(m_baseDir + "log");  // a failure shows at the open
    return OpenLocked(PathFor(m_baseDir, when));
}

bool CLogFile::OpenLocked(const std::string& path) {
    if (m_stream.is_open()) m_stream.close();
    m_stream.clear();
    m_path = path;
    m_stream.open(path, std::ios::out | std::ios::app | std::ios::binary);
    if (!m_stream.is_open()) {
        m_lastError = "Cannot create or open file: '" + path + "'";
        return false;
    }
    return true;
}

LogWriteStatus CLogFile::WriteLocked(std::string_view line, std::time_t when) {
    LogWriteStatus status;
    const int day = DayKey(when);
    if (day != m_day) {
        status.newDay = m_day != 0;
        status.openFailed = !ReopenLocked(when);
    }
    if (!m_stream.is_open()) return status;
    std::string whole(line);
    whole += "\r\n";
    m_stream.write(whole.data(), static_cast<std::streamsize>(whole.size()));
    m_stream.flush();
    status.written = static_cast<bool>(m_stream);
    if (!status.written) {
        m_lastError = "cannot write to '" + m_path + "'";
        m_stream.clear();  // the next line gets its own chance
    }
    return status;
}
