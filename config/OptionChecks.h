// Whether the values of option.ini's [TLS], [Security], [ACME] and [Hooks] sections can be saved,
// with a message for the administrator that names the key when not: an editor checks a form with
// these before it writes anything.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/Options.h"

// The longest text a key holds (longer ones are cut when read).
inline constexpr std::size_t kMaxOptionText = 255;

// The first problem of each section's values; empty when they can be saved.
std::string TlsOptionsProblem(const OptionValues& values);
std::string SecurityOptionsProblem(const OptionValues& values);
std::string AcmeOptionsProblem(const OptionValues& values);
std::string HooksOptionsProblem(const OptionValues& values);

// The names of [ACME] Domains (separated by commas or white space), lower case, each
// once, in their order.
std::vector<std::string> SplitDomainList(std::string_view domains);
// A DNS host name: dot-separated labels of letters, digits and inner hyphens, at most 63
// bytes each and 253 in all, the last label not all digits (that is an address).
bool IsHostName(std::string_view name);
