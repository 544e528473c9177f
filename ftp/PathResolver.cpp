// Client paths to local paths and back, and the permission a user holds at a local
// path. The account tables are read through the session's cache, which checks each
// one once per command: an edit applies from the next command on.
#include "ftp/PathResolver.h"

#include <vector>

#include "accounts/AccountStore.h"
#include "ftp/PathText.h"
#include "ftp/TreeRoots.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

namespace {

Permission ToPermission(PermissionKind kind) {
    switch (kind) {
        case PermissionKind::Read:
            return Permission::Read;
        case PermissionKind::Write:
            return Permission::Write;
        case PermissionKind::Rename:
            return Permission::Rename;
        case PermissionKind::Delete:
            return Permission::Delete;
        case PermissionKind::Append:
            return Permission::Append;
        case PermissionKind::DirList:
            return Permission::DirList;
        case PermissionKind::DirCreate:
            return Permission::DirCreate;
        case PermissionKind::DirRemove:
            return Permission::DirRemove;
        case PermissionKind::DirRename:
            return Permission::DirRename;
    }
    return Permission::Read;
}

// The account as the path code sees it; a missing account has no home, no groups
// and no permissions.
struct AccountView {
    explicit AccountView(CAccountCache& cache) : tables(cache) {}
    CAccountCache& tables;
    UserRecord user;
    std::string home;  // usable home directory, or empty
    // The user's look-up, or the first busy one of its folder tables: once busy, no
    // answer can be trusted.
    LookupStatus status;
    bool IsBusy() const { return status.IsBusy(); }
};

AccountView ReadAccount(CControlSocket& session) {
    AccountView view(session.Accounts());
    view.status =
        view.tables.LookUpUser(session.Server().ProgramDir(), session.UserName(), view.user);
    if (view.status.ok()) view.home = UsableLocalDir(view.user.homeDir);
    return view;
}

// ReadFolders that keeps a busy table's status in the account.
bool ReadFoldersOf(AccountView& account, const std::string& table,
                   std::vector<VirtualFolder>& folders) {
    const LookupStatus found = account.tables.LookUpFolders(table, folders);
    if (found.IsBusy() && !account.IsBusy()) account.status = found;
    return found.ok();
}

// The folder tables that apply to the account, user's first, then its groups' in
// list order.
std::vector<std::string> FolderTables(const std::string& programDir, const UserRecord& user) {
    std::vector<std::string> tables{UserFolderTablePath(programDir, user.id)};
    for (std::int32_t group : ParseGroupList(user.groups))
        tables.push_back(GroupFolderTablePath(programDir, group));
    return tables;
}

bool FindFolderByName(AccountView& account, const std::string& table, const std::string& name,
                      std::string& dir) {
    std::vector<VirtualFolder> folders;
    if (!ReadFoldersOf(account, table, folders)) return false;
    for (const VirtualFolder& folder : folders) {
        const std::string folderDir = UsableLocalDir(folder.dir);
        if (folderDir.empty() || !EqualsNoCase(folder.name, name)) continue;
        dir = folderDir;
        return true;
    }
    return false;
}

// MapToLocal with the account already read.
bool MapWith(const std::string& programDir, AccountView& account, const std::string& virtualPath,
             std::string& localPath) {
    // SECURITY: no local name holds a NUL, and one would cut the path short where the
    // system reads it ("a/..<NUL>" would name the parent).
    if (virtualPath.find('\0') != std::string::npos) return false;
    const std::vector<std::string> components = SplitVirtualPath(virtualPath);
    std::string current = account.home;
    for (std::size_t i = 0; i < components.size(); ++i) {
        // SECURITY: no path may climb above where it started.
        if (components[i] == "..") return false;
        std::string candidate = current + "/" + components[i];
        if (!current.empty() && GetPathKind(candidate) != PathKind::Missing) {
            current = std::move(candidate);
            continue;
        }
        if (i > 0) {
            localPath = std::move(candidate);
            return false;
        }
        // The first level may name a virtual folder: the user's own first, then the
        // groups' in list order. A table that cannot be read is skipped.
        bool found = false;
        for (const std::string& table : FolderTables(programDir, account.user)) {
            found = FindFolderByName(account, table, components[i], current);
            if (found) break;
        }
        if (!found) {
            // Without a usable home there is no real first level to point at.
            localPath = current.empty() ? std::string() : std::move(candidate);
            return false;
        }
    }
    localPath = current;
    return true;
}

// CheckPermission with the account already read.
bool CheckWith(const std::string& programDir, AccountView& account, const std::string& localPath,
               PermissionKind kind) {
    const Permission permission = ToPermission(kind);
    if (!account.home.empty() && IsSameOrBelow(account.home, localPath))
        return account.user.permissions.Has(permission);
    // The first folder (user's before groups', record order) whose directory holds the
    // path decides; a folder table that cannot be read ends the search denied.
    for (const std::string& table : FolderTables(programDir, account.user)) {
        std::vector<VirtualFolder> folders;
        if (!ReadFoldersOf(account, table, folders)) return false;
        for (const VirtualFolder& folder : folders) {
            const std::string dir = UsableLocalDir(folder.dir);
            if (!dir.empty() && IsSameOrBelow(dir, localPath))
                return folder.permissions.Has(permission);
        }
    }
    return false;
}

// Every folder of the account, user's first; tables that cannot be read are skipped.
std::vector<VirtualFolder> AllFolders(const std::string& programDir, AccountView& account) {
    std::vector<VirtualFolder> all;
    for (const std::string& table : FolderTables(programDir, account.user)) {
        std::vector<VirtualFolder> folders;
        if (!account.tables.LookUpFolders(table, folders).ok()) continue;
        for (VirtualFolder& folder : folders) all.push_back(std::move(folder));
    }
    return all;
}

// A resolution that ended with `verdict`; a busy account grants nothing.
PathResolution Judged(const AccountView& account, PathVerdict verdict) {
    return {account.status, account.IsBusy() ? PathVerdict::Denied : verdict};
}

bool IsRootDir(const std::string& root, const std::string& localPath) {
    return !root.empty() && (StripTrailingSlashes(localPath) == StripTrailingSlashes(root) ||
                             IsSameEntry(localPath, root));
}

}  // namespace

bool IsTreeRoot(CControlSocket& session, const std::string& localPath) {
    if (localPath.empty()) return false;
    AccountView account = ReadAccount(session);
    if (IsRootDir(account.home, localPath)) return true;
    for (const VirtualFolder& folder : AllFolders(session.Server().ProgramDir(), account))
        if (IsRootDir(UsableLocalDir(folder.dir), localPath)) return true;
    return false;
}

bool ShadowsVirtualFolder(CControlSocket& session, const std::string& localPath) {
    AccountView account = ReadAccount(session);
    const std::string path = StripTrailingSlashes(localPath);
    const auto slash = path.rfind('/');
    if (account.home.empty() || slash == std::string::npos) return false;
    const std::string parent = slash == 0 ? "/" : path.substr(0, slash);
    if (parent != account.home) return false;
    const std::string name = path.substr(slash + 1);
    if (name.empty()) return false;
    // Matched as a path component finds a folder, and as listings show it (trimmed).
    for (const VirtualFolder& folder : AllFolders(session.Server().ProgramDir(), account)) {
        if (EqualsNoCase(folder.name, name) || EqualsNoCase(Trim(folder.name, " "), name))
            return true;
    }
    return false;
}

bool MapToLocal(CControlSocket& session, const std::string& virtualPath, std::string& localPath) {
    AccountView account = ReadAccount(session);
    return MapWith(session.Server().ProgramDir(), account, virtualPath, localPath) &&
           !account.IsBusy();
}

bool CheckPermission(CControlSocket& session, const std::string& localPath, PermissionKind kind) {
    AccountView account = ReadAccount(session);
    return CheckWith(session.Server().ProgramDir(), account, localPath, kind) && !account.IsBusy();
}

std::string ToVirtualPath(CControlSocket& session, const std::string& localPath) {
    AccountView account = ReadAccount(session);
    if (!account.home.empty() && IsSameOrBelow(account.home, localPath))
        return JoinVirtual("", RemainderBelow(account.home, localPath));
    for (const std::string& table : FolderTables(session.Server().ProgramDir(), account.user)) {
        std::vector<VirtualFolder> folders;
        if (!account.tables.LookUpFolders(table, folders).ok()) continue;
        for (const VirtualFolder& folder : folders) {
            const std::string dir = UsableLocalDir(folder.dir);
            if (!dir.empty() && IsSameOrBelow(dir, localPath))
                return JoinVirtual(folder.name, RemainderBelow(dir, localPath));
        }
    }
    // A path outside every known directory (possible only through a stored directory
    // that does not match the mapping) is shown as it is.
    return StripTrailingSlashes(localPath).empty() ? "/" : StripTrailingSlashes(localPath);
}

bool PathExists(const std::string& localPath, bool wantDirectory) {
    const PathKind kind = GetPathKind(localPath);
    if (kind == PathKind::Missing) return false;
    return (kind == PathKind::Directory) == wantDirectory;
}

PathResolution ResolveDirPath(CControlSocket& session, const std::string& argument,
                              PermissionKind kind, std::string& localPath) {
    std::string path = NormalizeArgument(argument);
    if (path.empty()) {
        if (kind != PermissionKind::DirList) return {{}, PathVerdict::DirNotFound};
        path.push_back('/');  // the home directory
    }
    if (path.front() != '/') path = JoinToCurrent(session.CurrentDir(), path);
    // One reading of the account serves the whole resolution.
    AccountView account = ReadAccount(session);
    if (account.IsBusy()) return Judged(account, PathVerdict::Denied);
    const std::string& programDir = session.Server().ProgramDir();
    const bool mapped = MapWith(programDir, account, path, localPath);
    // A folder table that could not be read may hide the folder the path names.
    if (account.IsBusy()) return Judged(account, PathVerdict::Denied);
    if (!mapped && kind != PermissionKind::DirCreate)
        return Judged(account, PathVerdict::DirNotFound);
    if (kind == PermissionKind::DirRename && !PathExists(localPath, true))
        return Judged(account, PathVerdict::Denied);
    const bool granted = CheckWith(programDir, account, localPath, kind);
    if (!granted) return Judged(account, PathVerdict::Denied);
    return Judged(account, mapped ? PathVerdict::Found : PathVerdict::DirNotFound);
}

PathResolution ResolveFilePath(CControlSocket& session, const std::string& argument,
                               PermissionKind kind, std::string& localPath) {
    const std::string path = NormalizeArgument(argument);
    if (path.empty()) return {{}, PathVerdict::FileNotFound};
    std::string dirPart;
    std::string name;
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        dirPart = session.CurrentDir();
        name = path;
    } else {
        dirPart = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
    // SECURITY: "." and ".." name directories, never a file in this one; a NUL would
    // cut the name short where the system reads it.
    if (name == "." || name == ".." || name.find('\0') != std::string::npos)
        return {{}, PathVerdict::FileNotFound};
    if (dirPart.front() != '/') dirPart = JoinToCurrent(session.CurrentDir(), dirPart);
    AccountView account = ReadAccount(session);
    if (account.IsBusy()) return Judged(account, PathVerdict::Denied);
    const std::string& programDir = session.Server().ProgramDir();
    std::string localDir;
    const bool mapped = MapWith(programDir, account, dirPart, localDir);
    if (account.IsBusy() || !mapped) return Judged(account, PathVerdict::FileNotFound);
    localPath = localDir + "/" + name;
    if (kind != PermissionKind::Write && !PathExists(localPath, false))
        return Judged(account, PathVerdict::FileNotFound);
    const bool granted = CheckWith(programDir, account, localDir, kind);
    return Judged(account, granted ? PathVerdict::Found : PathVerdict::Denied);
}
