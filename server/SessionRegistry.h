// What the controller knows of every open session, for the per-address and per-user
// limits and for the administrator's session list: address, user, directory and the
// time of the last complete command line. Each session updates its own entry.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct SessionInfo {
    std::uint32_t id = 0;  // the session id (thread identifier)
    std::string address;
    std::string user;  // the last USER argument; empty before USER
    bool loggedIn = false;
    std::string directory;
    std::int64_t lastCommand = 0;  // calendar seconds
    std::int64_t loginTime = 0;    // calendar seconds of the login; 0 before
    std::string lastLine;          // the last command line, PASS masked, controls replaced
};

// What admitting one more session from an address would be measured against.
struct AdmissionCounts {
    int fromAddress = 0;  // open sessions from that address
    int notLoggedIn = 0;  // open sessions not logged in, from every address
};

class CSessionRegistry {
public:
    // All methods: any thread.

    // Adds session `id` from `address`; the result is how many sessions that address
    // holds now, this one included.
    int Add(std::uint32_t id, const std::string& address, std::int64_t now);
    void Remove(std::uint32_t id);
    AdmissionCounts CountFor(const std::string& address) const;
    // Marks `id` logged in as `user` unless `maxPerUser` (> 0) sessions are logged in as
    // that user (letter case ignored, as the "userid" key does) already. False then.
    bool LogIn(std::uint32_t id, const std::string& user, int maxPerUser);
    // A command line has run: user, directory and whether logged in are as given.
    void NoteCommand(std::uint32_t id, const std::string& user, const std::string& directory,
                     bool loggedIn, std::int64_t now);
    // `id`'s last command line as the log shows it (PASS masked).
    void NoteCommandLine(std::uint32_t id, std::string shownLine);
    std::vector<SessionInfo> Snapshot() const;

private:
    SessionInfo* Find(std::uint32_t id);  // holds m_lock

    mutable std::mutex m_lock;            // guards m_sessions
    std::vector<SessionInfo> m_sessions;  // few: bounded by the connection limits
};
