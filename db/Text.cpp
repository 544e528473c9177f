// Text helpers for names and field texts.
#include "db/Text.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipSpaces(std::string_view s, std::size_t i) {
    while (i < s.size() && IsSpace(s[i])) ++i;
    return i;
}
std::size_t SkipDigits(std::string_view s, std::size_t i) {
    while (i < s.size() && IsDigit(s[i])) ++i;
    return i;
}

}  // namespace

std::string_view SlotText(std::span<const char> slot) {
    return std::string_view(slot.data(), ::strnlen(slot.data(), slot.size()));
}

void SetSlotText(std::span<char> slot, std::string_view text) {
    std::fill(slot.begin(), slot.end(), '\0');
    std::copy_n(text.begin(), std::min(text.size(), slot.size() - 1), slot.begin());
}

double LeadingNumber(std::string_view text) {
    const std::size_t begin = SkipSpaces(text, 0);
    std::size_t i = begin;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t intEnd = SkipDigits(text, i);
    std::size_t end = intEnd;
    if (end < text.size() && text[end] == '.') end = SkipDigits(text, end + 1);
    if (end == i || (end == i + 1 && intEnd == i)) return 0.0;  // no digits at all
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t e = end + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
        const std::size_t expEnd = SkipDigits(text, e);
        if (expEnd > e) end = expEnd;
    }
    std::size_t from = begin;
    if (text[from] == '+') ++from;  // from_chars takes no plus sign
    double value = 0.0;
    std::from_chars(text.data() + from, text.data() + end, value);
    return value;
}
