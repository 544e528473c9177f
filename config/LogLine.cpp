#include "config/LogLine.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/Text.h"

namespace {

bool IsAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// True when a word PASS (any letter case) starts at `at`.
bool IsPassWordAt(std::string_view text, std::size_t at) {
    if (text.size() - at < 4 || !EqualsNoCase(text.substr(at, 4), "PASS")) return false;
    const bool startsWord = at == 0 || !IsAlnum(text[at - 1]);
    const bool endsWord = at + 4 == text.size() || !IsAlnum(text[at + 4]);
    return startsWord && endsWord;
}

}  // namespace

std::string MakeLogLine(std::string_view text) {
    return MakeLogLine(text, static_cast<std::time_t>(NowSeconds()));
}

std::string MakeLogLine(std::string_view text, std::time_t when) {
    // SECURITY: a line break inside a received line must not start a forged log line,
    // nor an escape sequence (C0 or C1, or bytes a terminal would misread) drive the
    // terminal that shows the log.
    return FormatLocalTime(when, "[%Y-%m-%d %H:%M:%S]  ") + ReplaceControlCharacters(text);
}

std::string_view LogLineText(std::string_view line) {
    // "[YYYY-MM-DD HH:MM:SS]  ": 23 characters.
    constexpr std::size_t kStampLength = 23;
    if (line.size() < kStampLength || line.front() != '[' || line.substr(20, 3) != "]  ")
        return line;
    return line.substr(kStampLength);
}

std::string MaskedCommandLine(std::string_view receivedLine) {
    std::string_view rest = receivedLine;
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    // SECURITY: the password never reaches the log, not even its length. A client may
    // put other bytes before the keyword (a telnet interrupt, a NUL): whatever follows
    // the first word PASS of the line is masked.
    for (std::size_t at = 0; at < rest.size(); ++at) {
        if (IsPassWordAt(rest, at)) return std::string(rest.substr(0, at)) + "PASS ****";
    }
    return std::string(receivedLine);
}

std::string MaskPassword(std::string_view receivedLine) {
    return ">> " + MaskedCommandLine(receivedLine);
}

std::string MaskPasswordsInChunk(std::string_view before, std::string_view chunk,
                                 std::size_t maxBytes) {
    const auto lastBreak = before.find_last_of("\r\n");
    std::string text(lastBreak == std::string_view::npos ? before : before.substr(lastBreak + 1));
    const std::size_t chunkStart = text.size();
    text.append(chunk);
    const std::size_t end = chunkStart + std::min(chunk.size(), maxBytes);
    std::string shown;
    std::size_t secretFrom = std::string::npos;  // start of the masked rest of this line
    for (std::size_t i = 0; i < end; ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n')
            secretFrom = std::string::npos;
        else if (secretFrom == std::string::npos && IsPassWordAt(text, i))
            secretFrom = i + 4;
        const bool secret = secretFrom != std::string::npos && i >= secretFrom;
        if (i < chunkStart) continue;
        // SECURITY: neither the password nor its length reaches the log.
        if (!secret)
            shown += c;
        else if (i == secretFrom)
            shown += " ****";
        else if (i == chunkStart)
            shown += "****";
    }
    return shown;
}
