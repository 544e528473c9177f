// The "Startup" option on Linux: an XDG autostart entry that starts the program when the
// user's desktop session starts. File: <autostart dir>/tarvona.desktop, where the
// directory is $XDG_CONFIG_HOME/autostart, or ~/.config/autostart without it:
//   [Desktop Entry]
//   Type=Application
//   Name=Tarvona FTP Server
//   Exec="<executable path, quoted and escaped as the entry format asks>"
//   X-GNOME-Autostart-enabled=true
#pragma once
#include <string>

// Name of the entry inside the autostart directory.
inline constexpr const char* kAutostartFileName = "tarvona.desktop";

// The autostart directory of the current user: $XDG_CONFIG_HOME/autostart when that is an
// absolute path, else $HOME/.config/autostart; empty when HOME is not set either.
std::string DefaultAutostartDir();

// The text of the entry that runs `executablePath` (no arguments).
std::string AutostartEntryText(const std::string& executablePath);

// Applies a "Startup" value: 1 writes the entry for `executablePath` (creating the
// directory), any other value removes it; removing an absent entry succeeds. False with
// `*error` set when the directory is empty, the path holds a line break, or the file
// cannot be written or removed; the caller may ignore the failure, as the option page does.
[[nodiscard]] bool ApplyStartupOption(int startup, const std::string& executablePath,
                                      const std::string& autostartDir, std::string* error);
