// Small text helpers of the record engine: names in fixed slots, trimming, case folding,
// and the number parsing of SetFieldText.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Removes leading and trailing blanks (spaces and tabs).
std::string_view TrimBlanks(std::string_view s);
std::string ToLowerAscii(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
// The text of a NUL-terminated fixed slot (at most the slot's size).
std::string_view SlotText(std::span<const char> slot);
// Stores `text` into `slot`, NUL-padded; `text` must be shorter than the slot.
void SetSlotText(std::span<char> slot, std::string_view text);
// The text's leading decimal integer (leading blanks and a sign allowed), 0 when none;
// values outside 64 bits saturate.
std::int64_t LeadingInteger(std::string_view text);
// The text's leading decimal number with optional fraction and exponent, 0 when none.
double LeadingNumber(std::string_view text);
