#include "app/ProgramDirChoice.h"

#include "platform/FileSystem.h"
#include "platform/ProgramDir.h"

std::string ChooseProgramDir(const std::string& optionDir) {
    std::string dir = optionDir;
    if (dir.empty()) dir = EnvironmentValue("TARVONA_HOME");
    if (dir.empty()) return ExecutableDir();
    return WithTrailingSlash(AbsolutePath(dir));
}
