// The listening side of the administrator's control socket: an owner-only socket file,
// and the check of who connects.
#pragma once

#include <string>

#include "platform/UniqueFd.h"

// Listens on the socket file `path`, reachable by this user only (created 0600, never
// wider for a moment). A leftover file nobody answers on is replaced; a file another process
// answers on is left alone (false). False with the reason in `error` on any failure.
[[nodiscard]] bool OpenUnixListener(const std::string& path, UniqueFd& out, std::string& error);
// True when the peer of the connected local socket `fd` runs as this process's user.
bool PeerIsSameUser(int fd);
