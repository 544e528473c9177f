// The bearer tokens and browser sessions of the administration listener: random 256-bit
// values, each with an expiry, kept in memory only (a restart signs everybody out) and
// bounded in number. A browser session's token has a companion: its CSRF token.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

struct IssuedToken {
    std::string token;         // 64 hex digits; empty when no random bytes could be had
    std::int64_t expires = 0;  // calendar seconds
    std::string companion;     // 64 hex digits when asked for, else empty
};

class CTokenStore {
public:
    using Clock = std::function<std::int64_t()>;  // calendar time in whole seconds

    // All methods: any thread.
    explicit CTokenStore(std::size_t maxTokens = 256);
    void SetClock(Clock clock);

    // A new token valid for `lifetimeSeconds`, with a random companion value when
    // `withCompanion`. When the store is full, the token that expires first makes room.
    IssuedToken Issue(std::int64_t lifetimeSeconds, bool withCompanion = false);
    // True when `token` was issued, has not expired and was not revoked. Its time does not
    // depend on how much of a stored token `token` matches.
    bool IsValid(std::string_view token);
    // IsValid, and `companion` set to the value issued with `token`.
    bool Lookup(std::string_view token, std::string& companion);
    // Forgets `token`; false when it was not valid.
    bool Revoke(std::string_view token);
    std::size_t Count();  // valid tokens

private:
    struct Entry {
        std::string token;
        std::int64_t expires = 0;
        std::string companion;
    };
    void ForgetExpired(std::int64_t now);  // holds m_lock
    // The index of `token`'s entry or -1, looking at every entry.
    std::ptrdiff_t Find(std::string_view token) const;  // holds m_lock

    mutable std::mutex m_lock;  // guards everything below
    Clock m_clock;
    std::size_t m_maxTokens;
    std::vector<Entry> m_entries;
};
