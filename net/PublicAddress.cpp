#include "net/PublicAddress.h"

#include <cstdio>

#include "platform/HostAddresses.h"
#include "platform/Text.h"

namespace {

constexpr std::string_view kReplyStart = "Your IP:";

// Blanks and line ends around the echoed address.
constexpr std::string_view kAroundAddress = " \t\r\n";

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// The part after "http://" or "https://", or nullopt for another scheme.
std::optional<std::string_view> AfterScheme(std::string_view url) {
    for (std::string_view scheme : {"http://", "https://"}) {
        if (url.size() > scheme.size() && EqualsNoCase(url.substr(0, scheme.size()), scheme))
            return url.substr(scheme.size());
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ParseAddressReply(std::string_view reply) {
    if (reply.substr(0, kReplyStart.size()) != kReplyStart) return std::nullopt;
    const std::string_view address = Trim(reply.substr(kReplyStart.size()), kAroundAddress);
    // SECURITY: clients are sent to this address; one that no host may have (0.0.0.0,
    // 255.255.255.255, multicast) or this machine's loopback is no public address.
    if (!IsUnicastIpv4Text(address) || IsLoopbackIpv4Text(address)) return std::nullopt;
    return std::string(address);
}

std::string PercentEncode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsUnreserved(byte)) {
            out += c;
            continue;
        }
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", byte);
        out += hex;
    }
    return out;
}

std::string BuildUpdateUrl(std::string_view base, std::string_view name, std::string_view password,
                           std::string_view address, int port) {
    const std::string site = "http://" + std::string(address) + ":" + std::to_string(port);
    return std::string(base) + "updateurl2.php?name=" + PercentEncode(name) +
           "&password=" + PercentEncode(password) + "&url=" + PercentEncode(site) +
           "&name2=&password2=&url2=";
}

bool IsWebUrl(std::string_view url) { return !UrlHost(url).empty(); }

std::string UrlHost(std::string_view url) {
    const std::optional<std::string_view> rest = AfterScheme(url);
    if (!rest) return {};
    std::string_view authority = rest->substr(0, rest->find_first_of("/?#"));
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    if (!authority.empty() && authority.front() == '[')  // [IPv6]:port
        return std::string(authority.substr(0, authority.find(']') + 1));
    return std::string(authority.substr(0, authority.find(':')));
}
