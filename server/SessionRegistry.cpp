#include "server/SessionRegistry.h"

#include <algorithm>

#include "platform/Text.h"

int CSessionRegistry::Add(std::uint32_t id, const std::string& address, std::int64_t now) {
    std::lock_guard lock(m_lock);
    SessionInfo info;
    info.id = id;
    info.address = address;
    info.lastCommand = now;
    m_sessions.push_back(std::move(info));
    return static_cast<int>(
        std::count_if(m_sessions.begin(), m_sessions.end(),
                      [&](const SessionInfo& s) { return s.address == address; }));
}

void CSessionRegistry::Remove(std::uint32_t id) {
    std::lock_guard lock(m_lock);
    std::erase_if(m_sessions, [id](const SessionInfo& s) { return s.id == id; });
}

AdmissionCounts CSessionRegistry::CountFor(const std::string& address) const {
    std::lock_guard lock(m_lock);
    AdmissionCounts counts;
    for (const SessionInfo& s : m_sessions) {
        counts.fromAddress += s.address == address ? 1 : 0;
        counts.notLoggedIn += s.loggedIn ? 0 : 1;
    }
    return counts;
}

bool CSessionRegistry::LogIn(std::uint32_t id, const std::string& user, int maxPerUser) {
    std::lock_guard lock(m_lock);
    SessionInfo* self = Find(id);
    if (self == nullptr) return false;
    const auto others =
        std::count_if(m_sessions.begin(), m_sessions.end(), [&](const SessionInfo& s) {
            return s.id != id && s.loggedIn && EqualsNoCase(s.user, user);
        });
    if (maxPerUser > 0 && others >= maxPerUser) return false;
    self->user = user;
    self->loggedIn = true;
    return true;
}

void CSessionRegistry::NoteCommand(std::uint32_t id, const std::string& user,
                                   const std::string& directory, bool loggedIn, std::int64_t now) {
    std::lock_guard lock(m_lock);
    SessionInfo* self = Find(id);
    if (self == nullptr) return;
    self->user = user;
    self->directory = directory;
    // LogIn marks the session first; the login's own line sets the time.
    if (!loggedIn)
        self->loginTime = 0;
    else if (self->loginTime == 0)
        self->loginTime = now;
    self->loggedIn = loggedIn;
    self->lastCommand = now;
}

void CSessionRegistry::NoteCommandLine(std::uint32_t id, std::string shownLine) {
    std::lock_guard lock(m_lock);
    if (SessionInfo* self = Find(id)) self->lastLine = std::move(shownLine);
}

std::vector<SessionInfo> CSessionRegistry::Snapshot() const {
    std::lock_guard lock(m_lock);
    return m_sessions;
}

SessionInfo* CSessionRegistry::Find(std::uint32_t id) {
    for (SessionInfo& s : m_sessions)
        if (s.id == id) return &s;
    return nullptr;
}
