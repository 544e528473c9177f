#include "platform/Clock.h"

#include <time.h>

#include <chrono>

std::int64_t NowSeconds() { return static_cast<std::int64_t>(::time(nullptr)); }

std::int64_t SteadyMilliseconds() {
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count();
}

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

namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// `month` counts from 0.
int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 1 && IsLeapYear(year) ? 29 : kDays[month];
}

}  // namespace

bool ParseUtcTimestamp(const std::string& text, std::int64_t& seconds) {
    if (text.size() != 14) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    auto number = [&](std::size_t at, std::size_t length) {
        return std::stoi(text.substr(at, length));
    };
    std::tm when{};
    when.tm_year = number(0, 4) - 1900;
    when.tm_mon = number(4, 2) - 1;
    when.tm_mday = number(6, 2);
    when.tm_hour = number(8, 2);
    when.tm_min = number(10, 2);
    when.tm_sec = number(12, 2);
    // timegm would carry a day that does not exist (February 29th of 2021) into the
    // next month; such a date is refused instead. Second 60 is a leap second.
    const int year = number(0, 4);
    if (year < 1 || when.tm_mon < 0 || when.tm_mon > 11 || when.tm_mday < 1 ||
        when.tm_mday > DaysInMonth(year, when.tm_mon) || when.tm_hour > 23 || when.tm_min > 59 ||
        when.tm_sec > 60)
        return false;
    seconds = static_cast<std::int64_t>(::timegm(&when));
    return true;
}
