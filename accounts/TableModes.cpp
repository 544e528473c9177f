#include "accounts/TableModes.h"

#include <cctype>

#include "platform/DirEntries.h"
#include "platform/FileSystem.h"

namespace {

constexpr std::uint32_t kOwnerOnly = 0600;
constexpr std::uint32_t kGroupAndOthers = 0077;

bool IsFolderTableName(std::string_view name, std::string_view prefix) {
    constexpr std::string_view kSuffix = ".sdb";
    if (name.size() <= prefix.size() + kSuffix.size() || !name.starts_with(prefix) ||
        !name.ends_with(kSuffix))
        return false;
    const std::string_view id =
        name.substr(prefix.size(), name.size() - prefix.size() - kSuffix.size());
    for (char c : id)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

bool IsAccountTableName(std::string_view name) {
    return name == "user.sdb" || name == "group.sdb" || IsFolderTableName(name, "vfolder_user") ||
           IsFolderTableName(name, "vfolder_group");
}

std::vector<TableModeChange> NarrowTableModes(const std::string& programDir) {
    std::vector<TableModeChange> changes;
    std::vector<DirEntry> entries;
    if (!ListDirectory(programDir, entries)) return changes;
    for (const DirEntry& entry : entries) {
        if (entry.isDirectory || !IsAccountTableName(entry.name) ||
            (entry.mode & kGroupAndOthers) == 0)
            continue;
        TableModeChange change;
        change.path = programDir + entry.name;
        change.oldMode = entry.mode;
        change.narrowed = SetPermissionBits(change.path, kOwnerOnly);
        changes.push_back(std::move(change));
    }
    return changes;
}
