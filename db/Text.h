// Small text helpers of the record engine: names in fixed slots and the number parsing
// of SetFieldText (trimming, case folding and integers: platform/Text.h).
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/Text.h"

// The text of a NUL-terminated fixed slot (at most the slot's size).
std::string_view SlotText(std::span<const char> slot);
// Stores `text` into `slot`, NUL-padded; `text` must be shorter than the slot.
void SetSlotText(std::span<char> slot, std::string_view text);
// The text's leading decimal number with optional fraction and exponent, 0 when none.
double LeadingNumber(std::string_view text);
