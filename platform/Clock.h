// Wall-clock time as the server shows and compares it.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// Calendar time in whole seconds.
std::int64_t NowSeconds();
// Milliseconds of the monotonic clock, for measuring intervals (it never goes back).
std::int64_t SteadyMilliseconds();
// `seconds` as local time through strftime's `format`.
std::string FormatLocalTime(std::int64_t seconds, const char* format);
// `seconds` as UTC through strftime's `format`.
std::string FormatUtcTime(std::int64_t seconds, const char* format);
// Broken-down local time of `seconds`.
std::tm LocalTime(std::int64_t seconds);
// Reads "YYYYMMDDHHMMSS" (UTC, as in MDTM and MFMT) into seconds since the epoch.
// False when the text is not exactly that or names a day that does not exist (year 0,
// month 13, February 29th of a common year, April 31st, ...).
[[nodiscard]] bool ParseUtcTimestamp(const std::string& text, std::int64_t& seconds);
