#include "config/TextUtil.h"

namespace config {
std::string CutUtf8(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    std::size_t end = maxBytes;
    // Back off over continuation bytes to the start of the sequence that was cut.
    std::size_t lead = end;
    while (lead > 0 && (static_cast<unsigned char>(text[lead]) & 0xC0) == 0x80) --lead;
    if (lead != end) end = lead;
    return std::string(text.substr(0, end));
}

}  // namespace config
