// Failed-login bans: counts failed logins per client address within a window and bans an
// address that reaches the limit for a while, longer for each repeat offence. Kept in
// memory only; a restart lifts every ban.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "config/Options.h"

// The abuse limits of the running server, as option.ini gives them. The defaults are the
// [Security] keys' own.
struct LoginPolicy {
    // Failed logins that ban an address (0: no bans), within this time.
    int banAttempts = DefaultOptions().banAttempts;
    int banWindowSeconds = DefaultOptions().banWindow;
    // First ban; each repeat offence doubles it (at most 32 times).
    int banSeconds = DefaultOptions().banTime;
    // A refused PASS is answered this much later.
    int failDelayMs = DefaultOptions().failDelayMs;
    // Sessions of one address; logged-in sessions of one account (0: unlimited).
    int maxPerAddress = DefaultOptions().maxPerAddress;
    int maxPerUser = DefaultOptions().maxPerUser;
    // A session not logged in by then is closed (0: never).
    int loginTimeoutSeconds = DefaultOptions().loginTimeout;
    // Sessions not logged in, all addresses (0: unlimited).
    int maxNotLoggedIn = DefaultOptions().maxNotLoggedIn;
    // Passwords are stored (and rehashed at login) as hashes.
    bool hashPasswords = DefaultOptions().hashPasswords == 1;

    bool operator==(const LoginPolicy&) const = default;
};

// What a banned address is told, at connect and at PASS, before it is disconnected.
inline constexpr char kBannedReply[] =
    "421 Too many failed logins from your address, try again later.";

// One banned address as the window and tarvona-admin show it.
struct BanEntry {
    std::string address;
    std::int64_t until = 0;  // calendar seconds of the guard's clock
    int offences = 0;        // bans so far, this one included
};

class CLoginGuard {
public:
    using Clock = std::function<std::int64_t()>;  // calendar time in whole seconds

    CLoginGuard();

    // All methods: any thread.

    // Replaces the clock (tests move time on without waiting).
    void SetClock(Clock clock);
    std::int64_t Now() const;
    void SetLimits(int attempts, int windowSeconds, int banSeconds);

    // Seconds the ban of `address` still lasts; 0 when it is not banned.
    std::int64_t BanSecondsLeft(const std::string& address) const;
    // Counts a failed login of `address`. When it reaches the limit the address is
    // banned: the result is the ban's length in seconds, else 0.
    std::int64_t RecordFailure(const std::string& address);
    // A successful login from `address` forgets its failures (not its earlier bans).
    void RecordSuccess(const std::string& address);
    // The bans in force, in address order.
    std::vector<BanEntry> Bans() const;
    // True at most once per kRefusalLogSeconds for each address: the refusals of a
    // reconnecting banned client are logged without flooding the log.
    bool ShouldLogRefusal(const std::string& address);
    // Lifts the ban of `address` and forgets its failures. False when it was not banned.
    bool Lift(const std::string& address);
    // Bans `address` for `seconds` (the administrator's ban): counted as an offence. False
    // when it is banned already or the table is full.
    bool Ban(const std::string& address, std::int64_t seconds);
    // Bans made since start, by failed logins and by the administrator alike.
    std::uint64_t BansSoFar() const { return m_bansSoFar.load(std::memory_order_relaxed); }

private:
    struct Record {
        std::vector<std::int64_t> failures;  // times within the window, oldest first
        std::int64_t bannedUntil = 0;
        int offences = 0;
        std::int64_t lastEvent = 0;
        std::int64_t lastRefusalLogged = 0;
    };
    std::int64_t NowLocked() const { return m_clock(); }
    void ForgetStale(std::int64_t now);  // holds m_lock

    mutable std::mutex m_lock;  // guards everything below
    Clock m_clock;
    // LoginPolicy's defaults from the constructor on, until SetLimits.
    int m_attempts = 0;
    int m_windowSeconds = 0;
    int m_banSeconds = 0;
    std::unordered_map<std::string, Record> m_records;
    std::atomic<std::uint64_t> m_bansSoFar{0};  // read without the lock
};
