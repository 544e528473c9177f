#include "platform/Text.h"

#include <algorithm>
#include <limits>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::int64_t SaturatedDigits(std::string_view digits, bool negative) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;  // negative while reading a negative number, so INT64_MIN fits
    for (char c : digits) {
        const int digit = c - '0';
        if (negative) {
            if (value < (kMin + digit) / 10) return kMin;
            value = value * 10 - digit;
        } else {
            if (value > (kMax - digit) / 10) return kMax;
            value = value * 10 + digit;
        }
    }
    return value;
}

std::int64_t WrappedDigits(std::string_view digits, bool negative) {
    std::uint64_t value = 0;
    for (char c : digits) value = value * 10u + static_cast<std::uint64_t>(c - '0');
    if (negative) value = 0u - value;
    return static_cast<std::int64_t>(value);
}

unsigned char ByteAt(std::string_view text, std::size_t at) {
    return static_cast<unsigned char>(text[at]);
}

// The length of the well-formed UTF-8 sequence at `at` (1 for ASCII), or 0 when the byte
// there starts none: overlong forms, surrogates and values past U+10FFFF are ill-formed.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
    const unsigned char lead = ByteAt(text, at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    if (ByteAt(text, at + 1) < low || ByteAt(text, at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((ByteAt(text, at + i) & 0xC0) != 0x80) return 0;
    return length;
}

// True for a C0 byte, DEL or a C1 character (C2 80 to C2 9F) of `length` bytes at `at`.
bool IsControlSequence(std::string_view text, std::size_t at, std::size_t length) {
    const unsigned char lead = ByteAt(text, at);
    if (length == 1) return lead < 0x20 || lead == 0x7F;
    return length == 2 && lead == 0xC2 && ByteAt(text, at + 1) <= 0x9F;
}

}  // namespace

std::string ReplaceControlCharacters(std::string_view text, char replacement) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, at);
        if (length == 0 || IsControlSequence(text, at, length))
            out += replacement;
        else
            out.append(text.substr(at, length));
        at += length == 0 ? 1 : length;
    }
    return out;
}

bool HasControlCharacters(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, at);
        if (length == 0 || IsControlSequence(text, at, length)) return true;
        at += length;
    }
    return false;
}

std::string_view Trim(std::string_view text, std::string_view strip) {
    const std::size_t first = text.find_first_not_of(strip);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(strip) - first + 1);
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string ToLowerAscii(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), LowerAscii);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

std::int64_t LeadingInteger(std::string_view text, LeadingSpace space, IntegerOverflow overflow) {
    const std::size_t start =
        text.find_first_not_of(space == LeadingSpace::Blanks ? kBlanks : kWhitespace);
    if (start == std::string_view::npos) return 0;
    text.remove_prefix(start);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const std::size_t digits = static_cast<std::size_t>(
        std::find_if_not(text.begin(), text.end(), IsDigit) - text.begin());
    text = text.substr(0, digits);
    return overflow == IntegerOverflow::Wrap ? WrappedDigits(text, negative)
                                             : SaturatedDigits(text, negative);
}

int LeadingInt(std::string_view text) {
    const std::int64_t value = LeadingInteger(text, LeadingSpace::Blanks);
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

std::string CutUtf8(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    std::size_t end = maxBytes;
    // Back off over continuation bytes to the start of the sequence that was cut.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return std::string(text.substr(0, end));
}
