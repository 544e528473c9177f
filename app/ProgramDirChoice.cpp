#include "app/ProgramDirChoice.h"

#include <filesystem>

#include "platform/ProgramDir.h"

std::string ChooseProgramDir(const std::string& optionDir) {
    std::string dir = optionDir;
    if (dir.empty()) dir = EnvironmentValue("TARVONA_HOME");
    if (dir.empty()) return ExecutableDir();
    std::error_code ignored;
    auto absolute = std::filesystem::absolute(dir, ignored);
    return WithTrailingSlash(absolute.empty() ? dir : absolute.string());
}
