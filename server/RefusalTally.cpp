#include "server/RefusalTally.h"

#include <cstring>

#include "platform/StringFormat.h"

void CRefusalTally::Count(AcceptRefusal reason, int error) {
    ++m_counts[static_cast<std::size_t>(reason)];
    if (reason == AcceptRefusal::NoSession) m_lastError = error;
}

std::string CRefusalTally::TakeSummary() {
    static constexpr std::array<const char*, kReasons> kWhy = {
        "over the user limit",
        "from addresses at their limit",
        "over the limit of clients not logged in",
        "with no thread or descriptor for a session",
        "closed at once at the descriptor limit",
    };
    int total = 0;
    std::string parts;
    for (std::size_t i = 0; i < kReasons; ++i) {
        if (m_counts[i] == 0) continue;
        total += m_counts[i];
        parts += StringFormat("%s%d %s", parts.empty() ? "" : ", ", m_counts[i], kWhy[i]);
        if (i == static_cast<std::size_t>(AcceptRefusal::NoSession))
            parts += StringFormat(" (%s)", std::strerror(m_lastError));
    }
    m_counts.fill(0);
    if (total == 0) return "";
    return StringFormat("Refused %d connection%s: %s.", total, total == 1 ? "" : "s",
                        parts.c_str());
}
