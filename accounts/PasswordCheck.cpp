#include "accounts/PasswordCheck.h"

#include <cstdint>

#include "accounts/HashCost.h"
#include "accounts/Limits.h"
#include "accounts/PasswordHash.h"
#include "platform/Text.h"

std::string UnscramblePassword(std::string_view argument) {
    std::string result;
    std::size_t index = 0;
    for (std::size_t comma = argument.find(','); comma != std::string_view::npos; ++index) {
        const std::size_t next = argument.find(',', comma + 1);
        const std::string_view piece =
            argument.substr(comma + 1, next == std::string_view::npos ? next : next - comma - 1);
        const auto key = static_cast<unsigned char>(kScrambleKey[index % kScrambleKeyLength]);
        const auto c = static_cast<unsigned char>(
            (static_cast<std::uint32_t>(
                 LeadingInteger(piece, LeadingSpace::Whitespace, IntegerOverflow::Wrap)) -
             key) &
            0xffu);
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

std::string ClearPassword(std::string_view argument) {
    return !argument.empty() && argument[0] == ',' ? UnscramblePassword(argument)
                                                   : std::string(argument);
}

PasswordVerdict CheckPassword(std::string_view userName, std::string_view storedPassword,
                              std::string_view argument) {
    const std::string given = ClearPassword(argument);
    if (EqualsNoCase(userName, "anonymous") && storedPassword.empty()) return {.accepted = true};
    if (!IsPasswordHash(storedPassword))
        return {.accepted = ConstantTimeEquals(given, storedPassword)};
    // SECURITY: the cost is in the stored text; one written with a huge count would make
    // every guess cost seconds of CPU before any ban. It is never taken as clear text
    // either.
    if (!HashCostAllowed(storedPassword)) return {.overCost = true};
    return {.accepted = HashMatches(given, storedPassword), .hashed = true};
}
