// Reading the account tables: one user record, a virtual-folder table, the group list.
// Every call opens the table it needs for reading (a shared lock), reads, and closes
// it again; nothing is cached here, so an edit applies to the very next call (a
// session's commands read through accounts/AccountCache.h instead).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/LookupStatus.h"

class CKorvTable;
struct FileIdentity;

// The nine folder permissions, in the order of the permission text "RWDRALCRR".
enum class Permission {
    Read = 0,
    Write,
    Delete,
    Rename,
    Append,
    DirList,
    DirCreate,
    DirRemove,
    DirRename
};
inline constexpr std::size_t kPermissionCount = 9;

// Each permission's field name and its letter in the permission text, in Permission
// order, which is the order of the text.
struct PermissionRow {
    std::string_view field;
    char letter;
};
inline constexpr std::array<PermissionRow, kPermissionCount> kPermissionRows{{{"read", 'R'},
                                                                              {"write", 'W'},
                                                                              {"delete", 'D'},
                                                                              {"rename", 'R'},
                                                                              {"append", 'A'},
                                                                              {"dir_list", 'L'},
                                                                              {"dir_create", 'C'},
                                                                              {"dir_remove", 'R'},
                                                                              {"dir_rename", 'R'}}};

struct PermissionSet {
    std::array<bool, kPermissionCount> granted{};
    bool Has(Permission p) const { return granted[static_cast<std::size_t>(p)]; }
};

// The records of the account tables; their fields: accounts/AccountFields.h.
struct UserRecord {
    std::int32_t id = 0;
    std::string name;      // the login name
    std::string password;  // clear text, or a hash (accounts/PasswordHash.h)
    std::string email;
    std::string groups;  // decimal group ids separated by commas
    std::string homeDir;
    std::string status;         // as text: "1" enabled
    std::string reserved;       // "1,YYYY-MM-DD" disables on and after the date
    PermissionSet permissions;  // of the home directory; a field grants when exactly 1
    std::int32_t downloadLimit = 0;
    std::int32_t downloadSpeed = 0;  // KB/s
    std::int32_t uploadLimit = 0;
    std::int32_t uploadSpeed = 0;  // KB/s
    double quotaMax = 0;           // KB; 0 = no quota
    double quotaCurrent = 0;       // KB
};

struct GroupRecord {
    std::int32_t id = 0;  // 0 (or not found) = a new group
    std::string name;
    std::string notes;
};

struct VirtualFolder {
    std::int32_t id = 0;
    std::string name;  // first-level name the client sees
    std::string dir;   // local directory
    PermissionSet permissions;
};

// File names in the program directory `programDir` (which ends with "/").
std::string UserTablePath(const std::string& programDir);
std::string GroupTablePath(const std::string& programDir);
std::string UserFolderTablePath(const std::string& programDir, std::int32_t userId);
std::string GroupFolderTablePath(const std::string& programDir, std::int32_t groupId);

// Why `table` could not be opened: Busy when only its lock was not granted in time,
// NotFound when its file does not exist, Failed otherwise; the message names the file.
LookupStatus OpenFailure(const CKorvTable& table);

// Reads the account whose "userid" key equals `userName`. NotFound when "user.sdb" holds
// no such account, otherwise as OpenFailure says when it cannot be opened. Any thread.
// `identity`, when given, receives the identity of the file read (taken under its lock)
// whenever it could be opened.
LookupStatus LookUpUser(const std::string& programDir, const std::string& userName, UserRecord& out,
                        FileIdentity* identity = nullptr);
// LookUpUser, found or not.
[[nodiscard]] bool ReadUser(const std::string& programDir, const std::string& userName,
                            UserRecord& out);

// The account with the record id `id`. False when "user.sdb" cannot be opened or holds
// no such record.
[[nodiscard]] bool ReadUserById(const std::string& programDir, std::int32_t id, UserRecord& out);

// Every account in ascending id order. False when "user.sdb" cannot be opened.
[[nodiscard]] bool ReadAllUsers(const std::string& programDir, std::vector<UserRecord>& out);
// Positions the open user table on the account named `userName`: the "userid" key finds
// it and the stored name is the whole name (letter case as the key compares it).
[[nodiscard]] bool FindUser(CKorvTable& table, const std::string& userName);

// Reads every row of the virtual-folder table at `path`, in record order. Otherwise as
// OpenFailure says (a user or group without folders has no file: NotFound). Any thread.
// `identity` as for LookUpUser.
LookupStatus LookUpFolders(const std::string& path, std::vector<VirtualFolder>& out,
                           FileIdentity* identity = nullptr);
// LookUpFolders, found or not.
[[nodiscard]] bool ReadFolders(const std::string& path, std::vector<VirtualFolder>& out);

// The group ids of a "group" text ("1,3"), in list order; pieces that are not numbers
// are skipped.
std::vector<std::int32_t> ParseGroupList(std::string_view groups);

// Adds `deltaKb` (may be negative) to the account's "quota_current", storing 0 instead of
// a negative result, and updates the record; does nothing (and returns true) when the
// stored "quota_max" is 0, or, with `onlyWhenPositive`, not above 0. The caller holds
// the connection-list lock, which orders these read-modify-writes. Found (ok) when done
// or nothing was to be done; NotFound without the account; Busy or Failed when the
// table cannot be opened, Failed when the record cannot be written.
LookupStatus AddQuotaCurrent(const std::string& programDir, const std::string& userName,
                             double deltaKb, bool onlyWhenPositive);

// Stores `replacement` as the account's "password" when the stored one is still
// `expected` (an edit made meanwhile wins). False when the table or the account cannot
// be read or written, the stored password differs, or `replacement` does not fit.
[[nodiscard]] bool ReplaceStoredPassword(const std::string& programDir, const std::string& userName,
                                         const std::string& expected,
                                         const std::string& replacement);
