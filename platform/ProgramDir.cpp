#include "platform/ProgramDir.h"

#include <unistd.h>

#include <cstdlib>

std::string ExecutableDir() {
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    std::string exe(path, static_cast<std::size_t>(n));
    auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

std::string WithTrailingSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string UserConfigDir() {
    const std::string xdg = EnvironmentValue("XDG_CONFIG_HOME");
    if (xdg.starts_with('/')) return xdg;
    const std::string home = EnvironmentValue("HOME");
    return home.empty() ? std::string() : home + "/.config";
}

bool IsWritableDirectory(const std::string& dir) { return ::access(dir.c_str(), W_OK | X_OK) == 0; }
