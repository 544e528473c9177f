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
    m_file.Reset();
}

std::string CLogFile::GetPath() const {
    std::lock_guard lock(m_lock);
    return m_path;
}

std::string CLogFile::GetLastError() const {
    std::lock_guard lock(m_lock);
    return m_lastError;
}

std::string CLogFile::PathFor(const std::string& programDir, std::time_t when,
                              const std::string& extension) {
    const std::tm t = LocalTime(when);
    char name[64];
    std::snprintf(name, sizeof name, "log/%04d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    return programDir + name + extension;
}

bool CLogFile::ReopenLocked(std::time_t when) {
    m_day = DayKey(when);
    (void)MakePrivateDirectory(m_baseDir + "log");  // a failure shows at the open
    return OpenLocked(PathFor(m_baseDir, when, m_extension));
}

bool CLogFile::OpenLocked(const std::string& path) {
    m_path = path;
    m_file.Reset(OpenPrivateForAppend(path));
    if (!m_file) {
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
    if (!m_file) return status;
    std::string whole(line);
    whole += m_lineEnd;
    // One write per line (O_APPEND): lines are never torn or interleaved in the file.
    status.written = WriteAllToFile(m_file.Get(), whole);
    if (!status.written) m_lastError = "cannot write to '" + m_path + "'";
    return status;
}
