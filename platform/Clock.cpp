#include "platform/Clock.h"

#include <time.h>

std::int64_t NowSeconds() { return static_cast<std::int64_t>(::time(nullptr)); }

std::tm LocalTime(std::int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm out{};
    ::localtime_r(&t, &out);
    return out;
}

static std::string Format(const std::tm& when, const char* format) {
    char text[128];
    std::size_t n = std::strftime(text, sizeof text, format, &when);
    return std::string(text, n);
}

std::string FormatLocalTime(std::int64_t seconds, const char* format) {
    return Format(LocalTime(seconds), format);
}

std::string FormatUtcTime(std::int64_t seconds, const char* format) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm out{};
    ::gmtime_r(&t, &out);
    return Format(out, format);
}
