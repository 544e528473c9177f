// tarvona-admin folder add|del|list: the virtual folders of one user or one group.
#include <algorithm>
#include <ostream>
#include <sstream>

#include "accounts/AccountEditor.h"
#include "accounts/AccountVersion.h"
#include "accounts/PermissionText.h"
#include "app/AdminAccountCommands.h"
#include "app/AdminArgs.h"
#include "app/AdminRemote.h"
#include "app/AdminServerChoice.h"
#include "platform/Text.h"

namespace {

constexpr char kFolderUsage[] =
    "usage: tarvona-admin [--dir DIR] folder add --user NAME|--group NAME FOLDER DIR [--perms "
    "R----L---]\n"
    "       tarvona-admin [--dir DIR] folder del --user NAME|--group NAME FOLDER\n"
    "       tarvona-admin [--dir DIR] folder list --user NAME|--group NAME\n"
    "FOLDER is the name the client sees at the top of its tree; DIR an absolute local\n"
    "directory. --perms is the nine-letter text RWDRALCRR with \"-\" for a permission\n"
    "not granted (read write delete rename append list mkdir rmdir rendir).\n"
    "A user's list also shows the folders it has from its groups.\n";

int BadArguments(std::ostream& err, const std::string& message) {
    err << "tarvona-admin: " << message << " (see: tarvona-admin folder --help)\n";
    return kExitBadArguments;
}

// The folder table of the owner named by --user or --group.
struct Owner {
    std::string label;  // for messages
    std::string path;
    std::string groups;  // a user's group list, for inherited rows
    FolderOwner kind = FolderOwner::User;
    std::int32_t id = 0;
};

int FindOwner(const std::string& dir, const CAdminArgs& a, Owner& owner, std::ostream& err) {
    if (a.Has("--user") == a.Has("--group"))
        return BadArguments(err, "give exactly one of --user and --group");
    if (a.Has("--user")) {
        UserRecord user;
        if (!ReadUser(dir, a.Value("--user"), user))
            return Report(err, kExitRefused, "no user \"" + a.Value("--user") + "\"");
        owner = {"user \"" + user.name + "\"", UserFolderTablePath(dir, user.id), user.groups,
                 FolderOwner::User, user.id};
        return kExitDone;
    }
    CAccountEditor editor(dir);
    GroupRecord group;
    if (!editor.FindGroup(a.Value("--group"), group))
        return Report(err, kExitRefused, "no group \"" + a.Value("--group") + "\"");
    owner = {"group \"" + group.name + "\"",
             GroupFolderTablePath(dir, group.id),
             {},
             FolderOwner::Group,
             group.id};
    return kExitDone;
}

// Saves the list read at `version` unless another editor changed it since.
int SaveOwnerFolders(const std::string& dir, const Owner& owner, const std::string& version,
                     const std::vector<VirtualFolder>& folders, std::ostream& err) {
    CAccountEditor editor(dir);
    editor.RequireVersion({version});
    if (!editor.SaveOwnFolders(owner.kind, owner.id, folders))
        return Report(err, kExitRefused, editor.GetLastError());
    return kExitDone;
}

// The owner named by --user or --group as the server shows it, and its path there.
struct RemoteOwner {
    std::string path;
    std::string label;  // for messages
    nlohmann::json record;
};

int FindRemoteOwner(CApiClient& server, const CAdminArgs& a, RemoteOwner& owner,
                    std::ostream& err) {
    const bool isUser = a.Has("--user");
    owner.path = std::string(isUser ? "/api/v1/users/" : "/api/v1/groups/") +
                 PathSegment(a.Value(isUser ? "--user" : "--group"));
    if (const int status = AskServer(server, "GET", owner.path, {}, {}, err, &owner.record))
        return status;
    owner.label = std::string(isUser ? "user \"" : "group \"") +
                  ReplaceControlCharacters(TextOf(owner.record, isUser ? "userid" : "name")) + "\"";
    return kExitDone;
}

// The folder list of the owner named by --user or --group, read from the running server
// and written back there unless it changed meanwhile; `change` edits it (0) or refuses.
template <typename Change>
int ChangeRemoteFolders(CApiClient& server, const CAdminArgs& a, std::ostream& err, Change change) {
    RemoteOwner owner;
    if (const int status = FindRemoteOwner(server, a, owner, err)) return status;
    nlohmann::json folders;
    std::string version;
    if (const int status =
            AskServer(server, "GET", owner.path + "/folders", {}, {}, err, &folders, &version))
        return status;
    if (!folders.is_array()) return Report(err, kExitRefused, "the server sent no folder list");
    if (const int status = change(owner.label, folders)) return status;
    return AskServer(server, "PUT", owner.path + "/folders", folders, version, err);
}

int RemoteFolderAdd(CApiClient& server, const CAdminArgs& a, const std::string& perms,
                    std::ostream& err) {
    const auto& pos = a.Positional();
    return ChangeRemoteFolders(server, a, err, [&](const std::string& label, nlohmann::json& list) {
        for (const nlohmann::json& f : ObjectsOf(list))
            if (EqualsNoCase(TextOf(f, "name"), pos[1]))
                return Report(err, kExitRefused,
                              label + " has a folder \"" + ShownField(f, "name") + "\" already");
        list.push_back({{"name", pos[1]}, {"dir", pos[2]}, {"permissions", perms}});
        return kExitDone;
    });
}

int RemoteFolderDel(CApiClient& server, const CAdminArgs& a, std::ostream& err) {
    const std::string& name = a.Positional()[1];
    return ChangeRemoteFolders(server, a, err, [&](const std::string& label, nlohmann::json& list) {
        const auto before = list.size();
        list.erase(
            std::remove_if(list.begin(), list.end(),
                           [&](const nlohmann::json& f) { return TextOf(f, "name") == name; }),
            list.end());
        if (list.size() == before)
            return Report(err, kExitRefused, label + " has no folder \"" + name + "\"");
        return kExitDone;
    });
}

int FileFolderAdd(const std::string& dir, const CAdminArgs& a, const std::string& perms,
                  std::ostream& err);
int FileFolderDel(const std::string& dir, const CAdminArgs& a, std::ostream& err);
int FileFolderList(const std::string& dir, const CAdminArgs& a, std::ostream& out,
                   std::ostream& err);
int RemoteFolderList(CApiClient& server, const CAdminArgs& a, std::ostream& out, std::ostream& err);

int FolderAdd(const std::string& dir, const CAdminArgs& a, std::ostream&, std::ostream& err) {
    const auto& pos = a.Positional();
    if (pos.size() != 3) return BadArguments(err, "folder add takes FOLDER and DIR");
    const std::string perms =
        a.Has("--perms") ? a.Value("--perms") : std::string(kDefaultPermissionText);
    if (!IsValidPermissionText(perms))
        return BadArguments(err, "--perms needs nine letters of RWDRALCRR or \"-\"");
    if (!HasNonBlank(pos[1]))
        return BadArguments(err, "Please input a name for this virtual folder!");
    if (pos[1].find('/') != std::string::npos)
        return BadArguments(err, "a virtual folder name cannot contain \"/\"");
    if (!IsStorableDirectory(pos[2]))
        return BadArguments(err, "DIR must be an absolute directory, not \"" + pos[2] + "\"");
    if (a.Has("--user") == a.Has("--group"))
        return BadArguments(err, "give exactly one of --user and --group");
    return ThroughServerOrFiles(
        dir, err, [&](CApiClient& server) { return RemoteFolderAdd(server, a, perms, err); },
        [&] { return FileFolderAdd(dir, a, perms, err); });
}

int FileFolderAdd(const std::string& dir, const CAdminArgs& a, const std::string& perms,
                  std::ostream& err) {
    const auto& pos = a.Positional();
    Owner owner;
    if (const int status = FindOwner(dir, a, owner, err)) return status;
    std::vector<VirtualFolder> folders;
    (void)ReadFolders(owner.path, folders);  // a missing table is an empty list
    for (const VirtualFolder& f : folders)
        if (EqualsNoCase(f.name, pos[1]))
            return Report(err, kExitRefused,
                          owner.label + " has a folder \"" + f.name + "\" already");
    const std::string version = AccountVersion(folders);
    folders.push_back({0, pos[1], pos[2], PermissionsFromTypedText(perms)});
    return SaveOwnerFolders(dir, owner, version, folders, err);
}

int FolderDel(const std::string& dir, const CAdminArgs& a, std::ostream&, std::ostream& err) {
    const auto& pos = a.Positional();
    if (pos.size() != 2 || a.Has("--perms"))
        return BadArguments(err, "folder del takes one FOLDER");
    if (a.Has("--user") == a.Has("--group"))
        return BadArguments(err, "give exactly one of --user and --group");
    return ThroughServerOrFiles(
        dir, err, [&](CApiClient& server) { return RemoteFolderDel(server, a, err); },
        [&] { return FileFolderDel(dir, a, err); });
}

int FileFolderDel(const std::string& dir, const CAdminArgs& a, std::ostream& err) {
    const auto& pos = a.Positional();
    Owner owner;
    if (const int status = FindOwner(dir, a, owner, err)) return status;
    std::vector<VirtualFolder> folders;
    (void)ReadFolders(owner.path, folders);
    const std::string version = AccountVersion(folders);
    const auto before = folders.size();
    std::erase_if(folders, [&](const VirtualFolder& f) { return f.name == pos[1]; });
    if (folders.size() == before)
        return Report(err, kExitRefused, owner.label + " has no folder \"" + pos[1] + "\"");
    return SaveOwnerFolders(dir, owner, version, folders, err);
}

void PrintFolders(std::ostream& out, const std::vector<VirtualFolder>& folders,
                  const std::string& from) {
    for (const VirtualFolder& f : folders)
        out << f.name << '\t' << f.dir << '\t' << PermissionsToText(f.permissions) << '\t' << from
            << '\n';
}

int FolderList(const std::string& dir, const CAdminArgs& a, std::ostream& out, std::ostream& err) {
    if (a.Positional().size() != 1 || a.Has("--perms"))
        return BadArguments(err, "folder list takes no FOLDER");
    if (a.Has("--user") == a.Has("--group"))
        return BadArguments(err, "give exactly one of --user and --group");
    return ThroughServerOrFiles(
        dir, err, [&](CApiClient& server) { return RemoteFolderList(server, a, out, err); },
        [&] { return FileFolderList(dir, a, out, err); });
}

void PrintRemoteFolders(std::ostream& out, const nlohmann::json& folders, const std::string& from) {
    for (const nlohmann::json& f : ObjectsOf(folders))
        out << ShownField(f, "name") << '\t' << ShownField(f, "dir") << '\t'
            << ShownField(f, "permissions") << '\t' << from << '\n';
}

// As FileFolderList prints it: a user's own folders, then those of each of its groups.
int RemoteFolderList(CApiClient& server, const CAdminArgs& a, std::ostream& out,
                     std::ostream& err) {
    RemoteOwner owner;
    if (const int status = FindRemoteOwner(server, a, owner, err)) return status;
    nlohmann::json folders;
    if (const int status = AskServer(server, "GET", owner.path + "/folders", {}, {}, err, &folders))
        return status;
    out << "Name\tPath\tPermissions\tGroup\n";
    PrintRemoteFolders(out, folders, a.Has("--group") ? a.Value("--group") : "");
    if (a.Has("--group")) return kExitDone;
    std::istringstream groups(TextOf(owner.record, "group"));
    for (std::string name; std::getline(groups, name, ',');) {
        if (name.empty()) continue;
        if (const int status =
                AskServer(server, "GET", "/api/v1/groups/" + PathSegment(name) + "/folders", {}, {},
                          err, &folders))
            return status;
        PrintRemoteFolders(out, folders, ReplaceControlCharacters(name));
    }
    return kExitDone;
}

int FileFolderList(const std::string& dir, const CAdminArgs& a, std::ostream& out,
                   std::ostream& err) {
    Owner owner;
    if (const int status = FindOwner(dir, a, owner, err)) return status;
    std::vector<VirtualFolder> folders;
    (void)ReadFolders(owner.path, folders);
    out << "Name\tPath\tPermissions\tGroup\n";
    PrintFolders(out, folders, a.Has("--group") ? a.Value("--group") : "");
    CAccountEditor editor(dir);
    for (std::int32_t id : ParseGroupList(owner.groups)) {
        const std::string name = editor.GroupIdsToNames(std::to_string(id));
        if (name.empty()) continue;  // a group that no longer exists
        (void)ReadFolders(GroupFolderTablePath(dir, id), folders);
        PrintFolders(out, folders, name);
    }
    return kExitDone;
}

}  // namespace

int RunFolderCommand(const std::string& programDir, const std::vector<std::string>& args,
                     std::ostream& out, std::ostream& err) {
    CAdminArgs parsed;
    if (!parsed.Parse(args, {{"--user", true}, {"--group", true}, {"--perms", true}}))
        return BadArguments(err, parsed.GetLastError());
    if (parsed.WantsHelp()) {
        out << kFolderUsage;
        return kExitDone;
    }
    if (parsed.Positional().empty()) return BadArguments(err, "folder needs add, del or list");
    struct Sub {
        std::string_view name;
        int (*run)(const std::string&, const CAdminArgs&, std::ostream&, std::ostream&);
    };
    static constexpr Sub kSubs[] = {{"add", FolderAdd}, {"del", FolderDel}, {"list", FolderList}};
    for (const Sub& s : kSubs) {
        if (parsed.Positional()[0] != s.name) continue;
        if (!RemoteServerChosen() && !PrepareTables(programDir, err)) return kExitRefused;
        return s.run(programDir, parsed, out, err);
    }
    return BadArguments(err, "unknown folder command \"" + parsed.Positional()[0] + "\"");
}
