#include "server/HistoryPeriod.h"

#include <cstdio>

#include "platform/Clock.h"

namespace {

constexpr int kFirstYear = 1970;
constexpr int kLastYear = 9999;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Reads `count` decimal digits at `at`; false on anything else.
bool ReadDigits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool ReadYearMonth(std::string_view text, int& year, int& month) {
    return ReadDigits(text, 0, 4, year) && text[4] == '-' && ReadDigits(text, 5, 2, month) &&
           year >= kFirstYear && year <= kLastYear && month >= 1 && month <= 12;
}

}  // namespace

std::int32_t LocalDayOf(std::int64_t seconds) {
    const std::tm local = LocalTime(seconds);
    return DayFromDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

// The civil-from-days pair of Howard Hinnant's "chrono-compatible low-level date
// algorithms": eras of 400 years, March-based years so that February comes last.
std::int32_t DayFromDate(int year, int month, int day) {
    const int y = month <= 2 ? year - 1 : year;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void DateOfDay(std::int32_t dayNumber, int& year, int& month, int& day) {
    const std::int32_t z = dayNumber + 719468;
    const std::int32_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int32_t dayOfEra = z - era * 146097;
    const std::int32_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int32_t mp = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

std::int32_t MonthOfDay(std::int32_t dayNumber) {
    int year = 0, month = 0, day = 0;
    DateOfDay(dayNumber, year, month, day);
    return year * 12 + month - 1;
}

std::int32_t FirstDayOfMonth(std::int32_t monthNumber) {
    return DayFromDate(monthNumber / 12, monthNumber % 12 + 1, 1);
}

std::int32_t WeekStartOfDay(std::int32_t dayNumber) {
    // Day 0 (1970-01-01) was a Thursday: Monday is 3 days before it.
    const std::int32_t sinceMonday = ((dayNumber + 3) % 7 + 7) % 7;
    return dayNumber - sinceMonday;
}

std::string DayText(std::int32_t dayNumber) {
    int year = 0, month = 0, day = 0;
    DateOfDay(dayNumber, year, month, day);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
}

std::string MonthText(std::int32_t monthNumber) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d", monthNumber / 12, monthNumber % 12 + 1);
    return text;
}

bool ParseDayText(std::string_view text, std::int32_t& dayNumber) {
    int year = 0, month = 0, day = 0;
    if (text.size() != 10 || !ReadYearMonth(text, year, month) || text[7] != '-' ||
        !ReadDigits(text, 8, 2, day) || day < 1 || day > DaysInMonth(year, month))
        return false;
    dayNumber = DayFromDate(year, month, day);
    return true;
}

bool ParseMonthText(std::string_view text, std::int32_t& monthNumber) {
    int year = 0, month = 0;
    if (text.size() != 7 || !ReadYearMonth(text, year, month)) return false;
    monthNumber = year * 12 + month - 1;
    return true;
}
