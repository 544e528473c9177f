// The audit log in JSON lines ([Log] Json=1): "log/YYYYMMDD.jsonl" beside the daily log,
// the same folder, modes and daily switch, one JSON object per line for each login,
// logout, transfer, deletion, rename, directory change, ban and administrative action.
// Every object starts with "time" (RFC 3339, local time with its offset) and "event".
// Client-chosen text goes through the JSON library: quotes, control bytes and newlines
// are escaped, bytes that are not UTF-8 become U+FFFD, so a line is always one object.
//
// Threads: every method may be called from any thread. A line is written as the daily
// log writes one (one write under the file's lock), so it never holds a session longer.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#include "config/LogFile.h"

// Who an event of a session belongs to.
struct AuditSession {
    std::uint32_t id = 0;
    std::string_view user;  // empty before USER
    std::string_view address;
};

struct AuditTransfer {
    bool upload = false;
    std::string_view path;  // the file on the server's disk
    std::int64_t bytes = 0;
    double seconds = 0;
    std::string_view result;  // "ok", "failed"
    bool tls = false;
};

class CAuditLog {
public:
    CAuditLog() : m_file(".jsonl", "\n") {}
    CAuditLog(const CAuditLog&) = delete;
    CAuditLog& operator=(const CAuditLog&) = delete;

    // Where the files go; `programDir` ends with "/". Before the first event.
    void SetProgramDir(std::string programDir) { m_file.SetBaseDirectory(std::move(programDir)); }
    // Called with the reason when a day's file cannot be opened (once per day).
    void SetErrorReporter(std::function<void(const std::string&)> report) {
        m_report = std::move(report);
    }
    // Off by default; events while off cost one atomic load.
    void SetEnabled(bool enabled) { m_enabled.store(enabled, std::memory_order_relaxed); }
    bool Enabled() const { return m_enabled.load(std::memory_order_relaxed); }

    void Login(const AuditSession& session, bool accepted);
    void Logout(const AuditSession& session);
    void Transfer(const AuditSession& session, const AuditTransfer& transfer);
    // "delete", "remove_directory", "directory_change" with `path`; "rename" with `path`
    // and `target`.
    void PathEvent(const AuditSession& session, std::string_view event, std::string_view path,
                   std::string_view target = {});
    // An address banned for `seconds` after failed logins of `service` ("ftp",
    // "administration API").
    void Ban(std::string_view address, std::int64_t seconds, std::string_view service);
    // An administrator's change: `what` as the log line says it, `by` the front end
    // ("window", "control socket", "network"), `from` the peer's address ("local").
    void AdminAction(std::string_view what, std::string_view by, std::string_view from);

    // Replaces the clock (milliseconds since the epoch), so tests move the day on.
    void SetClock(std::function<std::int64_t()> nowMillis) { m_nowMillis = std::move(nowMillis); }

private:
    friend class CAuditLine;
    void WriteLine(const std::string& text, std::int64_t millis);

    CLogFile m_file;
    std::atomic<bool> m_enabled{false};
    std::function<void(const std::string&)> m_report;
    std::function<std::int64_t()> m_nowMillis;
};

// "2026-12-10T05:02:03.045+01:00": `millis` since the epoch in local time with its offset.
std::string Rfc3339LocalTime(std::int64_t millis);
