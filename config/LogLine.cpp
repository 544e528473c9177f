#include "config/LogLine.h"

#include "platform/Clock.h"
#include "platform/Text.h"

namespace {

bool IsAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::string MakeLogLine(std::string_view text) { return MakeLogLine(text, static_cast<std::time_t>(NowSeconds())); }

std::string MakeLogLine(std::string_view text, std::time_t when) {
    std::string line = FormatLocalTime(when, "[%Y-%m-%d %H:%M:%S]  ");
    line.reserve(line.size() + text.size());
    // SECURITY: a line break inside a received line must not start a forged log line.
    for (const char c : text) line += (c == '\r' || c == '\n' || c == '\0') ? '?' : c;
    return line;
}

std::string MaskPassword(std::string_view receivedLine) {
    std::string_view rest = receivedLine;
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    // SECURITY: the password never reaches the log, not even its length.
    if (rest.size() >= 4 && EqualsNoCase(rest.substr(0, 4), "PASS") &&
        (rest.size() == 4 || !IsAlnum(rest[4])))
        return ">> PASS ****";
    return ">> " + std::string(receivedLine);
}
