// What the users and groups pages and their editors read and save accounts through, so
// that none of them knows whether the account tables are this process's files or a
// running server's, reached over the administration API. Every call answers once, on
// the GUI thread, through its callback: at once (the tables) or later (a server). A
// record is named by its id and its name: the tables go by the id, the API by the name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/AccountStore.h"

class CAdminConnection;
enum class AccountKind;
enum class AccountEdit;

struct AccountKey {
    std::int32_t id = 0;
    std::string name;
};

// How a call ended. Stale: the record or its folders changed since they were read, and
// nothing of the refused part was written. FoldersFailed: the record was saved, its
// folder list was not.
enum class AccessOutcome { Done, Gone, Stale, Lost, FoldersFailed, Refused };

struct AccessStatus {
    AccessOutcome outcome = AccessOutcome::Done;
    std::string message;  // why, when not Done
    bool ok() const { return outcome == AccessOutcome::Done; }
};

struct UserListEntry {
    UserRecord user;         // its password empty when the source does not show it
    std::string groupNames;  // comma-separated
};

struct NamedFolders {
    std::string owner;  // the group's name
    std::vector<VirtualFolder> folders;
};

// An account as its editor shows it, with the versions its save must match.
struct UserDetails {
    UserRecord user;
    std::string groupNames;
    bool passwordShown = true;  // false: the server never shows it, so a save keeps it
    std::vector<VirtualFolder> ownFolders;
    std::vector<NamedFolders> groupFolders;  // in the order of its group list
    std::string version;
    std::string foldersVersion;
};

struct GroupDetails {
    GroupRecord group;
    std::vector<VirtualFolder> folders;
    std::string version;
    std::string foldersVersion;
};

// A save of an editor: the fields it owns (accounts/AccountFields names) of `user`, its
// group list as names and its own folders. An existing record (id != 0) is saved only
// while it and its folders still have the versions read; `storedName` is the name it
// was read with.
struct UserSave {
    UserRecord user;
    std::string storedName;
    std::string groupNames;
    std::vector<std::string_view> owned;
    std::vector<VirtualFolder> folders;
    bool keepQuotaInUse = true;
    std::string version;
    std::string foldersVersion;
};

struct GroupSave {
    GroupRecord group;  // its name and notes are saved
    std::string storedName;
    std::vector<VirtualFolder> folders;
    std::string version;
    std::string foldersVersion;
};

// What a save gives back: the record's id (also after FoldersFailed) and the versions it
// has now, which the next save of the still open editor must match.
struct SaveResult {
    AccessStatus status;
    std::int32_t id = 0;
    std::string version;
    std::string foldersVersion;
};

class CAccountAccess {
public:
    template <typename T>
    using Then = std::function<void(const AccessStatus&, T)>;
    using Saved = std::function<void(const SaveResult&)>;
    using Done = std::function<void(const AccessStatus&)>;

    virtual ~CAccountAccess() = default;

    virtual void ListUsers(Then<std::vector<UserListEntry>> done) = 0;
    virtual void ListGroups(Then<std::vector<GroupRecord>> done) = 0;
    virtual void ReadUser(const AccountKey& key, Then<UserDetails> done) = 0;
    virtual void ReadGroup(const AccountKey& key, Then<GroupDetails> done) = 0;
    // Saves and logs the administrator's edit (added or changed).
    virtual void SaveUser(const UserSave& save, Saved done) = 0;
    virtual void SaveGroup(const GroupSave& save, Saved done) = 0;
    // Deletes the record and its folders (a group also leaves every account's group
    // list) and logs the edit.
    virtual void DeleteUser(const AccountKey& key, Done done) = 0;
    virtual void DeleteGroup(const AccountKey& key, Done done) = 0;
};

// Logs an edit made through the tables (CAdminOperations::NoteAccountEdit).
using AccountEditNote =
    std::function<void(AccountKind kind, AccountEdit edit, const std::string& name)>;

// The tables of `programDir` (ends with "/"), read and written in this process.
std::unique_ptr<CAccountAccess> MakeTableAccountAccess(std::string programDir,
                                                       AccountEditNote note = {});
// A running server's accounts through `connection`, which must outlive the result; the
// server logs the edits itself.
std::unique_ptr<CAccountAccess> MakeApiAccountAccess(CAdminConnection& connection);
