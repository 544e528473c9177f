// The creation of the account tables. The server itself never needs a particular layout
// of user.sdb or group.sdb (it reads fields by name); the layouts this system writes when
// it creates the tables on first start are the rows of accounts/AccountFields.h.
#pragma once

#include <string>

class CKorvTable;

// Defines the fields and keys of each table on `table` (before Create).
[[nodiscard]] bool DefineUserTable(CKorvTable& table);
[[nodiscard]] bool DefineGroupTable(CKorvTable& table);
[[nodiscard]] bool DefineFolderTable(CKorvTable& table);

// Creates (or empties) the folder table at `path`; the table is then open for writing.
// False, with the reason in `error`, when it cannot be created.
[[nodiscard]] bool CreateFolderTable(CKorvTable& table, const std::string& path,
                                     std::string& error);

// First start: creates an empty user.sdb and group.sdb in `programDir` when missing.
// A table that exists is never touched, also when another process creates it at the
// same moment (the new file is built aside and linked into place only if the name is
// still free). False, with the reason in `error`, when a missing table cannot be made.
[[nodiscard]] bool EnsureAccountTables(const std::string& programDir, std::string& error);
