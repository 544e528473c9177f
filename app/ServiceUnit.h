// The systemd user unit that runs tarvona-server without the window.
#pragma once

#include <optional>
#include <string>

inline constexpr const char* kServiceUnitName = "tarvona.service";
// The port of the option.ini that installing the user service writes: a user without
// privileges cannot bind port 21.
inline constexpr int kUserServicePort = 2121;

// The directory of the user's own units: $XDG_CONFIG_HOME/systemd/user when that is an
// absolute path, else $HOME/.config/systemd/user; empty when HOME is not set either.
std::string UserUnitDir();

// The unit text for `serverPath` serving `programDir`; nullopt when a path holds a line
// break or a zero byte, which no unit line can carry.
std::optional<std::string> ServiceUnitText(const std::string& serverPath,
                                           const std::string& programDir);

// The option.ini installing the user service writes where there is none yet.
std::string UserServiceOptions();
