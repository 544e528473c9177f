// One entry of an IP filter list, compiled for matching client addresses.
//
// An entry of four dot-separated parts, each "*" or a decimal number 0..255 of at most three
// digits ("192.168.*.*"), matches an IPv4 client whose four parts are equal, "*" matching
// any value of its part. An IPv6 entry matches the client with that whole address, in
// whatever text form either is written ("0:0::1" is "::1"; an IPv4-mapped entry is its
// IPv4 address). Any other entry matches a client address that equals it as text,
// ignoring ASCII letter case. A client written "::ffff:a.b.c.d" (IPv4-mapped IPv6) is
// matched as the IPv4 address a.b.c.d.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// A client address, parsed once per check.
struct ClientAddress {
    explicit ClientAddress(std::string_view address);

    std::string_view text;  // as given; the caller keeps it alive
    bool isIpv4 = false;
    std::array<std::uint8_t, 4> ipv4{};
};

class CIpPattern {
public:
    explicit CIpPattern(std::string_view entry);

    bool Matches(const ClientAddress& client) const;
    // True when the entry is four parts of digits or "*" (the form the address dialog makes).
    bool IsDottedQuad() const { return m_isQuad; }

private:
    std::string m_text;
    bool m_isQuad = false;
    std::array<std::uint8_t, 4> m_parts{};
    std::array<bool, 4> m_any{};
};
