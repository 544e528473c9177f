#include "platform/HostAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "platform/Socket.h"

bool IsIpv4Text(std::string_view text) {
    std::array<std::uint8_t, 16> bytes{};
    return ParseAddressBytes(AddressFamily::V4, std::string(text), bytes);
}

bool IsUnicastIpv4Text(std::string_view text) {
    std::array<std::uint8_t, 16> bytes{};
    if (!ParseAddressBytes(AddressFamily::V4, std::string(text), bytes)) return false;
    return bytes[0] != 0 && bytes[0] < 224;
}

bool IsLoopbackIpv4Text(std::string_view text) {
    std::array<std::uint8_t, 16> bytes{};
    return ParseAddressBytes(AddressFamily::V4, std::string(text), bytes) && bytes[0] == 127;
}

bool IsIpv6Text(std::string_view text) {
    std::array<std::uint8_t, 16> bytes{};
    return ParseAddressBytes(AddressFamily::V6, std::string(text), bytes);
}

bool IsLoopbackIpv6Text(std::string_view text) {
    std::array<std::uint8_t, 16> bytes{};
    std::array<std::uint8_t, 16> loopback{};
    loopback[15] = 1;
    return ParseAddressBytes(AddressFamily::V6, std::string(text), bytes) && bytes == loopback;
}

namespace {

// A link-local IPv6 address means nothing without its interface: no peer names it alone.
bool IsLinkLocal(const in6_addr& address) {
    return address.s6_addr[0] == 0xfe && (address.s6_addr[1] & 0xc0) == 0x80;
}

// The address of `entry` as text when it is of `family`, up, not loopback and (IPv6) not
// link-local; empty otherwise.
std::string UsableAddressText(const ifaddrs& entry, int family) {
    if (entry.ifa_addr == nullptr || entry.ifa_addr->sa_family != family) return {};
    if ((entry.ifa_flags & IFF_UP) == 0 || (entry.ifa_flags & IFF_LOOPBACK) != 0) return {};
    char text[INET6_ADDRSTRLEN] = {};
    const auto* raw = reinterpret_cast<const unsigned char*>(entry.ifa_addr);
    if (family == AF_INET) {
        sockaddr_in in4{};
        std::copy_n(raw, sizeof in4, reinterpret_cast<unsigned char*>(&in4));
        if (::inet_ntop(AF_INET, &in4.sin_addr, text, sizeof text) == nullptr) return {};
    } else {
        sockaddr_in6 in6{};
        std::copy_n(raw, sizeof in6, reinterpret_cast<unsigned char*>(&in6));
        if (IsLinkLocal(in6.sin6_addr) ||
            ::inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text) == nullptr)
            return {};
    }
    return text;
}

std::vector<std::string> LocalAddresses(int family) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return {};
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owner(list, &::freeifaddrs);
    std::vector<std::string> addresses;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        std::string text = UsableAddressText(*entry, family);
        if (!text.empty() && std::find(addresses.begin(), addresses.end(), text) == addresses.end())
            addresses.push_back(std::move(text));
    }
    return addresses;
}

}  // namespace

std::vector<std::string> LocalIpv4Addresses() { return LocalAddresses(AF_INET); }

std::vector<std::string> LocalIpv6Addresses() { return LocalAddresses(AF_INET6); }
