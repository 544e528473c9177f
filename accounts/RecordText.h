// The account fields stored as text with a meaning of their own: "status" and
// "reserved" (the automatic disable date). Every reader and writer goes through these,
// so the login, the window and tarvona-admin agree on what a stored text means.
#pragma once

#include <string>
#include <string_view>

inline constexpr std::string_view kStatusEnabled = "1";
inline constexpr std::string_view kStatusDisabled = "0";

// True when `status` enables the account: its leading integer (blanks and one sign
// allowed, as strtol reads it) is 1.
bool IsStatusEnabled(std::string_view status);
// The word the window and tarvona-admin show for `status`: "Enable" or "Disable".
const char* StatusWord(std::string_view status);

// "reserved" is "1,YYYY-MM-DD" (the account is disabled on and after the date) or
// "0,YYYY-MM-DD" (no automatic disable; the date is kept for the editors). A time may
// follow the date.
struct ExpiryText {
    bool on = false;   // the first character is "1"
    std::string date;  // what follows the first two characters (empty when nothing does)
};
// A calendar date "YYYY-MM-DD", as an editor stores it.
bool IsValidDate(std::string_view text);
ExpiryText ParseExpiry(std::string_view reserved);
std::string FormatExpiry(bool on, std::string_view date);
