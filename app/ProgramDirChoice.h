// Which directory holds the data files: shared by every binary.
#pragma once

#include <string>

// What the choice depends on; every text is empty when not given or not set.
struct ProgramDirInputs {
    std::string option;         // --dir
    std::string tarvonaHome;    // $TARVONA_HOME
    std::string xdgDataHome;    // $XDG_DATA_HOME
    std::string home;           // $HOME
    std::string executableDir;  // ends with "/"
    bool executableDirWritable = false;
};

// The program directory (ending with "/") and where it came from, for --help. When no
// directory can be chosen, `dir` is empty and `source` says why.
struct ProgramDirChoice {
    std::string dir;
    std::string source;
};

// `option` when given, else $TARVONA_HOME, else the executable's directory when the
// program runs from its build tree (a writable directory not named "bin" or "sbin"),
// else "tarvona" in $XDG_DATA_HOME, else ~/.local/share/tarvona. Relative names are
// taken against the working directory; an $XDG_DATA_HOME that is not absolute is
// ignored, as the XDG base directory rules say.
ProgramDirChoice DecideProgramDir(const ProgramDirInputs& inputs);
// DecideProgramDir over the environment and the running executable.
ProgramDirChoice ExplainProgramDir(const std::string& optionDir);
// "program directory: DIR (SOURCE)", or the reason there is none, for --help.
std::string ProgramDirHelpLine(const std::string& optionDir);
