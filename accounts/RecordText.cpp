#include "accounts/RecordText.h"

#include "platform/Text.h"

namespace {
// The flag character and the separator before the date.
constexpr std::size_t kExpiryDateOffset = 2;
}  // namespace

bool IsStatusEnabled(std::string_view status) { return LeadingInteger(status) == 1; }

const char* StatusWord(std::string_view status) {
    return IsStatusEnabled(status) ? "Enable" : "Disable";
}

ExpiryText ParseExpiry(std::string_view reserved) {
    ExpiryText expiry;
    expiry.on = !reserved.empty() && reserved.front() == '1';
    if (reserved.size() > kExpiryDateOffset) expiry.date = reserved.substr(kExpiryDateOffset);
    return expiry;
}

std::string FormatExpiry(bool on, std::string_view date) {
    return std::string(on ? "1," : "0,") + std::string(date);
}

bool IsValidDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u})
        if (text[i] < '0' || text[i] > '9') return false;
    const int month = (text[5] - '0') * 10 + (text[6] - '0');
    const int day = (text[8] - '0') * 10 + (text[9] - '0');
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}
