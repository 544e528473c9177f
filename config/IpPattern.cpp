#include "config/IpPattern.h"

#include "config/ConfigLimits.h"
#include "platform/Socket.h"
#include "platform/Text.h"

namespace {

// One dotted part: 1..3 digits of value 0..255, or "*" when `wildcard` is allowed.
bool ParsePart(std::string_view part, bool allowWildcard, std::uint8_t* value, bool* any) {
    *any = false;
    if (allowWildcard && part == "*") {
        *any = true;
        *value = 0;
        return true;
    }
    if (part.empty() || part.size() > config::kMaxIpEntryPart) return false;
    unsigned n = 0;
    for (const char c : part) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (n > 255) return false;
    *value = static_cast<std::uint8_t>(n);
    return true;
}

bool ParseQuad(std::string_view text, bool allowWildcard, std::array<std::uint8_t, 4>* parts,
               std::array<bool, 4>* any) {
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t dot = text.find('.');
        const bool last = i == 3;
        if (last != (dot == std::string_view::npos)) return false;
        const std::string_view part = last ? text : text.substr(0, dot);
        if (!ParsePart(part, allowWildcard, &(*parts)[i], &(*any)[i])) return false;
        if (!last) text.remove_prefix(dot + 1);
    }
    return true;
}

}  // namespace

ClientAddress::ClientAddress(std::string_view address) : text(address) {
    constexpr std::string_view kMapped = "::ffff:";
    std::string_view v4 = address;
    if (v4.size() > kMapped.size() && EqualsNoCase(v4.substr(0, kMapped.size()), kMapped))
        v4.remove_prefix(kMapped.size());
    std::array<bool, 4> any{};
    isIpv4 = ParseQuad(v4, false, &ipv4, &any);
}

CIpPattern::CIpPattern(std::string_view entry) : m_text(entry) {
    m_isQuad = ParseQuad(entry, true, &m_parts, &m_any);
    if (m_isQuad) return;
    // An IPv6 entry is kept in the one text form client addresses are given in, so
    // "0:0::1" and "::1" (or "2001:0db8::1" and "2001:db8::1") are the same entry. An
    // IPv4-mapped one becomes the IPv4 address it stands for.
    std::string canonical;
    if (!CanonicalAddressText(AddressFamily::V6, m_text, canonical)) return;
    std::array<bool, 4> any{};
    if (ParseQuad(canonical, false, &m_parts, &any)) {
        m_isQuad = true;
        m_any = any;
        return;
    }
    m_text = canonical;
}

bool CIpPattern::Matches(const ClientAddress& client) const {
    if (!m_isQuad) return EqualsNoCase(m_text, client.text);
    if (!client.isIpv4) return false;
    for (std::size_t i = 0; i < 4; ++i)
        if (!m_any[i] && m_parts[i] != client.ipv4[i]) return false;
    return true;
}
