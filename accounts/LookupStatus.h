// What a look-up in (or a change of) the account tables came to, as one value with a
// kind: found, not found, busy or failed. Busy means another holder kept a table's lock
// past the bounded wait (db/Limits.h kTableLockWait): nothing can be said about the
// account right now, and a command that needs it answers that it is busy rather than
// taking the account as missing. Failed means a table could not be read or written.
#pragma once

#include <string>
#include <utility>

class [[nodiscard]] LookupStatus {
public:
    enum class Kind { Found, NotFound, Busy, Failed };

    // Found.
    LookupStatus() = default;

    static LookupStatus Found() { return {}; }
    static LookupStatus NotFound(std::string message = {}) {
        return {Kind::NotFound, std::move(message)};
    }
    static LookupStatus Busy(std::string message = {}) { return {Kind::Busy, std::move(message)}; }
    static LookupStatus Failed(std::string message = {}) {
        return {Kind::Failed, std::move(message)};
    }

    Kind kind() const { return m_kind; }
    // Found (or, for a change, done).
    bool ok() const { return m_kind == Kind::Found; }
    bool IsNotFound() const { return m_kind == Kind::NotFound; }
    bool IsBusy() const { return m_kind == Kind::Busy; }
    bool IsFailed() const { return m_kind == Kind::Failed; }
    // What went wrong, for a log line or an error message; may be empty.
    const std::string& message() const { return m_message; }

private:
    LookupStatus(Kind kind, std::string message) : m_kind(kind), m_message(std::move(message)) {}

    Kind m_kind = Kind::Found;
    std::string m_message;
};
