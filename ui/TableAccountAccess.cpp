#include "ui/TableAccountAccess.h"

#include <array>

#include "accounts/AccountEditor.h"
#include "accounts/AccountFields.h"
#include "accounts/AccountVersion.h"
#include "server/AdminOperations.h"

namespace {

AccessStatus Failed(AccessOutcome outcome, std::string message) {
    return {outcome, std::move(message)};
}

// The editor's last refusal as the pages tell it.
AccessStatus RefusalOf(const CAccountEditor& editor) {
    switch (editor.GetLastFailure()) {
        case EditFailure::Gone:
            return Failed(AccessOutcome::Gone, editor.GetLastError());
        case EditFailure::Stale:
            return Failed(AccessOutcome::Stale, editor.GetLastError());
        case EditFailure::FolderTable:
            return Failed(AccessOutcome::FoldersFailed,
                          "Can't create virtual folder database file!");
        default:
            return Failed(AccessOutcome::Refused, editor.GetLastError());
    }
}

std::vector<VirtualFolder> FoldersAt(const std::string& table) {
    std::vector<VirtualFolder> folders;
    (void)ReadFolders(table, folders);  // a missing table: none
    return folders;
}

}  // namespace

CTableAccountAccess::CTableAccountAccess(std::string programDir, AccountEditNote note)
    : m_programDir(std::move(programDir)), m_note(std::move(note)) {}

void CTableAccountAccess::Note(AccountKind kind, AccountEdit edit, const std::string& name) const {
    if (m_note) m_note(kind, edit, name);
}

void CTableAccountAccess::ListUsers(Then<std::vector<UserListEntry>> done) {
    std::vector<UserRecord> users;
    (void)ReadAllUsers(m_programDir, users);  // unreadable: an empty list
    const auto groups = CAccountEditor(m_programDir).GroupNamesById();
    std::vector<UserListEntry> entries;
    entries.reserve(users.size());
    for (UserRecord& user : users) {
        std::string names = JoinGroupNames(user.groups, groups);
        entries.push_back({std::move(user), std::move(names)});
    }
    done({}, std::move(entries));
}

void CTableAccountAccess::ListGroups(Then<std::vector<GroupRecord>> done) {
    std::vector<GroupRecord> groups;
    (void)CAccountEditor(m_programDir).ReadGroups(groups);  // unreadable: no rows
    done({}, std::move(groups));
}

void CTableAccountAccess::ReadUser(const AccountKey& key, Then<UserDetails> done) {
    UserDetails details;
    if (!ReadUserById(m_programDir, key.id, details.user))
        return done(Failed(AccessOutcome::Gone, "no such user"), {});
    const auto groups = CAccountEditor(m_programDir).GroupNamesById();  // group.sdb read once
    details.groupNames = JoinGroupNames(details.user.groups, groups);
    details.ownFolders = FoldersAt(UserFolderTablePath(m_programDir, key.id));
    // A group that no longer exists has no folders and no row.
    for (std::int32_t groupId : ParseGroupList(details.user.groups)) {
        const auto group = groups.find(groupId);
        if (group == groups.end()) continue;
        details.groupFolders.push_back(
            {group->second, FoldersAt(GroupFolderTablePath(m_programDir, groupId))});
    }
    details.version = AccountVersion(details.user);
    details.foldersVersion = AccountVersion(details.ownFolders);
    done({}, std::move(details));
}

void CTableAccountAccess::ReadGroup(const AccountKey& key, Then<GroupDetails> done) {
    GroupDetails details;
    if (!CAccountEditor(m_programDir).ReadGroup(key.id, details.group))
        return done(Failed(AccessOutcome::Gone, "no such group"), {});
    details.folders = FoldersAt(GroupFolderTablePath(m_programDir, key.id));
    details.version = AccountVersion(details.group);
    details.foldersVersion = AccountVersion(details.folders);
    done({}, std::move(details));
}

void CTableAccountAccess::SaveUser(const UserSave& save, Saved done) {
    UserRecord user = save.user;
    CAccountEditor editor(m_programDir);
    user.groups = editor.GroupNamesToIds(save.groupNames);
    const bool isNew = user.id == 0;
    // Another editor's save since the editor read the account is refused, not overwritten.
    if (!isNew) {
        editor.RequireVersion({save.version});
        editor.RequireFolderVersion(save.foldersVersion);
    }
    SaveResult result;
    const bool saved = editor.SaveUserFields(user, save.owned, save.folders, save.keepQuotaInUse);
    if (!saved) result.status = RefusalOf(editor);
    if (!saved && result.status.outcome != AccessOutcome::FoldersFailed) return done(result);
    result.id = user.id;
    UserRecord stored;
    result.version = AccountVersion(ReadUserById(m_programDir, user.id, stored) ? stored : user);
    result.foldersVersion = saved ? AccountVersion(save.folders) : save.foldersVersion;
    Note(AccountKind::User, isNew ? AccountEdit::Added : AccountEdit::Changed, user.name);
    done(result);
}

void CTableAccountAccess::SaveGroup(const GroupSave& save, Saved done) {
    static constexpr std::array<std::string_view, 2> kOwned{FieldName(&GroupRecord::name),
                                                            FieldName(&GroupRecord::notes)};
    GroupRecord group = save.group;
    const bool isNew = group.id == 0;
    CAccountEditor editor(m_programDir);
    if (!isNew) {
        editor.RequireVersion({save.version});
        editor.RequireFolderVersion(save.foldersVersion);
    }
    SaveResult result;
    const bool saved = editor.SaveGroupFields(group, kOwned, save.folders);
    if (!saved) result.status = RefusalOf(editor);
    if (!saved && result.status.outcome != AccessOutcome::FoldersFailed) return done(result);
    result.id = group.id;
    GroupRecord stored;
    result.version = AccountVersion(editor.ReadGroup(group.id, stored) ? stored : group);
    result.foldersVersion = saved ? AccountVersion(save.folders) : save.foldersVersion;
    Note(AccountKind::Group, isNew ? AccountEdit::Added : AccountEdit::Changed, group.name);
    done(result);
}

void CTableAccountAccess::DeleteUser(const AccountKey& key, Done done) {
    CAccountEditor editor(m_programDir);
    if (!editor.DeleteUser(key.id))
        return done(Failed(AccessOutcome::Refused, "Can't delete user"));
    Note(AccountKind::User, AccountEdit::Deleted, key.name);
    done({});
}

void CTableAccountAccess::DeleteGroup(const AccountKey& key, Done done) {
    CAccountEditor editor(m_programDir);
    if (!editor.DeleteGroup(key.id)) return done(RefusalOf(editor));
    Note(AccountKind::Group, AccountEdit::Deleted, key.name);
    done({});
}

std::unique_ptr<CAccountAccess> MakeTableAccountAccess(std::string programDir,
                                                       AccountEditNote note) {
    return std::make_unique<CTableAccountAccess>(std::move(programDir), std::move(note));
}
