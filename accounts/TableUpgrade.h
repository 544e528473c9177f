// Account tables carry their own fields, so a table made by an earlier release lacks the
// fields added since. An upgrade rewrites such a table with them added (their default
// values) and every stored byte kept; fields a later release added, which this build
// does not know, are kept as they are and never written.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The account tables, told apart by file name.
enum class AccountTableKind { User, Group, Folder };

// user.sdb, group.sdb, vfolder_user<N>.sdb or vfolder_group<N>.sdb; nothing for others.
std::optional<AccountTableKind> AccountTableKindOf(const std::string& path);

// How a table's fields compare with this build's rows.
struct TableFieldReport {
    std::vector<std::string> missing;  // rows the table lacks: an upgrade adds them
    std::vector<std::string> unknown;  // fields no row names: kept, never written
};

// Reads the fields of the table at `path`. False, with the reason in `error`, when it
// cannot be opened or its header is damaged.
[[nodiscard]] bool ReadTableFields(const std::string& path, AccountTableKind kind,
                                   TableFieldReport& report, std::string& error);

// Rewrites the table at `path` with the fields it lacks added: the new table is built
// beside it, holding the old one's lock throughout, flushed to disk and renamed over it;
// the old file stays as `path` + ".bak-" + `backupTag`. Refused, with the original left
// as it was: a damaged table (its records cannot all be read and copied), a backup of
// that name already there, or any failure of the copy (a full disk included). True with
// nothing done when the table lacks nothing. `added` receives the fields added.
[[nodiscard]] bool UpgradeTable(const std::string& path, AccountTableKind kind,
                                const std::string& backupTag, std::vector<std::string>& added,
                                std::string& error);

// Upgrades every account table of `programDir` (ends with "/"). Appends one line per
// upgraded table to `upgraded` and one per table that could not be upgraded to
// `problems`.
void UpgradeAccountTables(const std::string& programDir, const std::string& backupTag,
                          std::vector<std::string>& upgraded, std::vector<std::string>& problems);

// The backups earlier upgrades left in `programDir` ("<table>.sdb.bak-<tag>").
std::vector<std::string> UpgradeBackups(const std::string& programDir);
