// Text helpers every layer shares: trimming, cutting on a whole UTF-8 character, ASCII
// case folding and reading the leading integer of a text. Bytes above 127 are never folded: names
// in other scripts compare exactly.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::string_view kBlanks = " \t";
// What the C library's isspace accepts in the "C" locale.
inline constexpr std::string_view kWhitespace = " \t\n\v\f\r";

// `text` without the characters of `strip` at either end.
std::string_view Trim(std::string_view text, std::string_view strip);
// At most `maxBytes` bytes of `text`, never ending inside a UTF-8 sequence.
std::string CutUtf8(std::string_view text, std::size_t maxBytes);

// `text` with every character that could break a line, drive a terminal or garble a
// display replaced by `replacement`: the C0 bytes and DEL, the C1 characters U+0080 to
// U+009F (one replacement each), and every byte that does not belong to a valid UTF-8
// sequence. Valid characters from U+00A0 up stay as they are.
std::string ReplaceControlCharacters(std::string_view text, char replacement = '?');
// True when ReplaceControlCharacters would change `text`.
bool HasControlCharacters(std::string_view text);

// `text` without blanks (spaces and tabs) at either end.
inline std::string_view TrimBlanks(std::string_view text) { return Trim(text, kBlanks); }

char LowerAscii(char c);
std::string ToLowerAscii(std::string_view text);
// True when `a` and `b` are equal once ASCII letters are folded.
bool EqualsNoCase(std::string_view a, std::string_view b);

// What comes before the digits of a leading integer may be skipped.
enum class LeadingSpace { Blanks, Whitespace };
// What a value beyond 64 bits becomes: the nearest limit, or its low 64 bits.
enum class IntegerOverflow { Saturate, Wrap };
// The leading decimal integer of `text`: the `space` characters skipped, one sign, the
// digits up to the first other character; no digits gives 0.
std::int64_t LeadingInteger(std::string_view text, LeadingSpace space = LeadingSpace::Whitespace,
                            IntegerOverflow overflow = IntegerOverflow::Saturate);
// As the profile readers take an int: blanks skipped, saturated at the int limits.
int LeadingInt(std::string_view text);
