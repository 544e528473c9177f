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
