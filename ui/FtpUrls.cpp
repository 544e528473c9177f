#include "ui/FtpUrls.h"

std::vector<std::string> BuildUrlList(const UrlListInput& input) {
    std::vector<std::string> urls;
    if (input.dnsEnable == 1 && !input.dnsName.empty() && !input.dnsHost.empty())
        urls.push_back("http://" + input.dnsName + "@" + input.dnsHost);
    const std::string suffix = input.port == 21 ? "" : ":" + std::to_string(input.port);
    bool first = true;
    for (const std::string& address : input.addresses) {
        urls.push_back("ftp://" + address + suffix);
        if (first && !input.user.empty()) {
            const std::string login =
                input.password.empty() ? input.user : input.user + ":" + input.password;
            urls.push_back("ftp://" + login + "@" + address + suffix);
        }
        first = false;
    }
    return urls;
}

std::optional<UrlCredentials> CredentialsInUrl(std::string_view text) {
    constexpr std::string_view kScheme = "ftp://";
    const std::size_t start = text.find(kScheme);
    if (start == std::string_view::npos) return std::nullopt;
    const std::string_view rest = text.substr(start + kScheme.size());
    const std::size_t at = rest.find('@');
    if (at == std::string_view::npos || at == 0) return std::nullopt;
    const std::string_view login = rest.substr(0, at);
    const std::size_t colon = login.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return UrlCredentials{std::string(login), ""};
    return UrlCredentials{std::string(login.substr(0, colon)),
                          std::string(login.substr(colon + 1))};
}
