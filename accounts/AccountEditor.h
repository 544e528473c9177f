// Changing the account tables: saving and deleting users and groups with their
// virtual-folder tables, turning group names into ids and back. The window's editors
// and tarvona-admin both do their work through this class, so the rules live here once.
// Each call opens the tables it needs, works and closes them; the engine's exclusive
// lock keeps a writer alone on a table while it is open.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/AccountStore.h"

class CKorvTable;

// What the last failed call of an editor ran into, for callers that act on the reason
// rather than show GetLastError. NameTaken: another account (or group) has the name.
// Gone: the record to be saved was deleted meanwhile (by another editor). FolderTable:
// the record is saved but its virtual-folder table could not be made. Stale: the stored
// version is none of those RequireVersion accepts. Invalid: a value the rules or the
// field refuse (nothing written). Other: a table that cannot be opened or written.
enum class EditFailure { None, NameTaken, Gone, FolderTable, Stale, Invalid, Other };

// Whose virtual folders a folder table holds.
enum class FolderOwner { User, Group };

class CAccountEditor {
public:
    // `programDir` ends with "/".
    explicit CAccountEditor(std::string programDir);

    // Writes `user` (found by its id; a new record when the id is 0) and then re-creates
    // its virtual-folder table with `ownFolders` in list order. A new user's id is stored
    // back into `user.id`. Refused, with nothing written: a blank user name or home
    // directory, a home or folder directory that is not an absolute path, a text longer
    // than its field, a name another account has, an id that no record has any more
    // (another editor deleted it: saving it again would bring it back under a new id).
    // When the account record is saved but its folder table cannot be made, returns
    // false and says so. With `keepQuotaInUse` an existing account keeps the
    // "quota_current" it holds at the moment of saving (the server books transfers into
    // it while an editor is open), and `user.quotaCurrent` is set to that value.
    [[nodiscard]] bool SaveUser(UserRecord& user, const std::vector<VirtualFolder>& ownFolders,
                                bool keepQuotaInUse = false);
    // As SaveUser, for an editor that read the account by id and shows only some of its
    // fields: an existing record gets only the fields named in `owned` (AccountFields.h
    // names), so a field the editor does not show, or one a newer build added, keeps what
    // is stored. A new record is written whole.
    [[nodiscard]] bool SaveUserFields(UserRecord& user, std::span<const std::string_view> owned,
                                      const std::vector<VirtualFolder>& ownFolders,
                                      bool keepQuotaInUse = false);
    // As SaveUserFields, leaving an existing account's folder table as it is (a new
    // account gets an empty one).
    [[nodiscard]] bool SaveUserRecord(UserRecord& user, std::span<const std::string_view> owned,
                                      bool keepQuotaInUse = false);
    // Deletes the account with `id` and its folder table. "Can't delete user" when the
    // table cannot be opened or holds no such record.
    [[nodiscard]] bool DeleteUser(std::int32_t id);

    // As SaveUser, for a group; notes are cut to 127 bytes, on a whole UTF-8 character.
    [[nodiscard]] bool SaveGroup(GroupRecord& group, const std::vector<VirtualFolder>& folders);
    // As SaveGroup, writing only the fields named in `owned` of an existing group.
    [[nodiscard]] bool SaveGroupFields(GroupRecord& group, std::span<const std::string_view> owned,
                                       const std::vector<VirtualFolder>& folders);
    // As SaveGroupFields, leaving an existing group's folder table as it is.
    [[nodiscard]] bool SaveGroupRecord(GroupRecord& group, std::span<const std::string_view> owned);
    // Deletes the group with `id` and its folder table, and takes the id out of every
    // account's group list, so that a later group given the same id does not inherit
    // those members.
    [[nodiscard]] bool DeleteGroup(std::int32_t id);
    // Every group in ascending id order; false when group.sdb cannot be opened.
    [[nodiscard]] bool ReadGroups(std::vector<GroupRecord>& out);
    // The group whose "name" key equals `name`.
    [[nodiscard]] bool FindGroup(const std::string& name, GroupRecord& out);
    // The group with the record id `id`.
    [[nodiscard]] bool ReadGroup(std::int32_t id, GroupRecord& out);

    // The "group" text for comma-separated group names: each name trimmed of blanks and
    // looked up by the "name" key; the ids found joined by commas. Names not found are
    // dropped and, when `unknown` is given, listed there.
    std::string GroupNamesToIds(std::string_view names,
                                std::vector<std::string>* unknown = nullptr);
    // The names of the ids in a "group" text, joined by commas; unknown ids are skipped.
    std::string GroupIdsToNames(std::string_view ids);
    // Every group's name by its id, for JoinGroupNames; empty when group.sdb cannot be read.
    std::map<std::int32_t, std::string> GroupNamesById();

    // Re-creates the folder table at `path` with `folders` in list order. A name that
    // repeats is not stored (the table's unique key refuses it). A folder whose id was a
    // record of the table before keeps the stored values of the fields no member of
    // VirtualFolder fills. Refused, the table left as it is, when it holds
    // fields of a later release (they would be lost).
    [[nodiscard]] bool SaveFolders(const std::string& path,
                                   const std::vector<VirtualFolder>& folders);

    // Replaces the own folders of the user or group with the record id `id`, holding that
    // owner's table under its exclusive lock meanwhile, as every save of the owner does:
    // a version required is compared with the folder list (AccountVersion) and the list
    // written with no other editor in between. Gone when the owner no longer exists.
    [[nodiscard]] bool SaveOwnFolders(FolderOwner owner, std::int32_t id,
                                      const std::vector<VirtualFolder>& folders);

    // From now on a save or delete of an existing record (SaveOwnFolders: of a folder
    // list) is refused, with nothing written, unless the stored record's AccountVersion
    // is one of `accepted`; the compare and the write happen under the table's one
    // exclusive lock. An empty list requires nothing.
    void RequireVersion(std::vector<std::string> accepted) { m_accepted = std::move(accepted); }
    // The same for the own folder list that a save of an existing user or group writes
    // with its record (an editor that shows both): checked before either is written.
    void RequireFolderVersion(std::string version) { m_acceptedFolders = std::move(version); }

    const std::string& GetLastError() const { return m_lastError; }
    EditFailure GetLastFailure() const { return m_lastFailure; }

private:
    bool Fail(std::string why, EditFailure failure = EditFailure::Other);
    bool CheckFolders(const std::vector<VirtualFolder>& folders);
    // Only `owned` is written over an existing record; nullopt: every field.
    using OwnedFields = std::optional<std::span<const std::string_view>>;
    // `ownFolders` nullptr: an existing record keeps its folder table.
    bool SaveUserWith(UserRecord& user, OwnedFields owned,
                      const std::vector<VirtualFolder>* ownFolders, bool keepQuotaInUse);
    bool SaveGroupWith(GroupRecord& group, OwnedFields owned,
                       const std::vector<VirtualFolder>* folders);
    // Opens `table` at `path` and stores `record` there, leaving the table open (and its
    // lock held) for the caller. `keepStored(table, record)` runs on an existing record
    // before it is overwritten, and refuses the save when it gives false; `existed` says
    // whether there was one.
    template <typename Record, typename KeepStored>
    bool StoreRecord(CKorvTable& table, const std::string& path, Record& record,
                     std::string_view kind, OwnedFields owned, KeepStored keepStored,
                     bool& existed);
    // False (Stale) when a version is required and `version` is not accepted.
    bool CheckVersion(const std::string& version, const std::string& label);
    // False (Stale) when a folder list version is required and the list at `path` has
    // another; `owner` names the user or group in the message.
    bool CheckFolderVersion(const std::string& path, const std::string& owner);
    template <typename Record>
    bool DeleteRecord(const std::string& path, std::int32_t id, const char* failure);
    bool RemoveGroupFromUsers(std::int32_t groupId);

    std::string m_programDir;
    std::vector<std::string> m_accepted;
    std::string m_acceptedFolders;
    std::string m_lastError;
    EditFailure m_lastFailure = EditFailure::None;
};

// The names of the ids in a "group" text, joined by commas, from `groups` read
// beforehand (GroupNamesById); unknown ids are skipped. For lists of many accounts, which
// would otherwise open group.sdb once per account.
std::string JoinGroupNames(std::string_view ids, const std::map<std::int32_t, std::string>& groups);

// True when `path` can be stored as a home or folder directory: an absolute path.
// SECURITY: an empty or relative directory would be resolved against the server's own
// working directory.
bool IsStorableDirectory(std::string_view path);
// True when `text` has something other than blanks.
bool HasNonBlank(std::string_view text);
