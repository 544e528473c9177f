#include "server/AuditLog.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "platform/Clock.h"

namespace {

std::int64_t SystemMillis() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The text as JSON holds it: the library escapes it when the line is dumped.
std::string Text(std::string_view text) { return std::string(text); }

nlohmann::ordered_json SessionFields(const AuditSession& session) {
    return {
        {"session", session.id}, {"user", Text(session.user)}, {"address", Text(session.address)}};
}

}  // namespace

// Builds one line: "time" and "event" first, then the event's fields in order.
class CAuditLine {
public:
    CAuditLine(CAuditLog& log, std::string_view event) : m_log(log) {
        m_millis = log.m_nowMillis ? log.m_nowMillis() : SystemMillis();
        m_object["time"] = Rfc3339LocalTime(m_millis);
        m_object["event"] = Text(event);
    }
    CAuditLine& Add(const nlohmann::ordered_json& fields) {
        for (const auto& [name, value] : fields.items()) m_object[name] = value;
        return *this;
    }
    void Write() {
        // SECURITY: a name that is not UTF-8 is replaced, never an exception that ends the
        // session; the library escapes quotes, backslashes and every control byte.
        m_log.WriteLine(m_object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                        m_millis);
    }

private:
    CAuditLog& m_log;
    std::int64_t m_millis = 0;
    nlohmann::ordered_json m_object;
};

void CAuditLog::Login(const AuditSession& session, bool accepted) {
    if (!Enabled()) return;
    CAuditLine(*this, "login")
        .Add(SessionFields(session))
        .Add({{"result", accepted ? "ok" : "refused"}})
        .Write();
}

void CAuditLog::Logout(const AuditSession& session) {
    if (!Enabled()) return;
    CAuditLine(*this, "logout").Add(SessionFields(session)).Write();
}

void CAuditLog::Transfer(const AuditSession& session, const AuditTransfer& transfer) {
    if (!Enabled()) return;
    CAuditLine(*this, "transfer")
        .Add(SessionFields(session))
        .Add({{"direction", transfer.upload ? "upload" : "download"},
              {"path", Text(transfer.path)},
              {"bytes", transfer.bytes},
              {"duration_seconds", transfer.seconds},
              {"result", Text(transfer.result)},
              {"tls", transfer.tls}})
        .Write();
}

void CAuditLog::PathEvent(const AuditSession& session, std::string_view event,
                          std::string_view path, std::string_view target) {
    if (!Enabled()) return;
    CAuditLine line(*this, event);
    line.Add(SessionFields(session)).Add({{"path", Text(path)}});
    if (!target.empty()) line.Add({{"target", Text(target)}});
    line.Write();
}

void CAuditLog::Ban(std::string_view address, std::int64_t seconds, std::string_view service) {
    if (!Enabled()) return;
    CAuditLine(*this, "ban")
        .Add({{"address", Text(address)}, {"seconds", seconds}, {"service", Text(service)}})
        .Write();
}

void CAuditLog::AdminAction(std::string_view what, std::string_view by, std::string_view from) {
    if (!Enabled()) return;
    CAuditLine(*this, "admin")
        .Add({{"action", Text(what)}, {"by", Text(by)}, {"from", Text(from)}})
        .Write();
}

void CAuditLog::WriteLine(const std::string& text, std::int64_t millis) {
    const LogWriteStatus status = m_file.WriteLine(text, static_cast<std::time_t>(millis / 1000));
    // Once per day that cannot be opened, as the daily log; a failed write loses its line.
    if (status.openFailed && m_report) m_report("Audit log: " + m_file.GetLastError());
}

std::string Rfc3339LocalTime(std::int64_t millis) {
    const std::int64_t seconds = millis >= 0 ? millis / 1000 : (millis - 999) / 1000;
    const std::tm t = LocalTime(seconds);
    const long offset = t.tm_gmtoff;
    // A zone's offset is under a day; the bound keeps the field two digits whatever tm holds.
    const int offsetMinutes = static_cast<int>(std::min(std::labs(offset) / 60, 24L * 60 - 1));
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                  t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                  static_cast<int>(millis - seconds * 1000), offset < 0 ? '-' : '+',
                  offsetMinutes / 60, offsetMinutes % 60);
    return text;
}
