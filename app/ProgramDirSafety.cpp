#include "app/ProgramDirSafety.h"

#include "accounts/TableModes.h"
#include "config/IpFilter.h"
#include "platform/DirEntries.h"
#include "platform/PathExposure.h"
#include "platform/StringFormat.h"
#include "server/HistoryFile.h"

namespace {

struct CheckedPath {
    std::string what;
    std::string path;
};

std::vector<CheckedPath> PathsToCheck(const std::string& programDir) {
    std::vector<CheckedPath> paths{
        {"program directory", programDir},
        {"options file", programDir + "option.ini"},
        {"IP list", programDir + CIpFilter::FileName(CIpFilter::List::Allow)},
        {"IP list", programDir + CIpFilter::FileName(CIpFilter::List::Deny)},
        {"log folder", programDir + "log"},
        {"transfer history", HistoryTablePath(programDir)},
    };
    std::vector<DirEntry> entries;
    if (ListDirectory(programDir, entries))
        for (const DirEntry& entry : entries)
            if (IsAccountTableName(entry.name))
                paths.push_back({"account table", programDir + entry.name});
    return paths;
}

}  // namespace

std::vector<std::string> ExposedProgramFiles(const std::string& programDir) {
    std::vector<std::string> messages;
    for (const CheckedPath& checked : PathsToCheck(programDir)) {
        const PathExposure exposure = ExposureOf(checked.path);
        if (!exposure.exposed) continue;
        messages.push_back(StringFormat(
            "The %s %s is %s (mode %04o): another local user could change it. The server "
            "does not start until only its owner may write it (chown, chmod go-w).",
            checked.what.c_str(), checked.path.c_str(), exposure.why.c_str(), exposure.mode));
    }
    return messages;
}
