// One entry of an IP filter list, compiled for matching client addresses.
//
// An entry of four dot-separated parts, each "*" or a decimal number 0..255 of at most three
// digits ("192.168.*.*"), matches an IPv4 client whose four parts are equal, "*" matching
// any value of its part. An IPv6 entry matches the client with that whole address, in
// whatever text form either is written ("0:0::1" is "::1"; an IPv4-mapped entry is its
// IPv4 address). An address range "ADDRESS/BITS" (CIDR: "10.0.0.0/8", "2001:db8::/32")
// matches every client of its family whose first BITS bits equal those of ADDRESS (bits
// after them in ADDRESS are ignored); BITS is 0..32 for IPv4 and 0..128 for IPv6, and a
// range inside ::ffff:0:0/96 is the IPv4 range it stands for. Any other entry matches a
// client address that equals it as text, ignoring ASCII letter case. A client written
// "::ffff:a.b.c.d" (IPv4-mapped IPv6) is matched as the IPv4 address a.b.c.d.
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
    bool isIpv6 = false;  // an IPv6 address that is not IPv4-mapped
    std::array<std::uint8_t, 16> ipv6{};
};

class CIpPattern {
public:
    explicit CIpPattern(std::string_view entry);

    bool Matches(const ClientAddress& client) const;
    // True when the entry is four parts of digits or "*" (the form the address dialog makes).
    bool IsDottedQuad() const { return m_kind == Kind::Quad; }
    // True for every form with a matching meaning: dotted with "*", a whole IPv4 or IPv6
    // address, or a well-formed range. False for an entry only compared as text.
    bool IsAddressForm() const { return m_kind != Kind::Text; }

private:
    enum class Kind { Text, Quad, Ipv6, Range4, Range6 };
    bool ParseRange(std::string_view entry);

    Kind m_kind = Kind::Text;
    std::string m_text;
    std::array<std::uint8_t, 4> m_parts{};
    std::array<bool, 4> m_any{};
    std::array<std::uint8_t, 16> m_network{};  // Range4: the first 4 bytes
    unsigned m_prefixBits = 0;
};

// Whether `entry` may go into "acceptip.txt" or "rejectip.txt": a dotted entry with "*"
// parts ("192.168.*.*"), a whole IPv4 or IPv6 address, or a CIDR range of either family
// ("10.0.0.0/8", "2001:db8::/32", "0.0.0.0/0", "::1/128"). No blanks, no zone ("%eth0"),
// no wildcard inside a range. The IP-filter editor and tarvona-admin validate with this.
bool IsValidIpListEntry(std::string_view entry);
