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

// 1..3 decimal digits of value at most `maximum`.
bool ParsePrefixBits(std::string_view text, unsigned maximum, unsigned* bits) {
    if (text.empty() || text.size() > 3) return false;
    unsigned n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (n > maximum) return false;
    *bits = n;
    return true;
}

constexpr std::array<std::uint8_t, 12> kMappedPrefix{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};

bool IsIpv4Mapped(const std::array<std::uint8_t, 16>& bytes) {
    for (std::size_t i = 0; i < kMappedPrefix.size(); ++i)
        if (bytes[i] != kMappedPrefix[i]) return false;
    return true;
}

// Whether the first `bits` bits of `address` and `network` are equal.
bool PrefixEquals(const std::uint8_t* address, const std::uint8_t* network, unsigned bits) {
    std::size_t i = 0;
    for (; bits >= 8; bits -= 8, ++i)
        if (address[i] != network[i]) return false;
    if (bits == 0) return true;
    const auto mask = static_cast<std::uint8_t>(0xff00u >> bits);
    return (address[i] & mask) == (network[i] & mask);
}

}  // namespace

ClientAddress::ClientAddress(std::string_view address) : text(address) {
    constexpr std::string_view kMapped = "::ffff:";
    std::string_view v4 = address;
    if (v4.size() > kMapped.size() && EqualsNoCase(v4.substr(0, kMapped.size()), kMapped))
        v4.remove_prefix(kMapped.size());
    std::array<bool, 4> any{};
    isIpv4 = ParseQuad(v4, false, &ipv4, &any);
    if (isIpv4 || address.find(':') == std::string_view::npos) return;
    std::array<std::uint8_t, 16> bytes{};
    if (!ParseAddressBytes(AddressFamily::V6, std::string(address), bytes)) return;
    if (IsIpv4Mapped(bytes)) {
        isIpv4 = true;
        for (std::size_t i = 0; i < 4; ++i) ipv4[i] = bytes[12 + i];
        return;
    }
    isIpv6 = true;
    ipv6 = bytes;
}

CIpPattern::CIpPattern(std::string_view entry) : m_text(entry) {
    if (entry.find('/') != std::string_view::npos) {
        (void)ParseRange(entry);  // a malformed range stays a text entry that matches nobody
        return;
    }
    if (ParseQuad(entry, true, &m_parts, &m_any)) {
        m_kind = Kind::Quad;
        return;
    }
    // An IPv6 entry is kept in the one text form client addresses are given in, so
    // "0:0::1" and "::1" (or "2001:0db8::1" and "2001:db8::1") are the same entry. An
    // IPv4-mapped one becomes the IPv4 address it stands for.
    std::string canonical;
    if (!CanonicalAddressText(AddressFamily::V6, m_text, canonical)) return;
    std::array<bool, 4> any{};
    if (ParseQuad(canonical, false, &m_parts, &any)) {
        m_kind = Kind::Quad;
        m_any = any;
        return;
    }
    m_kind = Kind::Ipv6;
    m_text = canonical;
}

bool CIpPattern::ParseRange(std::string_view entry) {
    const std::size_t slash = entry.find('/');
    const std::string_view address = entry.substr(0, slash);
    const std::string_view bits = entry.substr(slash + 1);
    std::array<std::uint8_t, 4> quad{};
    std::array<bool, 4> any{};
    if (ParseQuad(address, false, &quad, &any)) {
        if (!ParsePrefixBits(bits, 32, &m_prefixBits)) return false;
        for (std::size_t i = 0; i < 4; ++i) m_network[i] = quad[i];
        m_kind = Kind::Range4;
        return true;
    }
    if (address.find(':') == std::string_view::npos ||
        !ParseAddressBytes(AddressFamily::V6, std::string(address), m_network) ||
        !ParsePrefixBits(bits, 128, &m_prefixBits))
        return false;
    m_kind = Kind::Range6;
    // Clients of the mapped block are seen as IPv4 addresses; so is the range.
    if (m_prefixBits >= 96 && IsIpv4Mapped(m_network)) {
        for (std::size_t i = 0; i < 4; ++i) m_network[i] = m_network[12 + i];
        m_prefixBits -= 96;
        m_kind = Kind::Range4;
    }
    return true;
}

bool CIpPattern::Matches(const ClientAddress& client) const {
    switch (m_kind) {
        case Kind::Text:
        case Kind::Ipv6:
            return EqualsNoCase(m_text, client.text);
        case Kind::Quad:
            if (!client.isIpv4) return false;
            for (std::size_t i = 0; i < 4; ++i)
                if (!m_any[i] && m_parts[i] != client.ipv4[i]) return false;
            return true;
        case Kind::Range4:
            return client.isIpv4 &&
                   PrefixEquals(client.ipv4.data(), m_network.data(), m_prefixBits);
        case Kind::Range6:
            return client.isIpv6 &&
                   PrefixEquals(client.ipv6.data(), m_network.data(), m_prefixBits);
    }
    return false;
}

bool IsValidIpListEntry(std::string_view entry) { return CIpPattern(entry).IsAddressForm(); }
