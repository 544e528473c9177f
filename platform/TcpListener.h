// A listening TCP socket for a service that accepts on its own thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/UniqueFd.h"

// Listens on the numeric address `address` (IPv4 dotted, or IPv6 without brackets; an
// IPv6 socket takes IPv6 peers only, so "::" and "0.0.0.0" can both be listened on) and
// `port`. The socket is non-blocking and close-on-exec. False with the reason in `error`.
[[nodiscard]] bool OpenTcpListener(const std::string& address, std::uint16_t port, UniqueFd& out,
                                   std::string& error);
