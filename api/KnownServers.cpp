#include "api/KnownServers.h"

#include <sstream>

#include "config/TextFile.h"
#include "platform/FileSystem.h"
#include "platform/FileUtil.h"
#include "platform/ProgramDir.h"
#include "platform/TlsPinning.h"

namespace {

constexpr std::size_t kMaxKnownServersBytes = 1 << 20;
constexpr std::size_t kMaxLastServerBytes = 1024;

std::string ConfigFile(const char* name) {
    const std::string dir = UserConfigDir();
    return dir.empty() ? std::string() : WithTrailingSlash(dir) + "tarvona/" + name;
}

bool WritePrivateFile(const std::string& file, const std::string& text, std::string& error) {
    if (file.empty()) {
        error = "HOME is not set, so there is no configuration directory";
        return false;
    }
    if (!MakeDirectories(file.substr(0, file.rfind('/')), &error)) return false;
    return platform::ReplaceFileAtomically(file, text, 0600, &error);
}

}  // namespace

std::string KnownServersFile() { return ConfigFile("known_servers"); }

std::string ServerKey(const ServerUrl& server) {
    const bool v6 = server.host.find(':') != std::string::npos;
    return (v6 ? "[" + server.host + "]" : server.host) + ":" + std::to_string(server.port);
}

std::string KnownFingerprint(const std::string& key, std::string& error) {
    error.clear();
    const std::string file = KnownServersFile();
    std::string text;
    if (file.empty() ||
        ReadTextFile(file, kMaxKnownServersBytes, &text, &error) == FileReadResult::Failed)
        return {};
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string name, fingerprint;
        // A line that is not "KEY FINGERPRINT" pins nothing; CanonicalFingerprint gives
        // nothing for a garbled fingerprint.
        if (words >> name >> fingerprint && name == key) return CanonicalFingerprint(fingerprint);
    }
    return {};
}

bool RememberFingerprint(const std::string& key, const std::string& fingerprint,
                         std::string& error) {
    const std::string canonical = CanonicalFingerprint(fingerprint);
    if (canonical.empty() || key.empty() || key.find_first_of(" \t\r\n") != std::string::npos) {
        error = "\"" + key + " " + fingerprint + "\" cannot be remembered";
        return false;
    }
    const std::string file = KnownServersFile();
    std::string text;
    if (!file.empty() &&
        ReadTextFile(file, kMaxKnownServersBytes, &text, &error) == FileReadResult::Failed)
        return false;
    std::istringstream lines(text);
    std::string kept, line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string name;
        if (words >> name && name == key) continue;  // replaced below
        kept += line + '\n';
    }
    kept += key + ' ' + canonical + '\n';
    return WritePrivateFile(file, kept, error);
}

bool RememberedServer(ServerUrl& server) {
    const std::string file = ConfigFile("window_server");
    std::string text, error;
    if (file.empty() ||
        ReadTextFile(file, kMaxLastServerBytes, &text, &error) != FileReadResult::Read)
        return false;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return ParseServerUrl("https://" + text, server, error);
}

bool RememberServer(const ServerUrl& server, std::string& error) {
    return WritePrivateFile(ConfigFile("window_server"), ServerKey(server) + '\n', error);
}
