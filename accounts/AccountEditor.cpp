#include "accounts/AccountEditor.h"

#include <algorithm>

#include "accounts/AccountSchema.h"
#include "accounts/FieldAccess.h"
#include "accounts/Limits.h"
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

bool WritePermissions(CKorvTable& table, const PermissionSet& set) {
    for (std::size_t i = 0; i < kPermissionCount; ++i)
        if (!WriteIntField(table, kPermissionFields[i], set.granted[i] ? 1 : 0)) return false;
    return true;
}

bool IsDuplicate(const CKorvTable& table) { return table.GetLastError() == "the key is unduplicated"; }

}  // namespace

bool IsStorableDirectory(std::string_view path) { return !path.empty() && path.front() == '/'; }

bool HasNonBlank(std::string_view text) { return !TrimBlanks(text).empty(); }

CAccountEditor::CAccountEditor(std::string programDir) : m_programDir(std::move(programDir)) {}

bool CAccountEditor::Fail(std::string why) {
    m_lastError = std::move(why);
    return false;
}

bool CAccountEditor::CheckFolders(const std::vector<VirtualFolder>& folders) {
    for (const VirtualFolder& f : folders) {
        if (!HasNonBlank(f.name)) return Fail("Please input a name for this virtual folder!");
        if (f.name.find('/') != std::string::npos) return Fail("virtual folder name \"" + f.name + "\" contains \"/\"");
        if (f.name.size() > static_cast<std::size_t>(kFolderNameWidth))
            return Fail("virtual folder name \"" + f.name + "\" is longer than " + std::to_string(kFolderNameWidth));
        if (!IsStorableDirectory(f.dir)) return Fail("virtual folder directory \"" + f.dir + "\" is not an absolute path");
        if (f.dir.size() > static_cast<std::size_t>(kFolderDirWidth))
            return Fail("virtual folder directory is longer than " + std::to_string(kFolderDirWidth));
    }
    return true;
}

bool CAccountEditor::WriteUserFields(CKorvTable& table, const UserRecord& user) {
    std::string error;
    const bool ok = WriteTextField(table, "status", user.status, error) &&
                    WriteTextField(table, "reserved", user.reserved, error) &&
                    WriteTextField(table, "userid", user.name, error) &&
                    WriteTextField(table, "password", user.password, error) &&
                    WriteTextField(table, "email", user.email, error) &&
                    WriteTextField(table, "group", user.groups, error) &&
                    WriteTextField(table, "homedir", user.homeDir, error);
    if (!ok) return Fail(error);
    if (!WritePermissions(table, user.permissions) ||
        !WriteIntField(table, "download_limit", user.downloadLimit) ||
        !WriteIntField(table, "upload_limit", user.uploadLimit) ||
        !WriteIntField(table, "download_speed", user.downloadSpeed) ||
        !WriteIntField(table, "upload_speed", user.uploadSpeed) ||
        !WriteNumberField(table, "quota_max", user.quotaMax) ||
        !WriteNumberField(table, "quota_current", user.quotaCurrent))
        return Fail("cannot store the account's fields: " + table.GetLastError());
    return true;
}

bool CAccountEditor::SaveUser(UserRecord& user, const std::vector<VirtualFolder>& ownFolders) {
    if (!HasNonBlank(user.name)) return Fail("Username cannot be empty!");
    if (!HasNonBlank(user.homeDir)) return Fail("Home Dir cannot be empty!");
    if (!IsStorableDirectory(user.homeDir)) return Fail("home directory \"" + user.homeDir + "\" is not an absolute path");
    if (!CheckFolders(ownFolders)) return false;
    {
        CKorvTable table;
        if (!table.Open(UserTablePath(m_programDir), OpenMode::ReadWrite))
            return Fail("cannot open " + UserTablePath(m_programDir) + ": " + table.GetLastError());
        std::int32_t id = user.id;
        const bool found = id > 0 && table.Seek(0, &id);
        if (!WriteUserFields(table, user)) return false;
        if (!(found ? table.Update() : table.Append())) {
            if (IsDuplicate(table)) return Fail("user \"" + user.name + "\" exists already");
            return Fail("cannot save user \"" + user.name + "\": " + table.GetLastError());
        }
        if (!found) user.id = table.GetLastId();
    }
    return SaveFolders(UserFolderTablePath(m_programDir, user.id), ownFolders);
}

bool CAccountEditor::DeleteUser(std::int32_t id) {
    {
        CKorvTable table;
        if (!table.Open(UserTablePath(m_programDir), OpenMode::ReadWrite) || !table.Seek(0, &id) || !table.Delete())
            return Fail("Can't delete user");
    }
    (void)RemoveFileIfPresent(UserFolderTablePath(m_programDir, id));
    return true;
}

bool CAccountEditor::SaveGroup(GroupRecord& group, const std::vector<VirtualFolder>& folders) {
    if (!HasNonBlank(group.name)) return Fail("Name cannot be empty!");
    if (!CheckFolders(folders)) return false;
    {
        CKorvTable table;
        if (!table.Open(GroupTablePath(m_programDir), OpenMode::ReadWrite))
            return Fail("cannot open " + GroupTablePath(m_programDir) + ": " + table.GetLastError());
        std::int32_t id = group.id;
        const bool found = id > 0 && table.Seek(0, &id);
        std::string error;
        if (!WriteTextField(table, "name", group.name, error) ||
            !WriteTextField(table, "notes", std::string_view(group.notes).substr(0, kMaxGroupNotes), error))
            return Fail(error);
        if (!(found ? table.Update() : table.Append())) {
            if (IsDuplicate(table)) return Fail("group \"" + group.name + "\" exists already");
            return Fail("cannot save group \"" + group.name + "\": " + table.GetLastError());
        }
        if (!found) group.id = table.GetLastId();
    }
    return SaveFolders(GroupFolderTablePath(m_programDir, group.id), folders);
}

bool CAccountEditor::DeleteGroup(std::int32_t id) {
    {
        CKorvTable table;
        if (!table.Open(GroupTablePath(m_programDir), OpenMode::ReadWrite) || !table.Seek(0, &id) || !table.Delete())
            return Fail("Can't delete group");
    }
    (void)RemoveFileIfPresent(GroupFolderTablePath(m_programDir, id));
    return RemoveGroupFromUsers(id);
}

bool CAccountEditor::RemoveGroupFromUsers(std::int32_t groupId) {
    CKorvTable table;
    if (!table.Open(UserTablePath(m_programDir), OpenMode::ReadWrite)) return true;  // no accounts to fix
    std::vector<std::pair<std::int32_t, std::string>> changes;
    for (bool more = table.MoveFirst(0); more; more = table.MoveNext(0)) {
        const std::vector<std::int32_t> ids = ParseGroupList(table.GetFieldText("group"));
        if (std::find(ids.begin(), ids.end(), groupId) == ids.end()) continue;
        std::string kept;
        for (std::int32_t g : ids)
            if (g != groupId) kept += (kept.empty() ? "" : ",") + std::to_string(g);
        changes.emplace_back(ReadIntField(table, table.GetFieldName(0)), kept);
    }
    // Update leaves no record current, so the walk above only collects.
    for (auto& [userId, groups] : changes) {
        std::string error;
        if (!table.Seek(0, &userId) || !WriteTextField(table, "group", groups, error) || !table.Update())
            return Fail("group deleted, but account " + std::to_string(userId) + " still lists it: " + table.GetLastError());
    }
    return true;
}

bool CAccountEditor::ReadGroups(std::vector<GroupRecord>& out) {
    out.clear();
    CKorvTable table;
    if (!table.Open(GroupTablePath(m_programDir), OpenMode::Read))
        return Fail("cannot open " + GroupTablePath(m_programDir) + ": " + table.GetLastError());
    for (bool more = table.MoveFirst(0); more; more = table.MoveNext(0))
        out.push_back({ReadIntField(table, table.GetFieldName(0)), table.GetFieldText("name"), table.GetFieldText("notes")});
    return true;
}

bool CAccountEditor::FindGroup(const std::string& name, GroupRecord& out) {
    CKorvTable table;
    if (!table.Open(GroupTablePath(m_programDir), OpenMode::Read)) return Fail("cannot open " + GroupTablePath(m_programDir));
    if (!table.SeekByName("name", name.c_str()) || table.GetFieldText("name").size() != name.size())
        return Fail("no group \"" + name + "\"");
    out = {ReadIntField(table, table.GetFieldName(0)), table.GetFieldText("name"), table.GetFieldText("notes")};
    return true;
}

std::string CAccountEditor::GroupNamesToIds(std::string_view names, std::vector<std::string>* unknown) {
    std::string ids;
    CKorvTable table;
    const bool open = table.Open(GroupTablePath(m_programDir), OpenMode::Read);
    for (std::string_view piece : SplitCommas(names)) {
        const std::string name(TrimBlanks(piece));
        if (name.empty()) continue;
        if (open && table.SeekByName("name", name.c_str()) && table.GetFieldText("name").size() == name.size()) {
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
        names += table.GetFieldText("name");
    }
    return names;
}

bool CAccountEditor::SaveFolders(const std::string& path, const std::vector<VirtualFolder>& folders) {
    CKorvTable table;
    std::string error;
    if (!CreateFolderTable(table, path, error)) return Fail(error);
    for (const VirtualFolder& f : folders) {
        if (!WriteTextField(table, "name", f.name, error) || !WriteTextField(table, "dir", f.dir, error) ||
            !WritePermissions(table, f.permissions))
            return Fail(error.empty() ? table.GetLastError() : error);
        // A repeated name is refused by the unique key and that row is left out.
        (void)table.Append();
    }
    return true;
}
