// Bounds of the configuration files and the log, in one place so the checks and the tests agree.
#pragma once
#include <cstddef>

namespace config {

// A profile value is read into 255 characters; longer values are cut when read.
inline constexpr std::size_t kMaxProfileValue = 255;

// An options file larger than this is not a file we wrote; it is refused rather than loaded.
inline constexpr std::size_t kMaxOptionFileSize = 1024 * 1024;

// An IP list file is read up to this size; a larger one is refused and the list kept as it was.
inline constexpr std::size_t kMaxIpListFileSize = 4 * 1024 * 1024;

// Longest part of a dotted IPv4 filter entry ("255" or "*").
inline constexpr std::size_t kMaxIpEntryPart = 3;

}  // namespace config
