// Small text helpers of the configuration readers (the shared ones: platform/Text.h).
#pragma once
#include <string>
#include <string_view>

namespace config {

// At most `maxBytes` bytes of `text`, never ending inside a UTF-8 sequence.
std::string CutUtf8(std::string_view text, std::size_t maxBytes);

}  // namespace config
