#include "platform/HostAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <memory>

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

std::vector<std::string> LocalIpv4Addresses() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return {};
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owner(list, &::freeifaddrs);
    std::vector<std::string> addresses;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
        sockaddr_in in4{};
        std::copy_n(reinterpret_cast<const unsigned char*>(entry->ifa_addr), sizeof in4,
                    reinterpret_cast<unsigned char*>(&in4));
        char text[INET_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET, &in4.sin_addr, text, sizeof text) == nullptr) continue;
        if (std::find(addresses.begin(), addresses.end(), text) == addresses.end())
            addresses.emplace_back(text);
    }
    return addresses;
}
