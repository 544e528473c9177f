#include "server/LoginGuard.h"

#include <algorithm>

#include "platform/Clock.h"
#include "server/Limits.h"

CLoginGuard::CLoginGuard() : m_clock([] { return NowSeconds(); }) {
    const LoginPolicy defaults;
    SetLimits(defaults.banAttempts, defaults.banWindowSeconds, defaults.banSeconds);
}

void CLoginGuard::SetClock(Clock clock) {
    std::lock_guard lock(m_lock);
    m_clock = std::move(clock);
}

std::int64_t CLoginGuard::Now() const {
    std::lock_guard lock(m_lock);
    return NowLocked();
}

void CLoginGuard::SetLimits(int attempts, int windowSeconds, int banSeconds) {
    std::lock_guard lock(m_lock);
    m_attempts = std::max(attempts, 0);
    m_windowSeconds = std::max(windowSeconds, 1);
    m_banSeconds = std::max(banSeconds, 1);
}

std::int64_t CLoginGuard::BanSecondsLeft(const std::string& address) const {
    std::lock_guard lock(m_lock);
    const auto it = m_records.find(address);
    if (it == m_records.end()) return 0;
    return std::max<std::int64_t>(it->second.bannedUntil - NowLocked(), 0);
}

std::int64_t CLoginGuard::RecordFailure(const std::string& address) {
    std::lock_guard lock(m_lock);
    if (m_attempts == 0) return 0;
    const std::int64_t now = NowLocked();
    // SECURITY: an attacker with many addresses cannot make this table grow without end.
    if (m_records.size() >= kMaxTrackedAddresses && m_records.count(address) == 0) {
        ForgetStale(now);
        if (m_records.size() >= kMaxTrackedAddresses) return 0;
    }
    Record& record = m_records[address];
    record.lastEvent = now;
    if (record.bannedUntil > now) return 0;  // a session opened before the ban goes on failing
    std::erase_if(record.failures, [&](std::int64_t t) { return t <= now - m_windowSeconds; });
    record.failures.push_back(now);
    if (static_cast<int>(record.failures.size()) < m_attempts) return 0;
    record.failures.clear();
    // A repeat offender is banned twice as long each time, up to kMaxBanDoublings times.
    const int doublings = std::min(record.offences, kMaxBanDoublings);
    ++record.offences;
    const std::int64_t length = static_cast<std::int64_t>(m_banSeconds) << doublings;
    record.bannedUntil = now + length;
    m_bansSoFar.fetch_add(1, std::memory_order_relaxed);
    return length;
}

void CLoginGuard::RecordSuccess(const std::string& address) {
    std::lock_guard lock(m_lock);
    const auto it = m_records.find(address);
    if (it != m_records.end()) it->second.failures.clear();
}

std::vector<BanEntry> CLoginGuard::Bans() const {
    std::lock_guard lock(m_lock);
    const std::int64_t now = NowLocked();
    std::vector<BanEntry> bans;
    for (const auto& [address, record] : m_records)
        if (record.bannedUntil > now)
            bans.push_back({address, record.bannedUntil, record.offences});
    std::sort(bans.begin(), bans.end(),
              [](const BanEntry& a, const BanEntry& b) { return a.address < b.address; });
    return bans;
}

bool CLoginGuard::ShouldLogRefusal(const std::string& address) {
    std::lock_guard lock(m_lock);
    const auto it = m_records.find(address);
    if (it == m_records.end()) return false;
    const std::int64_t now = NowLocked();
    if (it->second.lastRefusalLogged > now - kRefusalLogSeconds) return false;
    it->second.lastRefusalLogged = now;
    return true;
}

bool CLoginGuard::Lift(const std::string& address) {
    std::lock_guard lock(m_lock);
    const auto it = m_records.find(address);
    if (it == m_records.end() || it->second.bannedUntil <= NowLocked()) return false;
    it->second.bannedUntil = 0;
    it->second.failures.clear();
    return true;
}

bool CLoginGuard::Ban(const std::string& address, std::int64_t seconds) {
    std::lock_guard lock(m_lock);
    const std::int64_t now = NowLocked();
    if (m_records.size() >= kMaxTrackedAddresses && m_records.count(address) == 0) {
        ForgetStale(now);
        if (m_records.size() >= kMaxTrackedAddresses) return false;
    }
    Record& record = m_records[address];
    if (record.bannedUntil > now) return false;
    record.lastEvent = now;
    record.failures.clear();
    ++record.offences;
    record.bannedUntil = now + std::max<std::int64_t>(seconds, 1);
    m_bansSoFar.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void CLoginGuard::ForgetStale(std::int64_t now) {
    // Offences are remembered for a day after the last event, so a repeat offender who
    // waits out one ban still gets a longer one.
    std::erase_if(m_records, [&](const auto& entry) {
        const Record& r = entry.second;
        return r.bannedUntil <= now && r.lastEvent <= now - kOffenceMemorySeconds;
    });
    if (m_records.size() < kMaxTrackedAddresses) return;
    std::erase_if(m_records, [&](const auto& entry) { return entry.second.bannedUntil <= now; });
}
