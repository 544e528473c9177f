// Bounds of the account store beside the field widths (accounts/AccountFields.h).
#pragma once

#include <cstddef>

inline constexpr std::size_t kMaxGroupNotes = 127;  // the editors cut notes here

// The comma-scrambled password: one number per character.
inline constexpr char kScrambleKey[] = "quilbex";
inline constexpr std::size_t kScrambleKeyLength = sizeof kScrambleKey - 1;
