// printf-style formatting into a std::string.
#pragma once

#include <cstdarg>
#include <string>

std::string StringFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string StringFormatV(const char* format, va_list args);
