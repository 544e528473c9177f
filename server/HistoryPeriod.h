// The calendar of the transfer history: days as numbers (days since 1970-01-01 in the
// proleptic Gregorian calendar), months as numbers (year * 12 + month - 1), and their
// texts in stats.sdb ("2026-12-10", "2026-12"). Pure arithmetic: no time zone inside.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The local calendar day of `seconds` (calendar time).
std::int32_t LocalDayOf(std::int64_t seconds);

std::int32_t DayFromDate(int year, int month, int day);  // month and day from 1
void DateOfDay(std::int32_t dayNumber, int& year, int& month, int& day);

std::int32_t MonthOfDay(std::int32_t dayNumber);
std::int32_t FirstDayOfMonth(std::int32_t monthNumber);
// The Monday on or before `dayNumber`: weeks run Monday to Sunday (ISO 8601).
std::int32_t WeekStartOfDay(std::int32_t dayNumber);

std::string DayText(std::int32_t dayNumber);      // "YYYY-MM-DD"
std::string MonthText(std::int32_t monthNumber);  // "YYYY-MM"

// Strict readers of the two texts: exactly that shape, a date that exists, years 1970
// to 9999. False otherwise.
[[nodiscard]] bool ParseDayText(std::string_view text, std::int32_t& dayNumber);
[[nodiscard]] bool ParseMonthText(std::string_view text, std::int32_t& monthNumber);
