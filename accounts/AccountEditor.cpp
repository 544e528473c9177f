#include "accounts/AccountEditor.h"

#include <algorithm>
#include <type_traits>

#include "accounts/AccountFields.h"
#include "accounts/AccountSchema.h"
#include "accounts/AccountVersion.h"
#include "accounts/FieldAccess.h"
#include "accounts/Limits.h"
#include "accounts/RecordAccess.h"
#include "accounts/TableUpgrade.h"
#include "db/KorvTable.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace {

std::vector<std::string_view> SplitCommas(std::string_view text) {
    std::vector<std::string_view> pieces;
    for (;;) {
        const std::size_t comma = text.find(',');
        pieces.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos) return pieces;
        text.remove_prefix(comma + 1);
    }
}

// The stored values, as text, of the fields no VirtualFolder member fills, by record id.
using UnownedFolderFields =
    std::map<std::int32_t, std::vector<std::pair<std::string, std::string>>>;

UnownedFolderFields ReadUnownedFolderFields(const std::string& path) {
    UnownedFolderFields kept;
    CKorvTable table;
    if (!table.Open(path, OpenMode::Read)) return kept;  // a new table keeps nothing
    for (bool more = table.MoveFirst(0); more; more = table.MoveNext(0)) {
        auto& fields = kept[ReadIntField(table, table.GetFieldName(0))];
        for (const FolderField& row : kFolderFields)
            if (std::holds_alternative<std::monostate>(row.member) &&
                table.FindField(row.name) >= 0)
                fields.emplace_back(row.name, table.GetFieldText(row.name));
    }
    return kept;
}

template <typename Record>
bool SameName(CKorvTable& table, const std::string& name) {
    constexpr std::string_view kKey = FieldName(&Record::name);  // the key is named as its field
    return table.SeekByName(kKey, name.c_str()) && table.GetFieldText(kKey).size() == name.size();
}

}  // namespace

bool IsStorableDirectory(std::string_view path) { return !path.empty() && path.front() == '/'; }

bool HasNonBlank(std::string_view text) { return !TrimBlanks(text).empty(); }

CAccountEditor::CAccountEditor(std::string programDir) : m_programDir(std::move(programDir)) {}

bool CAccountEditor::Fail(std::string why, EditFailure failure) {
    m_lastError = std::move(why);
    m_lastFailure = failure;
    return false;
}

bool CAccountEditor::CheckFolders(const std::vector<VirtualFolder>& folders) {
    constexpr auto kFolderNameWidth = static_cast<std::size_t>(FieldOf(&VirtualFolder::name).width);
    constexpr auto kFolderDirWidth = static_cast<std::size_t>(FieldOf(&VirtualFolder::dir).width);
    for (const VirtualFolder& f : folders) {
        if (!HasNonBlank(f.name))
            return Fail("Please input a name for this virtual folder!", EditFailure::Invalid);
        if (f.name.find('/') != std::string::npos)
            return Fail("virtual folder name \"" + f.name + "\" contains \"/\"",
                        EditFailure::Invalid);
        if (f.name.size() > kFolderNameWidth)
            return Fail("virtual folder name \"" + f.name + "\" is longer than " +
                            std::to_string(kFolderNameWidth),
                        EditFailure::Invalid);
        if (!IsStorableDirectory(f.dir))
            return Fail("virtual folder directory \"" + f.dir + "\" is not an absolute path",
                        EditFailure::Invalid);
        if (f.dir.size() > kFolderDirWidth)
            return Fail(
                "virtual folder directory is longer than " + std::to_string(kFolderDirWidth),
                EditFailure::Invalid);
    }
    return true;
}

bool CAccountEditor::CheckVersion(const std::string& version, const std::string& label) {
    if (m_accepted.empty() ||
        std::find(m_accepted.begin(), m_accepted.end(), version) != m_accepted.end())
        return true;
    return Fail(label + " was changed by another editor (its version is now " + version + ")",
                EditFailure::Stale);
}

bool CAccountEditor::CheckFolderVersion(const std::string& path, const std::string& owner) {
    if (m_acceptedFolders.empty()) return true;
    std::vector<VirtualFolder> stored;
    (void)ReadFolders(path, stored);  // a missing table is an empty list
    const std::string version = AccountVersion(stored);
    if (version == m_acceptedFolders) return true;
    return Fail("the folders of " + owner +
                    " were changed by another editor (their version is now " + version + ")",
                EditFailure::Stale);
}

// Writes `record` over the record with its id, or appends it as a new one when no record
// has that id; a new record's id is stored back. `kind` names it in messages.
template <typename Record, typename KeepStored>
bool CAccountEditor::StoreRecord(CKorvTable& table, const std::string& path, Record& record,
                                 std::string_view kind, OwnedFields owned, KeepStored keepStored,
                                 bool& existed) {
    if (!table.Open(path, OpenMode::ReadWrite))
        return Fail("cannot open " + path + ": " + table.GetLastError());
    std::int32_t id = record.id;
    existed = id > 0 && table.Seek(0, &id);
    const std::string label = std::string(kind) + " \"" + record.name + "\"";
    if (id > 0 && !existed)
        return Fail(label + " no longer exists: another editor deleted it", EditFailure::Gone);
    if (existed) {
        Record stored;
        ReadRecord(table, stored);
        if (!CheckVersion(AccountVersion(stored), label)) return false;
        if (!keepStored(table, record)) return false;
    }
    std::string error;
    const bool written = existed && owned ? WriteOwnedFields(table, record, *owned, error)
                                          : WriteRecord(table, record, error);
    if (!written) return Fail(error, EditFailure::Invalid);
    if (!(existed ? table.Update() : table.Append())) {
        if (table.IsDuplicateKey()) return Fail(label + " exists already", EditFailure::NameTaken);
        return Fail("cannot save " + label + ": " + table.GetLastError());
    }
    if (!existed) record.id = table.GetLastId();
    return true;
}

bool CAccountEditor::SaveUser(UserRecord& user, const std::vector<VirtualFolder>& ownFolders,
                              bool keepQuotaInUse) {
    return SaveUserWith(user, std::nullopt, &ownFolders, keepQuotaInUse);
}

bool CAccountEditor::SaveUserFields(UserRecord& user, std::span<const std::string_view> owned,
                                    const std::vector<VirtualFolder>& ownFolders,
                                    bool keepQuotaInUse) {
    return SaveUserWith(user, owned, &ownFolders, keepQuotaInUse);
}

bool CAccountEditor::SaveUserRecord(UserRecord& user, std::span<const std::string_view> owned,
                                    bool keepQuotaInUse) {
    return SaveUserWith(user, owned, nullptr, keepQuotaInUse);
}

bool CAccountEditor::SaveUserWith(UserRecord& user, OwnedFields owned,
                                  const std::vector<VirtualFolder>* ownFolders,
                                  bool keepQuotaInUse) {
    if (!HasNonBlank(user.name)) return Fail("Username cannot be empty!", EditFailure::Invalid);
    if (!HasNonBlank(user.homeDir)) return Fail("Home Dir cannot be empty!", EditFailure::Invalid);
    if (!IsStorableDirectory(user.homeDir))
        return Fail("home directory \"" + user.homeDir + "\" is not an absolute path",
                    EditFailure::Invalid);
    if (ownFolders != nullptr && !CheckFolders(*ownFolders)) return false;
    // Read and written under the one exclusive lock, so no booking falls in between; the
    // folder list is checked there too, before the record changes.
    const auto keepQuota = [&](const CKorvTable& table, UserRecord& record) {
        if (keepQuotaInUse)
            record.quotaCurrent = ReadNumberField(table, FieldName(&UserRecord::quotaCurrent));
        return ownFolders == nullptr ||
               CheckFolderVersion(UserFolderTablePath(m_programDir, record.id),
                                  "user \"" + record.name + "\"");
    };
    // Held until the folders are written too: a folder list is changed only under its
    // owner's lock (SaveOwnFolders).
    CKorvTable table;
    bool existed = false;
    if (!StoreRecord(table, UserTablePath(m_programDir), user, "user", owned, keepQuota, existed))
        return false;
    if (existed && ownFolders == nullptr) return true;
    static const std::vector<VirtualFolder> kNone;
    return SaveFolders(UserFolderTablePath(m_programDir, user.id),
                       ownFolders != nullptr ? *ownFolders : kNone);
}

template <typename Record>
bool CAccountEditor::DeleteRecord(const std::string& path, std::int32_t id, const char* failure) {
    CKorvTable table;
    if (!table.Open(path, OpenMode::ReadWrite)) return Fail(failure);
    if (!table.Seek(0, &id)) return Fail(failure, EditFailure::Gone);
    Record stored;
    ReadRecord(table, stored);
    const std::string kind = std::is_same_v<Record, UserRecord> ? "user" : "group";
    if (!CheckVersion(AccountVersion(stored), kind + " \"" + stored.name + "\"")) return false;
    return table.Delete() || Fail(failure);
}

bool CAccountEditor::DeleteUser(std::int32_t id) {
    if (!DeleteRecord<UserRecord>(UserTablePath(m_programDir), id, "Can't delete user"))
        return false;
    (void)RemoveFileIfPresent(UserFolderTablePath(m_programDir, id));
    return true;
}

bool CAccountEditor::SaveGroup(GroupRecord& group, const std::vector<VirtualFolder>& folders) {
    return SaveGroupWith(group, std::nullopt, &folders);
}

bool CAccountEditor::SaveGroupFields(GroupRecord& group, std::span<const std::string_view> owned,
                                     const std::vector<VirtualFolder>& folders) {
    return SaveGroupWith(group, owned, &folders);
}

bool CAccountEditor::SaveGroupRecord(GroupRecord& group, std::span<const std::string_view> owned) {
    return SaveGroupWith(group, owned, nullptr);
}

bool CAccountEditor::SaveGroupWith(GroupRecord& group, OwnedFields owned,
                                   const std::vector<VirtualFolder>* folders) {
    if (!HasNonBlank(group.name)) return Fail("Name cannot be empty!", EditFailure::Invalid);
    if (folders != nullptr && !CheckFolders(*folders)) return false;
    GroupRecord stored = group;
    stored.notes = CutUtf8(stored.notes, kMaxGroupNotes);
    CKorvTable table;  // held until the folders are written too, as for a user
    bool existed = false;
    const auto checkFolders = [&](const CKorvTable&, GroupRecord& record) {
        return folders == nullptr ||
               CheckFolderVersion(GroupFolderTablePath(m_programDir, record.id),
                                  "group \"" + record.name + "\"");
    };
    if (!StoreRecord(table, GroupTablePath(m_programDir), stored, "group", owned, checkFolders,
                     existed))
        return false;
    group.id = stored.id;
    if (existed && folders == nullptr) return true;
    static const std::vector<VirtualFolder> kNone;
    return SaveFolders(GroupFolderTablePath(m_programDir, group.id),
                       folders != nullptr ? *folders : kNone);
}

bool CAccountEditor::DeleteGroup(std::int32_t id) {
    if (!DeleteRecord<GroupRecord>(GroupTablePath(m_programDir), id, "Can't delete group"))
        return false;
    (void)RemoveFileIfPresent(GroupFolderTablePath(m_programDir, id));
    return RemoveGroupFromUsers(id);
}

bool CAccountEditor::SaveOwnFolders(FolderOwner owner, std::int32_t id,
                                    const std::vector<VirtualFolder>& folders) {
    if (!CheckFolders(folders)) return false;
    const bool isUser = owner == FolderOwner::User;
    const std::string path = isUser ? UserTablePath(m_programDir) : GroupTablePath(m_programDir);
    CKorvTable table;
    if (!table.Open(path, OpenMode::ReadWrite))
        return Fail("cannot open " + path + ": " + table.GetLastError());
    const std::string kind = isUser ? "user" : "group";
    if (!table.Seek(0, &id))
        return Fail(
            kind + " " + std::to_string(id) + " no longer exists: another editor deleted it",
            EditFailure::Gone);
    const std::string folderPath =
        isUser ? UserFolderTablePath(m_programDir, id) : GroupFolderTablePath(m_programDir, id);
    std::vector<VirtualFolder> stored;
    (void)ReadFolders(folderPath, stored);  // a missing table is an empty list
    const std::string label =
        "the folders of " + kind + " \"" +
        table.GetFieldText(isUser ? FieldName(&UserRecord::name) : FieldName(&GroupRecord::name)) +
        "\"";
    if (!CheckVersion(AccountVersion(stored), label)) return false;
    return SaveFolders(folderPath, folders);
}

bool CAccountEditor::RemoveGroupFromUsers(std::int32_t groupId) {
    CKorvTable table;
    if (!table.Open(UserTablePath(m_programDir), OpenMode::ReadWrite))
        return true;  // no accounts to fix
    constexpr std::string_view kGroups = FieldName(&UserRecord::groups);
    std::vector<std::pair<std::int32_t, std::string>> changes;
    for (bool more = table.MoveFirst(0); more; more = table.MoveNext(0)) {
        const std::vector<std::int32_t> ids = ParseGroupList(table.GetFieldText(kGroups));
        if (std::find(ids.begin(), ids.end(), groupId) == ids.end()) continue;
        std::string kept;
        for (std::int32_t g : ids)
            if (g != groupId) kept += (kept.empty() ? "" : ",") + std::to_string(g);
        changes.emplace_back(ReadIntField(table, table.GetFieldName(0)), kept);
    }
    // Update leaves no record current, so the walk above only collects.
    for (auto& [userId, groups] : changes) {
        std::string error;
        if (!table.Seek(0, &userId) || !WriteTextField(table, kGroups, groups, error) ||
            !table.Update())
            return Fail("group deleted, but account " + std::to_string(userId) +
                        " still lists it: " + table.GetLastError());
    }
    return true;
}

bool CAccountEditor::ReadGroups(std::vector<GroupRecord>& out) {
    out.clear();
    CKorvTable table;
    if (!table.Open(GroupTablePath(m_programDir), OpenMode::Read))
        return Fail("cannot open " + GroupTablePath(m_programDir) + ": " + table.GetLastError());
    for (bool more = table.MoveFirst(0); more; more = table.MoveNext(0))
        ReadRecord(table, out.emplace_back());
    return true;
}

bool CAccountEditor::ReadGroup(std::int32_t id, GroupRecord& out) {
    CKorvTable table;
    if (!table.Open(GroupTablePath(m_programDir), OpenMode::Read))
        return Fail("cannot open " + GroupTablePath(m_programDir));
    if (!table.Seek(0, &id)) return Fail("no group with id " + std::to_string(id));
    out = {};
    ReadRecord(table, out);
    return true;
}

bool CAccountEditor::FindGroup(const std::string& name, GroupRecord& out) {
    CKorvTable table;
    if (!table.Open(GroupTablePath(m_programDir), OpenMode::Read))
        return Fail("cannot open " + GroupTablePath(m_programDir));
    if (!SameName<GroupRecord>(table, name)) return Fail("no group \"" + name + "\"");
    out = {};
    ReadRecord(table, out);
    return true;
}

std::string CAccountEditor::GroupNamesToIds(std::string_view names,
                                            std::vector<std::string>* unknown) {
    std::string ids;
    CKorvTable table;
    const bool open = table.Open(GroupTablePath(m_programDir), OpenMode::Read);
    for (std::string_view piece : SplitCommas(names)) {
        const std::string name(TrimBlanks(piece));
        if (name.empty()) continue;
        if (open && SameName<GroupRecord>(table, name)) {
            if (!ids.empty()) ids += ',';
            ids += table.GetFieldText(0);
        } else if (unknown) {
            unknown->push_back(name);
        }
    }
    return ids;
}

std::string CAccountEditor::GroupIdsToNames(std::string_view ids) {
    std::string names;
    CKorvTable table;
    if (!table.Open(GroupTablePath(m_programDir), OpenMode::Read)) return names;
    for (std::int32_t id : ParseGroupList(ids)) {
        if (!table.Seek(0, &id)) continue;
        if (!names.empty()) names += ',';
        names += table.GetFieldText(FieldName(&GroupRecord::name));
    }
    return names;
}

std::map<std::int32_t, std::string> CAccountEditor::GroupNamesById() {
    std::map<std::int32_t, std::string> names;
    std::vector<GroupRecord> groups;
    if (ReadGroups(groups))
        for (GroupRecord& g : groups) names.emplace(g.id, std::move(g.name));
    return names;
}

std::string JoinGroupNames(std::string_view ids,
                           const std::map<std::int32_t, std::string>& groups) {
    std::string names;
    for (std::int32_t id : ParseGroupList(ids)) {
        const auto found = groups.find(id);
        if (found == groups.end()) continue;
        if (!names.empty()) names += ',';
        names += found->second;
    }
    return names;
}

bool CAccountEditor::SaveFolders(const std::string& path,
                                 const std::vector<VirtualFolder>& folders) {
    const UnownedFolderFields kept = ReadUnownedFolderFields(path);
    CKorvTable table;
    std::string error;
    // The table is made anew: fields of a later release would be lost with it.
    TableFieldReport fields;
    if (ReadTableFields(path, AccountTableKind::Folder, fields, error) && !fields.unknown.empty())
        return Fail(path + " holds fields of a later release (" + fields.unknown.front() +
                        "); this release cannot save its folders without losing them",
                    EditFailure::FolderTable);
    if (!CreateFolderTable(table, path, error)) return Fail(error, EditFailure::FolderTable);
    for (const VirtualFolder& f : folders) {
        if (!WriteRecord(table, f, error)) return Fail(error);
        const auto stored = f.id > 0 ? kept.find(f.id) : kept.end();
        if (stored != kept.end())
            for (const auto& [name, text] : stored->second)
                if (!table.SetFieldText(name, text)) return Fail(table.GetLastError());
        // A repeated name is refused by the unique key and that row is left out.
        (void)table.Append();
    }
    return true;
}
