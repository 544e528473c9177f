// The shape of an activity-log line and what of a received command line may be logged.
#pragma once
#include <ctime>
#include <string>
#include <string_view>

// "[%Y-%m-%d %H:%M:%S]  " in local time (two blanks), then `text`. Control characters in
// `text` (C0, DEL, C1) and invalid UTF-8 become "?" (ReplaceControlCharacters), so one call
// makes exactly one line, a client cannot forge extra lines, and no terminal sequence
// reaches a console. Safe from any thread.
std::string MakeLogLine(std::string_view text);
std::string MakeLogLine(std::string_view text, std::time_t when);
// The text of a line MakeLogLine made, without its time stamp (for outputs that stamp
// lines themselves); any other line unchanged.
std::string_view LogLineText(std::string_view line);

// What may be shown of a command line as received (without its CR LF): the line, but
// cut after its first word PASS in any letter case, wherever it stands, and ending in
// "PASS ****" (leading blanks dropped; the word is bounded by the line's ends or by bytes
// other than letters and digits), so no password, nor its length or emptiness, reaches
// the screen, the window or the files.
std::string MaskedCommandLine(std::string_view receivedLine);
// The log text of a command line as received: ">> " and MaskedCommandLine.
std::string MaskPassword(std::string_view receivedLine);

// What the log may show of a received chunk: at most `maxBytes` of `chunk`, where the
// rest of a line after a word PASS (any letter case) is shown as "****". `before` is
// what was received before `chunk`; the PASS of a line may stand there.
std::string MaskPasswordsInChunk(std::string_view before, std::string_view chunk,
                                 std::size_t maxBytes);
