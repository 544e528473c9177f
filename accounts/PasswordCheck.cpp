#include "accounts/PasswordCheck.h"

#include <cctype>
#include <cstdint>

#include "accounts/Limits.h"

namespace {

// An optional sign and the digits up to the first other character; no digits gives 0.
// Wraps like a 32-bit integer instead of overflowing, only the low 8 bits matter.
std::uint32_t LeadingDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::uint32_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    return negative ? 0u - value : value;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

std::string UnscramblePassword(std::string_view argument) {
    std::string result;
    std::size_t index = 0;
    for (std::size_t comma = argument.find(','); comma != std::string_view::npos; ++index) {
        const std::size_t next = argument.find(',', comma + 1);
        const std::string_view piece = argument.substr(comma + 1, next == std::string_view::npos ? next : next - comma - 1);
        const auto key = static_cast<unsigned char>(kScrambleKey[index % kScrambleKeyLength]);
        const auto c = static_cast<unsigned char>((LeadingDecimal(piece) - key) & 0xffu);
        if (c == 0) break;
        result.push_back(static_cast<char>(c));
        comma = next;
    }
    return result;
}

std::string ScramblePassword(std::string_view password) {
    std::string text;
    for (std::size_t i = 0; i < password.size(); ++i) {
        const unsigned code = static_cast<unsigned char>(password[i]) +
                              static_cast<unsigned char>(kScrambleKey[i % kScrambleKeyLength]);
        text += ',' + std::to_string(code);
    }
    return text;
}

bool PasswordAccepted(std::string_view userName, std::string_view storedPassword, std::string_view argument) {
    const std::string given = !argument.empty() && argument[0] == ',' ? UnscramblePassword(argument)
                                                                        : std::string(argument);
    if (EqualsNoCase(userName, "anonymous") && storedPassword.empty()) return true;
    return given == storedPassword;
}
