// Reading a password typed by the person at the terminal, or piped in by a script.
#pragma once

#include <optional>
#include <string>

// True when standard input is a terminal (a person types).
bool IsTerminalInput();

// One line of standard input without its line end. When standard input is a terminal,
// `prompt` is shown on standard error first and what is typed is not echoed. Nothing
// when standard input has ended, cannot be read, or the line passes `maxBytes`.
std::optional<std::string> ReadSecretLine(const std::string& prompt, std::size_t maxBytes);
