// Fuzz target: the text of an IP list file ("acceptip.txt", "rejectip.txt") through the
// entry splitter, the pattern compiler and the filter's check, as a connection meets
// them. Besides crashes and sanitizer reports it stops on a broken promise of
// config/IpFilter.h and config/IpPattern.h:
//  - splitting, joining and splitting again gives the same entries;
//  - every valid entry without "*" matches the address it names (a range: its own
//    network address), written as the server writes a peer's address;
//  - a pattern treats an IPv4 client and the same client written IPv4-mapped alike;
//  - "allowed only" and "refuse denied" over one list give opposite answers;
//  - an entry added while running decides as the same list read again from the file.
//
// Input: the list text up to the first zero byte (where reading the file stops); after
// it, the entry that is added while running (up to the next zero byte).
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "config/IpFilter.h"
#include "config/IpPattern.h"
#include "platform/Socket.h"

namespace {

// Every entry is also tried against these; canonical texts, as AddressToText gives them.
constexpr std::array<std::string_view, 10> kClients = {
    "0.0.0.0", "10.0.0.1", "127.0.0.1",   "192.168.1.20", "255.255.255.255",
    "::1",     "::",       "2001:db8::1", "fe80::1",      "2001:db8:ffff::ffff"};

// Past this many entries the checks of each one would only make the run slow.
constexpr std::size_t kMaxCheckedEntries = 64;

[[noreturn]] void Broken(const std::string& what, std::string_view entry, std::string_view client) {
    std::fprintf(stderr, "%s: entry \"%.*s\", client \"%.*s\"\n", what.c_str(),
                 static_cast<int>(entry.size()), entry.data(), static_cast<int>(client.size()),
                 client.data());
    std::abort();
}

// The address a valid entry names, as the server writes a peer's address; empty for a
// dotted pattern with "*" or an entry that names none.
std::string NamedAddress(std::string_view entry) {
    const std::string address(entry.substr(0, entry.find('/')));
    std::string canonical;
    if (CanonicalAddressText(AddressFamily::V4, address, canonical)) return canonical;
    if (address.find(':') != std::string::npos &&
        CanonicalAddressText(AddressFamily::V6, address, canonical))
        return canonical;
    // Dotted parts with leading zeros ("010.0.0.1") are a pattern form the system's
    // parser refuses: the pattern reads them as decimal.
    std::array<unsigned, 4> parts{};
    char end = 0;
    if (std::sscanf(address.c_str(), "%3u.%3u.%3u.%3u%c", &parts[0], &parts[1], &parts[2],
                    &parts[3], &end) != 4)
        return {};
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
           std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

// A range of the IPv6 family whose network lies in the IPv4-mapped block but whose prefix
// is shorter than the block: clients of that block are IPv4 and never in an IPv6 range.
bool IsWideRangeOverMappedBlock(std::string_view entry, const std::string& named) {
    const std::size_t slash = entry.find('/');
    if (slash == std::string_view::npos || named.find(':') != std::string::npos) return false;
    return entry.substr(0, slash).find(':') != std::string_view::npos &&
           std::atoi(std::string(entry.substr(slash + 1)).c_str()) < 96;
}

void CheckSplitJoin(std::string_view text, const std::vector<std::string>& entries) {
    if (CIpFilter::SplitEntries(CIpFilter::JoinEntries(entries)) != entries)
        Broken("split, join and split gave other entries", text, "");
}

void CheckEntry(const std::string& entry, std::vector<std::string>& clients) {
    const CIpPattern pattern(entry);
    if (IsValidIpListEntry(entry) && entry.find('*') == std::string::npos) {
        const std::string named = NamedAddress(entry);
        if (named.empty()) Broken("a valid entry names no address", entry, "");
        if (!IsWideRangeOverMappedBlock(entry, named) && !pattern.Matches(ClientAddress(named)))
            Broken("an entry does not match the address it names", entry, named);
        clients.push_back(named);
    }
    for (const std::string& client : clients) {
        if (client.find(':') != std::string::npos) continue;
        const std::string mapped = "::ffff:" + client;
        if (pattern.Matches(ClientAddress(client)) != pattern.Matches(ClientAddress(mapped)))
            Broken("an IPv4 client and its mapped form differ", entry, client);
    }
}

void CheckFilterModes(std::string_view text, const std::vector<std::string>& clients) {
    CIpFilter allowOnly;
    allowOnly.Replace(FilterMode::AllowedOnly, text, "");
    CIpFilter refuseDenied;
    refuseDenied.Replace(FilterMode::RefuseDenied, "", text);
    for (const std::string& client : clients)
        if (allowOnly.IsAllowed(client) == refuseDenied.IsAllowed(client))
            Broken("allowed-only and refuse-denied agree", text, client);
}

// The running filter after AppendEntry and a filter read from the saved list decide alike.
void CheckAppend(std::string_view text, std::string_view added,
                 const std::vector<std::string>& clients) {
    CIpFilter running;
    running.Replace(FilterMode::RefuseDenied, "", text);
    if (!running.AppendEntry(CIpFilter::List::Deny, added)) return;
    CIpFilter reread;
    reread.Replace(FilterMode::RefuseDenied, "", running.GetList(CIpFilter::List::Deny));
    for (const std::string& client : clients)
        if (running.IsAllowed(client) != reread.IsAllowed(client))
            Broken("an added entry decides otherwise once read again", added, client);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string_view text = input.substr(0, input.find('\0'));
    std::string_view added;
    if (text.size() < input.size()) {
        added = input.substr(text.size() + 1);
        added = added.substr(0, added.find('\0'));
    }

    const std::vector<std::string> entries = CIpFilter::SplitEntries(text);
    CheckSplitJoin(text, entries);
    std::vector<std::string> clients(kClients.begin(), kClients.end());
    for (std::size_t i = 0; i < entries.size() && i < kMaxCheckedEntries; ++i)
        CheckEntry(entries[i], clients);
    CheckFilterModes(text, clients);
    CheckAppend(text, added, clients);
    return 0;
}
