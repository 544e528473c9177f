// SECURITY: the account tables hold passwords in a reversible form, so they belong to
// their owner alone. New tables are made 0600; this narrows tables left from before.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// True for the file names of the account tables: "user.sdb", "group.sdb",
// "vfolder_user<id>.sdb" and "vfolder_group<id>.sdb".
bool IsAccountTableName(std::string_view name);

struct TableModeChange {
    std::string path;
    std::uint32_t oldMode = 0;  // permission bits before
    bool narrowed = false;      // false: the mode could not be changed
};

// Sets every account table in `programDir` (ending with "/") whose mode lets group or
// others in to 0600, and reports each one it found so. Any thread.
std::vector<TableModeChange> NarrowTableModes(const std::string& programDir);
