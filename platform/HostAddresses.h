// The machine's own addresses and the parsing of address texts (inet_pton), for the
// public-address checks and the address lists of the window.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// True when `text` is a dotted IPv4 address as inet_pton reads it ("10.0.0.1").
bool IsIpv4Text(std::string_view text);
// True when `text` is a dotted IPv4 address one host may have as its own: not in
// 0.0.0.0/8 (unspecified), 224.0.0.0/4 (multicast) or 240.0.0.0/4 (reserved, with the
// broadcast address 255.255.255.255). Loopback addresses are unicast.
bool IsUnicastIpv4Text(std::string_view text);
// True for a dotted IPv4 address in 127.0.0.0/8.
bool IsLoopbackIpv4Text(std::string_view text);
// True when `text` is an IPv6 address as inet_pton reads it ("::1", "fe80::2").
bool IsIpv6Text(std::string_view text);
// True for "::1" however it is written ("0:0::1").
bool IsLoopbackIpv6Text(std::string_view text);

// The IPv4 addresses of the interfaces that are up, loopback left out, in the order the
// system lists them, each once. Empty when the system cannot list them.
std::vector<std::string> LocalIpv4Addresses();
// The same for IPv6, link-local addresses left out as well.
std::vector<std::string> LocalIpv6Addresses();
