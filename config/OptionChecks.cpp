#include "config/OptionChecks.h"

#include <algorithm>
#include <cctype>

#include "config/HookCommand.h"
#include "config/HookKeys.h"

namespace {

constexpr int kMaxPort = 65535;
constexpr std::size_t kMaxHostName = 253;
constexpr std::size_t kMaxLabel = 63;

bool IsLetterOrDigit(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

bool IsLabel(std::string_view label) {
    return !label.empty() && label.size() <= kMaxLabel && IsLetterOrDigit(label.front()) &&
           IsLetterOrDigit(label.back()) && std::all_of(label.begin(), label.end(), [](char c) {
               return IsLetterOrDigit(c) || c == '-';
           });
}

// SECURITY: a line break in a value would start a line of its own in option.ini.
std::string TextProblem(const std::string& text, const char* key) {
    if (text.size() > kMaxOptionText) return std::string(key) + " is longer than 255 characters.";
    if (std::any_of(text.begin(), text.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }))
        return std::string(key) + " must not contain control characters.";
    return {};
}

std::string NotNegative(int value, const char* key) {
    return value < 0 ? std::string(key) + " must be 0 or more." : std::string();
}

// The first non-empty text of `problems`.
std::string First(std::initializer_list<std::string> problems) {
    for (const std::string& problem : problems)
        if (!problem.empty()) return problem;
    return {};
}

}  // namespace

std::string TlsOptionsProblem(const OptionValues& v) {
    if (v.tlsImplicitPort < 0 || v.tlsImplicitPort > kMaxPort)
        return "The implicit TLS port must be 0 (off) or a port from 1 to 65535.";
    return First({TextProblem(v.tlsCertificateFile, "The certificate file"),
                  TextProblem(v.tlsKeyFile, "The key file")});
}

std::string SecurityOptionsProblem(const OptionValues& v) {
    return First({NotNegative(v.banAttempts, "Failed logins before a ban"),
                  NotNegative(v.banWindow, "The failed-login window"),
                  NotNegative(v.banTime, "The ban time"),
                  NotNegative(v.failDelayMs, "The failed-login delay"),
                  NotNegative(v.maxPerAddress, "Sessions per address"),
                  NotNegative(v.maxPerUser, "Sessions per user"),
                  NotNegative(v.loginTimeout, "The login time-out"),
                  NotNegative(v.maxNotLoggedIn, "Sessions not logged in"),
                  NotNegative(v.maxHashMiB, "The checksum size limit")});
}

std::string AcmeOptionsProblem(const OptionValues& v) {
    std::string problem = First({TextProblem(v.acmeDomains, "The ACME domains"),
                                 TextProblem(v.acmeDirectory, "The ACME directory"),
                                 TextProblem(v.acmeEmail, "The ACME e-mail address"),
                                 TextProblem(v.acmeDirectoryCaFile, "The directory CA file")});
    if (!problem.empty()) return problem;
    for (const std::string& name : SplitDomainList(v.acmeDomains))
        if (!IsHostName(name))
            return "ACME domain \"" + name +
                   "\" is not a host name (letters, digits and hyphens, between dots).";
    if (v.acmeHttpPort < 1 || v.acmeHttpPort > kMaxPort)
        return "The ACME HTTP port must be from 1 to 65535.";
    const bool https = v.acmeDirectory.rfind("https://", 0) == 0 && v.acmeDirectory.size() > 8;
    if (!SplitDomainList(v.acmeDomains).empty() && !https)
        return "The ACME directory must be an https:// URL when domains are set.";
    if (!v.acmeDirectory.empty() && !https) return "The ACME directory must be an https:// URL.";
    const std::size_t at = v.acmeEmail.find('@');
    if (!v.acmeEmail.empty() &&
        (at == 0 || at == std::string::npos || at + 1 == v.acmeEmail.size() ||
         v.acmeEmail.find_first_of(" ,;:<>\"", 0) != std::string::npos))
        return "The ACME e-mail address must look like name@example.org.";
    return {};
}

std::vector<std::string> SplitDomainList(std::string_view domains) {
    std::vector<std::string> names;
    std::string name;
    for (std::size_t i = 0; i <= domains.size(); ++i) {
        const char c = i < domains.size() ? domains[i] : ' ';
        if (c != ',' && std::isspace(static_cast<unsigned char>(c)) == 0) {
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            continue;
        }
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
        name.clear();
    }
    return names;
}

bool IsHostName(std::string_view name) {
    if (name.empty() || name.size() > kMaxHostName) return false;
    std::string_view last;
    for (std::size_t start = 0;;) {
        const std::size_t dot = name.find('.', start);
        last = name.substr(start,
                           dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (!IsLabel(last)) return false;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return !std::all_of(last.begin(), last.end(),
                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

namespace {

std::string RangeProblem(int value, int low, int high, const char* what) {
    if (value >= low && value <= high) return {};
    return std::string(what) + " must be from " + std::to_string(low) + " to " +
           std::to_string(high) + ".";
}

std::string HookActionProblem(const OptionValues& v, const HookKeyRow& row) {
    const std::string programKey = "On" + std::string(row.event);
    const std::string urlKey = programKey + "Url";
    std::string problem = First(
        {TextProblem(v.*row.program, programKey.c_str()), TextProblem(v.*row.url, urlKey.c_str())});
    if (!problem.empty()) return problem;
    std::vector<std::string> argv;
    std::string why;
    if (!SplitHookCommand(v.*row.program, argv, why)) return programKey + ": " + why + ".";
    if (!(v.*row.url).empty() && !IsHookUrl(v.*row.url))
        return urlKey + " must be an https:// URL.";
    return {};
}

}  // namespace

std::string HooksOptionsProblem(const OptionValues& v) {
    for (const HookKeyRow& row : HookKeyRows())
        if (std::string problem = HookActionProblem(v, row); !problem.empty()) return problem;
    return First({TextProblem(v.hookSecret, "The signing secret"),
                  TextProblem(v.hookCaFile, "The CA file"),
                  RangeProblem(v.hookConcurrency, 1, kMaxHookConcurrency,
                               "The number of hook actions at once"),
                  RangeProblem(v.hookTimeout, 1, kMaxHookTimeout, "The hook time-out"),
                  RangeProblem(v.hookQueueSize, 1, kMaxHookQueueSize, "The hook queue size")});
}
