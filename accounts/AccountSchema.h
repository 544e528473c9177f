// The layouts of the account tables and their creation. The server itself never needs a
// particular layout of user.sdb or group.sdb (it reads fields by name); these are the
// layouts this system writes when it creates the tables on first start.
//
// user.sdb                                group.sdb
//   NO  FIELD           TYPE    WIDTH       NO  FIELD   TYPE     WIDTH
//    0  "id"            AutoInc     4        0  "id"    AutoInc      4
//    1  "userid"        Text       64        1  "name"  Text        64
//    2  "password"      Text      128        2  "notes" Text       128
//    3  "email"         Text      128     keys: 0 "id" (unique, field 0),
//    4  "group"         Text      256           1 "name" (unique, field 1,
//    5  "homedir"       Text      512             letter case ignored)
//    6  "status"        Long        4
//    7  "reserved"      Text       32     vfolder_user%d.sdb / vfolder_group%d.sdb:
//    8  "read" .. 16 "dir_rename"            the fixed folder layout (CreateFolderTable),
//       (Long 4 each, in the order           660-byte records.
//        read write append delete rename
//        dir_list dir_create dir_remove dir_rename)
//   17  "download_limit" Long       4
//   18  "download_speed" Long       4
//   19  "upload_limit"   Long       4
//   20  "upload_speed"   Long       4
//   21  "quota_max"      Double     8
//   22  "quota_current"  Double     8
// keys: 0 "id" (unique, field 0), 1 "userid" (unique, field 1, letter case ignored, so
// "Alice" and "alice" are one login name).
#pragma once

#include <string>

class CKorvTable;

// Defines the fields and keys of each table on `table` (before Create).
[[nodiscard]] bool DefineUserTable(CKorvTable& table);
[[nodiscard]] bool DefineGroupTable(CKorvTable& table);
[[nodiscard]] bool DefineFolderTable(CKorvTable& table);

// Creates (or empties) the folder table at `path`; the table is then open for writing.
// False, with the reason in `error`, when it cannot be created.
[[nodiscard]] bool CreateFolderTable(CKorvTable& table, const std::string& path, std::string& error);

// First start: creates an empty user.sdb and group.sdb in `programDir` when missing.
// A table that exists is never touched, also when another process creates it at the
// same moment (the new file is built aside and linked into place only if the name is
// still free). False, with the reason in `error`, when a missing table cannot be made.
[[nodiscard]] bool EnsureAccountTables(const std::string& programDir, std::string& error);
