// Small text helpers shared by the configuration readers.
#pragma once
#include <string>
#include <string_view>

namespace config {

// True for the ASCII control bytes 0x00 to 0x1F and 0x7F.
inline bool IsControlByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

// `text` without blanks and tabs at either end.
std::string_view TrimBlanks(std::string_view text);

// True when `a` and `b` are equal once ASCII letters are folded; other bytes compare exactly.
bool EqualsNoCase(std::string_view a, std::string_view b);

// At most `maxBytes` bytes of `text`, never ending inside a UTF-8 sequence.
std::string CutUtf8(std::string_view text, std::size_t maxBytes);

// The leading decimal integer of `text`: blanks skipped, one sign, digits up to the first
// other character; no digits gives 0. Out-of-range values saturate at the int limits.
int LeadingInt(std::string_view text);

}  // namespace config
