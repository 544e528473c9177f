#include "api/TokenStore.h"

#include <algorithm>

#include "accounts/PasswordHash.h"
#include "platform/Clock.h"
#include "platform/Random.h"

namespace {

constexpr std::size_t kTokenBytes = 32;

std::string RandomHex(std::size_t bytes) {
    std::vector<unsigned char> raw(bytes);
    if (!FillRandom(raw.data(), raw.size())) return {};
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char b : raw) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

}  // namespace

CTokenStore::CTokenStore(std::size_t maxTokens)
    : m_clock(NowSeconds), m_maxTokens(std::max<std::size_t>(maxTokens, 1)) {}

void CTokenStore::SetClock(Clock clock) {
    std::lock_guard lock(m_lock);
    m_clock = std::move(clock);
}

void CTokenStore::ForgetExpired(std::int64_t now) {
    std::erase_if(m_entries, [now](const Entry& e) { return e.expires <= now; });
}

std::ptrdiff_t CTokenStore::Find(std::string_view token) const {
    // SECURITY: every entry is compared in full, so the time tells nothing about which
    // stored token a guess resembles.
    std::ptrdiff_t found = -1;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (ConstantTimeEquals(m_entries[i].token, token)) found = static_cast<std::ptrdiff_t>(i);
    }
    return found;
}

IssuedToken CTokenStore::Issue(std::int64_t lifetimeSeconds, bool withCompanion) {
    IssuedToken issued{RandomHex(kTokenBytes), 0, withCompanion ? RandomHex(kTokenBytes) : ""};
    if (issued.token.empty() || (withCompanion && issued.companion.empty())) return {};
    std::lock_guard lock(m_lock);
    const std::int64_t now = m_clock();
    issued.expires = now + std::max<std::int64_t>(lifetimeSeconds, 1);
    ForgetExpired(now);
    if (m_entries.size() >= m_maxTokens) {
        const auto first =
            std::min_element(m_entries.begin(), m_entries.end(),
                             [](const Entry& a, const Entry& b) { return a.expires < b.expires; });
        m_entries.erase(first);
    }
    m_entries.push_back({issued.token, issued.expires, issued.companion});
    return issued;
}

bool CTokenStore::IsValid(std::string_view token) {
    if (token.size() != kTokenBytes * 2) return false;
    std::lock_guard lock(m_lock);
    ForgetExpired(m_clock());
    return Find(token) >= 0;
}

bool CTokenStore::Lookup(std::string_view token, std::string& companion) {
    if (token.size() != kTokenBytes * 2) return false;
    std::lock_guard lock(m_lock);
    ForgetExpired(m_clock());
    const std::ptrdiff_t index = Find(token);
    if (index < 0) return false;
    companion = m_entries[static_cast<std::size_t>(index)].companion;
    return true;
}

bool CTokenStore::Revoke(std::string_view token) {
    std::lock_guard lock(m_lock);
    ForgetExpired(m_clock());
    const std::ptrdiff_t index = Find(token);
    if (index < 0) return false;
    m_entries.erase(m_entries.begin() + index);
    return true;
}

std::size_t CTokenStore::Count() {
    std::lock_guard lock(m_lock);
    ForgetExpired(m_clock());
    return m_entries.size();
}
