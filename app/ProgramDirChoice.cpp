#include "app/ProgramDirChoice.h"

#include "platform/FileSystem.h"
#include "platform/ProgramDir.h"

namespace {

bool IsAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

// The last component of a directory written with a trailing "/".
std::string LastComponent(const std::string& dir) {
    std::string trimmed = dir;
    while (!trimmed.empty() && trimmed.back() == '/') trimmed.pop_back();
    const auto slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

// NOTE: an installed binary's directory is never taken, even where the user may write
// it (root may write /usr/sbin): data files would land among the system's programs.
bool IsBuildTree(const ProgramDirInputs& in) {
    if (in.executableDir.empty() || !in.executableDirWritable) return false;
    const std::string last = LastComponent(in.executableDir);
    return last != "bin" && last != "sbin";
}

}  // namespace

ProgramDirChoice DecideProgramDir(const ProgramDirInputs& in) {
    if (!in.option.empty()) return {WithTrailingSlash(AbsolutePath(in.option)), "given by --dir"};
    if (!in.tarvonaHome.empty())
        return {WithTrailingSlash(AbsolutePath(in.tarvonaHome)), "given by TARVONA_HOME"};
    if (IsBuildTree(in)) return {in.executableDir, "the executable's directory, a build tree"};
    if (IsAbsolute(in.xdgDataHome))
        return {WithTrailingSlash(in.xdgDataHome) + "tarvona/", "$XDG_DATA_HOME/tarvona"};
    if (IsAbsolute(in.home))
        return {WithTrailingSlash(in.home) + ".local/share/tarvona/", "~/.local/share/tarvona"};
    return {{},
            "no program directory: HOME is not set (nor XDG_DATA_HOME); give --dir DIR "
            "or set TARVONA_HOME"};
}

ProgramDirChoice ExplainProgramDir(const std::string& optionDir) {
    ProgramDirInputs in;
    in.option = optionDir;
    in.tarvonaHome = EnvironmentValue("TARVONA_HOME");
    in.xdgDataHome = EnvironmentValue("XDG_DATA_HOME");
    in.home = EnvironmentValue("HOME");
    in.executableDir = ExecutableDir();
    in.executableDirWritable = !in.executableDir.empty() && IsWritableDirectory(in.executableDir);
    return DecideProgramDir(in);
}

std::string ProgramDirHelpLine(const std::string& optionDir) {
    const ProgramDirChoice choice = ExplainProgramDir(optionDir);
    if (choice.dir.empty()) return choice.source;
    return "program directory: " + choice.dir + " (" + choice.source + ")";
}
