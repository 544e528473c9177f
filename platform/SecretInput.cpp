#include "platform/SecretInput.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

// Restores the terminal's echo however the read ends.
class CEchoOff {
public:
    CEchoOff() : m_active(::tcgetattr(STDIN_FILENO, &m_saved) == 0) {
        if (!m_active) return;
        termios quiet = m_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        m_active = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    ~CEchoOff() {
        if (m_active) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved);
    }
    CEchoOff(const CEchoOff&) = delete;
    CEchoOff& operator=(const CEchoOff&) = delete;

private:
    termios m_saved{};
    bool m_active;
};

// Byte by byte, so nothing after the line is taken from a pipe that holds more.
std::optional<std::string> ReadLine(std::size_t maxBytes) {
    std::string line;
    for (;;) {
        char c = 0;
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return line.empty() ? std::nullopt : std::optional(line);
        if (c == '\n') break;
        if (line.size() == maxBytes) return std::nullopt;
        line += c;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

bool IsTerminalInput() { return ::isatty(STDIN_FILENO) == 1; }

std::optional<std::string> ReadSecretLine(const std::string& prompt, std::size_t maxBytes) {
    if (!IsTerminalInput()) return ReadLine(maxBytes);
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    std::optional<std::string> line;
    {
        CEchoOff quiet;
        line = ReadLine(maxBytes);
    }
    std::fputs("\n", stderr);
    return line;
}
