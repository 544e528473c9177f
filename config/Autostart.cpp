#include "config/Autostart.h"

#include "platform/FileSystem.h"
#include "platform/FileUtil.h"
#include "platform/ProgramDir.h"

namespace {

bool SetError(std::string* error, std::string why) {
    if (error != nullptr) *error = std::move(why);
    return false;
}

// Exec= wants each argument quoted with \" \` \$ \\ escaped, and the value itself is a
// string in which "\" is escaped again; "%" starts a field code and is doubled.
std::string QuoteExecArgument(const std::string& arg) {
    std::string out = "\"";
    for (const char c : arg) {
        if (c == '"' || c == '`' || c == '$') out += "\\\\";
        if (c == '\\') out += "\\\\\\";
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::string DefaultAutostartDir() {
    const std::string config = UserConfigDir();
    return config.empty() ? std::string() : config + "/autostart";
}

std::string AutostartEntryText(const std::string& executablePath) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tarvona FTP Server\n"
           "Exec=" +
           QuoteExecArgument(executablePath) +
           "\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool ApplyStartupOption(int startup, const std::string& executablePath,
                        const std::string& autostartDir, std::string* error) {
    if (autostartDir.empty()) return SetError(error, "no autostart directory (HOME not set)");
    const std::string file = autostartDir + "/" + kAutostartFileName;
    if (startup != 1) return RemoveFileIfPresent(file, error);
    if (executablePath.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return SetError(error, "executable path holds a line break");
    if (!MakeDirectories(autostartDir, error)) return false;
    return platform::ReplaceFileAtomically(file, AutostartEntryText(executablePath), 0644, error);
}
