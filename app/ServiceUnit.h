// The systemd user unit that runs tarvona-server without the window.
#pragma once

#include <optional>
#include <string>

inline constexpr const char* kServiceUnitName = "tarvona.service";

// The directory of the user's own units: $XDG_CONFIG_HOME/systemd/user when that is an
// absolute path, else $HOME/.config/systemd/user; empty when HOME is not set either.
std::string UserUnitDir();

// The unit text for `serverPath` serving `programDir`; nullopt when a path holds a line
// break or a zero byte, which no unit line can carry.
std::optional<std::string> ServiceUnitText(const std::string& serverPath,
                                           const std::string& programDir);
