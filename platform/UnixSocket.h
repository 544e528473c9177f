// Local stream sockets for the administrator's control channel: one short request line
// per connection, every wait bounded.
#pragma once

#include <string>

#include "platform/UniqueFd.h"

// Listens on the socket file `path`, reachable by this user only (created 0600, never
// wider for a moment). A leftover file nobody answers on is replaced; a file another process
// answers on is left alone (false). False with the reason in `error` on any failure.
[[nodiscard]] bool OpenUnixListener(const std::string& path, UniqueFd& out, std::string& error);
// The next connection within `timeoutMs`; an invalid UniqueFd when none came.
UniqueFd AcceptUnixWithin(int listenFd, int timeoutMs);
// True when the peer of the connected local socket `fd` runs as this process's user.
bool PeerIsSameUser(int fd);
// Connects to the socket file `path`; false with the reason in `error`.
[[nodiscard]] bool ConnectUnix(const std::string& path, UniqueFd& out, std::string& error);
// Reads up to the first LF (not kept) within `timeoutMs`, at most `maxBytes`. False on
// time-out, overflow, or a close before the LF.
[[nodiscard]] bool ReadLineWithin(int fd, std::string& line, std::size_t maxBytes, int timeoutMs);
// Reads everything until the peer closes, within `timeoutMs`, at most `maxBytes`.
[[nodiscard]] bool ReadAllWithin(int fd, std::string& text, std::size_t maxBytes, int timeoutMs);
// Writes all of `text` within `timeoutMs`.
[[nodiscard]] bool WriteAllWithin(int fd, const std::string& text, int timeoutMs);
