#include "platform/StringFormat.h"

#include <cstdio>

std::string StringFormatV(const char* format, va_list args) {
    char small[512];
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0) return {};
    const auto length = static_cast<std::size_t>(needed);
    if (length < sizeof small) return std::string(small, length);
    std::string out(length + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<std::size_t>(needed));
    return out;
}

std::string StringFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = StringFormatV(format, args);
    va_end(args);
    return out;
}
