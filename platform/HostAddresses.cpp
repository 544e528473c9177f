#include "platform/HostAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <memory>

namespace {

bool Parses(int family, std::string_view text) {
    if (text.size() >= INET6_ADDRSTRLEN) return false;
    const std::string copy(text);  // inet_pton needs the terminating zero
    in6_addr buffer{};             // large enough for either family
    return ::inet_pton(family, copy.c_str(), &buffer) == 1;
}

}  // namespace

bool IsIpv4Text(std::string_view text) { return Parses(AF_INET, text); }

bool IsIpv6Text(std::string_view text) { return Parses(AF_INET6, text); }

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
