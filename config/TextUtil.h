// Small text helpers of the configuration readers (the shared ones: platform/Text.h).
#pragma once
#include <string>
#include <string_view>

namespace config {

// True for the ASCII control bytes 0x00 to 0x1F and 0x7F.
inline bool IsControlByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

}  // namespace config
