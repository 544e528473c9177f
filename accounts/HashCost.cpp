#include "accounts/HashCost.h"

#include <charconv>

namespace {

// crypt's base-64 alphabet "./0-9A-Za-z"; -1 outside it.
int Base64Value(char c) {
    if (c == '.' || c == '/') return c == '.' ? 0 : 1;
    if (c >= '0' && c <= '9') return c - '0' + 2;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 12;
    if (c >= 'a' && c <= 'z') return c - 'a' + 38;
    return -1;
}

// One number of yescrypt's parameter text, at least `minimum`. Its variable-length
// encoding uses one character for the values 0 to 47 above the minimum; a longer one
// stands for a value far over any cap here, so it is refused rather than decoded.
bool TakeSmallNumber(std::string_view& text, std::uint64_t minimum, std::uint64_t& value) {
    if (text.empty()) return false;
    const int digit = Base64Value(text.front());
    text.remove_prefix(1);
    if (digit < 0 || digit > 47) return false;
    value = minimum + static_cast<std::uint64_t>(digit);
    return true;
}

// "$y$" FLAVOR N_LOG2 R [HAVE [P] [T]] "$" ... as libcrypt writes it.
bool YescryptCostAllowed(std::string_view hash) {
    std::string_view text = hash.substr(3, hash.find('$', 3) - 3);
    std::uint64_t flavor = 0;
    std::uint64_t logN = 0;
    std::uint64_t r = 0;
    if (!TakeSmallNumber(text, 0, flavor) || !TakeSmallNumber(text, 1, logN) ||
        !TakeSmallNumber(text, 1, r))
        return false;
    std::uint64_t p = 1;
    std::uint64_t t = 0;
    if (!text.empty()) {
        constexpr std::uint64_t kHasP = 1;
        constexpr std::uint64_t kHasT = 2;
        std::uint64_t have = 0;
        if (!TakeSmallNumber(text, 1, have) || (have & ~(kHasP | kHasT)) != 0) return false;
        if ((have & kHasP) != 0 && !TakeSmallNumber(text, 2, p)) return false;
        if ((have & kHasT) != 0 && !TakeSmallNumber(text, 1, t)) return false;
        if (!text.empty()) return false;
    }
    // Every factor is below 64 here, so the product cannot overflow before the test.
    if (logN > 20) return false;
    return (std::uint64_t{1} << logN) * r * p * (t + 1) <= kMaxYescryptWork;
}

// "$6$rounds=N$SALT$HASH"; without "rounds=" libcrypt uses its default of 5 000.
bool Sha512CostAllowed(std::string_view hash) {
    constexpr std::string_view kRounds = "$6$rounds=";
    if (!hash.starts_with(kRounds)) return true;
    const std::string_view digits = hash.substr(kRounds.size());
    std::uint64_t rounds = 0;
    const char* const last = digits.data() + digits.size();
    const auto [end, error] = std::from_chars(digits.data(), last, rounds);
    return error == std::errc() && end != digits.data() && end != last && *end == '$' &&
           rounds <= kMaxSha512Rounds;
}

}  // namespace

bool HashCostAllowed(std::string_view hash) {
    if (hash.starts_with("$y$")) return YescryptCostAllowed(hash);
    if (hash.starts_with("$6$")) return Sha512CostAllowed(hash);
    return false;
}
