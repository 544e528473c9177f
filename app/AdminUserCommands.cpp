// tarvona-admin user add|set|del|list|show.
#include <ostream>

#include "accounts/AccountEditor.h"
#include "accounts/AccountFields.h"
#include "accounts/AccountSchema.h"
#include "accounts/AccountVersion.h"
#include "accounts/ExpiryCheck.h"
#include "accounts/PasswordHash.h"
#include "accounts/PermissionText.h"
#include "accounts/RecordText.h"
#include "app/AdminAccountCommands.h"
#include "app/AdminArgs.h"
#include "app/AdminRemote.h"
#include "app/AdminServerChoice.h"
#include "app/AdminUserShow.h"
#include "config/Options.h"
#include "platform/Text.h"

namespace {

constexpr char kUserUsage[] =
    "usage: tarvona-admin [--dir DIR] user add NAME --password P --home DIR [options]\n"
    "       tarvona-admin [--dir DIR] user set NAME [--password P] [--home DIR] [options]\n"
    "       tarvona-admin [--dir DIR] user del NAME\n"
    "       tarvona-admin [--dir DIR] user list\n"
    "       tarvona-admin [--dir DIR] user show NAME\n"
    "options:\n"
    "  --email E                 e-mail address\n"
    "  --groups G1,G2            group names (each must exist); \"\" for none\n"
    "  --perms RWDRALCRR         home directory permissions, \"-\" for one not granted\n"
    "                            (read write delete rename append list mkdir rmdir rendir);\n"
    "                            a new account gets R----L---\n"
    "  --disabled | --enabled    account status (a new account is enabled)\n"
    "  --expires YYYY-MM-DD      disable the account on and after that date; \"never\" to stop\n"
    "  --download-limit KBPS     download speed limit in KB/s, 0 for none\n"
    "  --upload-limit KBPS       upload speed limit in KB/s, 0 for none\n"
    "  --quota KB                disk quota in KB, 0 for none\n";

const std::vector<OptionSpec> kUserOptions = {
    {"--password", true},       {"--home", true},         {"--email", true},    {"--groups", true},
    {"--perms", true},          {"--disabled", false},    {"--enabled", false}, {"--expires", true},
    {"--download-limit", true}, {"--upload-limit", true}, {"--quota", true},
};

struct UserCommandContext {
    const std::string& programDir;
    const CAdminArgs& args;
    std::ostream& out;
    std::ostream& err;
};

int BadArguments(std::ostream& err, const std::string& message) {
    err << "tarvona-admin: " << message << " (see: tarvona-admin user --help)\n";
    return kExitBadArguments;
}

// Checks the options that need no table; 0 when all are well-formed.
int CheckUserOptions(const CAdminArgs& a, std::ostream& err) {
    if (a.Has("--home") && !IsStorableDirectory(a.Value("--home")))
        return BadArguments(
            err, "--home needs an absolute directory, not \"" + a.Value("--home") + "\"");
    if (a.Has("--perms") && !IsValidPermissionText(a.Value("--perms")))
        return BadArguments(err, "--perms needs nine letters of RWDRALCRR or \"-\", not \"" +
                                     a.Value("--perms") + "\"");
    if (a.Has("--disabled") && a.Has("--enabled"))
        return BadArguments(err, "--disabled and --enabled exclude each other");
    if (a.Has("--expires") && a.Value("--expires") != "never" && !IsValidDate(a.Value("--expires")))
        return BadArguments(err, "--expires needs a date YYYY-MM-DD or \"never\"");
    long long number = 0;
    for (const char* option : {"--download-limit", "--upload-limit", "--quota"})
        if (a.Has(option) && !ParseCount(a.Value(option), number))
            return BadArguments(err, std::string(option) + " needs a whole number, not \"" +
                                         a.Value(option) + "\"");
    return 0;
}

// Applies the given options to `user`; 0 when done, else the exit status.
int ApplyUserOptions(const UserCommandContext& c, UserRecord& user) {
    const CAdminArgs& a = c.args;
    if (a.Has("--password")) {
        const bool hash = COptions(c.programDir).ReadInt(&OptionValues::hashPasswords) == 1;
        if (!PasswordToStore(a.Value("--password"), hash, user.password))
            return Report(c.err, kExitRefused, "the password cannot be hashed");
    }
    if (a.Has("--home")) user.homeDir = a.Value("--home");
    if (a.Has("--email")) user.email = a.Value("--email");
    if (a.Has("--perms")) user.permissions = PermissionsFromTypedText(a.Value("--perms"));
    if (a.Has("--disabled")) user.status = kStatusDisabled;
    if (a.Has("--enabled")) user.status = kStatusEnabled;
    if (a.Has("--expires")) user.reserved = ReservedForExpires(a.Value("--expires"), user.reserved);
    long long number = 0;
    if (a.Has("--download-limit") && ParseCount(a.Value("--download-limit"), number)) {
        user.downloadLimit = number > 0 ? 1 : 0;
        user.downloadSpeed = static_cast<std::int32_t>(number);
    }
    if (a.Has("--upload-limit") && ParseCount(a.Value("--upload-limit"), number)) {
        user.uploadLimit = number > 0 ? 1 : 0;
        user.uploadSpeed = static_cast<std::int32_t>(number);
    }
    if (a.Has("--quota") && ParseCount(a.Value("--quota"), number))
        user.quotaMax = static_cast<double>(number);
    if (a.Has("--groups")) {
        CAccountEditor editor(c.programDir);
        std::vector<std::string> unknown;
        user.groups = editor.GroupNamesToIds(a.Value("--groups"), &unknown);
        if (!unknown.empty())
            return Report(c.err, kExitRefused, "unknown group \"" + unknown.front() + "\"");
    }
    return 0;
}

int SaveUser(const UserCommandContext& c, UserRecord& user,
             const std::vector<VirtualFolder>& folders) {
    CAccountEditor editor(c.programDir);
    if (!editor.SaveUser(user, folders)) return Report(c.err, kExitRefused, editor.GetLastError());
    return kExitDone;
}

int FileUserAdd(const UserCommandContext& c);
int FileUserSet(const UserCommandContext& c);
int FileUserDel(const UserCommandContext& c);
int FileUserList(const UserCommandContext& c);
int RemoteUserList(const UserCommandContext& c, CApiClient& server);

const std::string kUsersPath = "/api/v1/users";

std::string UserPath(const std::string& name) { return kUsersPath + "/" + PathSegment(name); }

int RemoteUserAdd(const UserCommandContext& c, CApiClient& server) {
    const std::string& name = c.args.Positional()[1];
    nlohmann::json body = UserOptionsJson(c.args, {});
    body["userid"] = name;
    nlohmann::json made;
    if (const int status = AskServer(server, "POST", kUsersPath, body, {}, c.err, &made))
        return status;
    c.out << "user \"" << name << "\" added with id " << NumberOf(made, "id") << '\n';
    return kExitDone;
}

// The account as read, changed only if no other editor changed it meanwhile.
int RemoteUserSet(const UserCommandContext& c, CApiClient& server) {
    const std::string path = UserPath(c.args.Positional()[1]);
    nlohmann::json stored;
    std::string version;
    if (const int status = AskServer(server, "GET", path, {}, {}, c.err, &stored, &version))
        return status;
    const nlohmann::json body = UserOptionsJson(c.args, TextOf(stored, "reserved"));
    return AskServer(server, "PATCH", path, body, version, c.err);
}

int UserAdd(const UserCommandContext& c) {
    const auto& pos = c.args.Positional();
    if (pos.size() != 2) return BadArguments(c.err, "user add takes one NAME");
    if (!c.args.Has("--password") || !c.args.Has("--home"))
        return BadArguments(c.err, "user add needs --password and --home");
    if (!HasNonBlank(pos[1])) return BadArguments(c.err, "Username cannot be empty!");
    if (const int status = CheckUserOptions(c.args, c.err)) return status;
    return ThroughServerOrFiles(
        c.programDir, c.err, [&](CApiClient& server) { return RemoteUserAdd(c, server); },
        [&] { return FileUserAdd(c); });
}

int FileUserAdd(const UserCommandContext& c) {
    const auto& pos = c.args.Positional();
    UserRecord existing;
    if (ReadUser(c.programDir, pos[1], existing))
        return Report(c.err, kExitRefused, "user \"" + pos[1] + "\" exists already");
    UserRecord user;
    user.name = pos[1];
    user.status = kStatusEnabled;
    user.reserved = FormatExpiry(false, TodayText());
    user.permissions = PermissionsFromText(kDefaultPermissionText);
    if (const int status = ApplyUserOptions(c, user)) return status;
    if (const int status = SaveUser(c, user, {})) return status;
    c.out << "user \"" << user.name << "\" added with id " << user.id << '\n';
    return kExitDone;
}

int UserSet(const UserCommandContext& c) {
    const auto& pos = c.args.Positional();
    if (pos.size() != 2) return BadArguments(c.err, "user set takes one NAME");
    if (const int status = CheckUserOptions(c.args, c.err)) return status;
    return ThroughServerOrFiles(
        c.programDir, c.err, [&](CApiClient& server) { return RemoteUserSet(c, server); },
        [&] { return FileUserSet(c); });
}

int FileUserSet(const UserCommandContext& c) {
    const auto& pos = c.args.Positional();
    UserRecord user;
    if (!ReadUser(c.programDir, pos[1], user))
        return Report(c.err, kExitRefused, "no user \"" + pos[1] + "\"");
    const std::string version = AccountVersion(user);
    if (const int status = ApplyUserOptions(c, user)) return status;
    // Only over the account as it was read (another editor's change meanwhile refuses
    // this one), keeping its folders and the space the server booked meanwhile.
    CAccountEditor editor(c.programDir);
    editor.RequireVersion({version});
    if (!editor.SaveUserRecord(user, FieldNamesButId<UserRecord>(), /*keepQuotaInUse=*/true))
        return Report(c.err, kExitRefused, editor.GetLastError());
    return kExitDone;
}

int UserDel(const UserCommandContext& c) {
    const auto& pos = c.args.Positional();
    if (pos.size() != 2) return BadArguments(c.err, "user del takes one NAME");
    if (c.args.HasOptions()) return BadArguments(c.err, "user del takes no options");
    return ThroughServerOrFiles(
        c.programDir, c.err,
        [&](CApiClient& server) {
            return AskServer(server, "DELETE", UserPath(pos[1]), {}, {}, c.err);
        },
        [&] { return FileUserDel(c); });
}

int FileUserDel(const UserCommandContext& c) {
    const auto& pos = c.args.Positional();
    UserRecord user;
    if (!ReadUser(c.programDir, pos[1], user))
        return Report(c.err, kExitRefused, "no user \"" + pos[1] + "\"");
    CAccountEditor editor(c.programDir);
    if (!editor.DeleteUser(user.id))
        return Report(c.err, kExitRefused, editor.GetLastError() + " \"" + pos[1] + "\"");
    return kExitDone;
}

int UserList(const UserCommandContext& c) {
    const auto& pos = c.args.Positional();
    if (pos.size() != 1) return BadArguments(c.err, "user list takes no NAME");
    if (c.args.HasOptions()) return BadArguments(c.err, "user list takes no options");
    return ThroughServerOrFiles(
        c.programDir, c.err, [&](CApiClient& server) { return RemoteUserList(c, server); },
        [&] { return FileUserList(c); });
}

int FileUserList(const UserCommandContext& c) {
    std::vector<UserRecord> users;
    if (!ReadAllUsers(c.programDir, users))
        return Report(c.err, kExitRefused, "cannot read " + UserTablePath(c.programDir));
    // group.sdb is read once, not once per account.
    const auto groups = CAccountEditor(c.programDir).GroupNamesById();
    PrintUserListHead(c.out);
    for (const UserRecord& u : users) PrintUserRow(c.out, u, JoinGroupNames(u.groups, groups));
    return kExitDone;
}

int RemoteUserList(const UserCommandContext& c, CApiClient& server) {
    nlohmann::json users;
    if (const int status = AskServer(server, "GET", kUsersPath, {}, {}, c.err, &users))
        return status;
    PrintUserListHead(c.out);
    for (const nlohmann::json& user : ObjectsOf(users))
        PrintUserRow(c.out, UserFromJson(user), GroupNamesOf(user));
    return kExitDone;
}

int UserShow(const UserCommandContext& c) {
    const auto& pos = c.args.Positional();
    if (pos.size() != 2) return BadArguments(c.err, "user show takes one NAME");
    if (c.args.HasOptions()) return BadArguments(c.err, "user show takes no options");
    return ThroughServerOrFiles(
        c.programDir, c.err,
        [&](CApiClient& server) {
            nlohmann::json user;
            if (const int status = AskServer(server, "GET", UserPath(pos[1]), {}, {}, c.err, &user))
                return status;
            ShowUser({UserFromJson(user), GroupNamesOf(user), false}, c.out);
            return kExitDone;
        },
        [&] {
            UserRecord u;
            if (!ReadUser(c.programDir, pos[1], u))
                return Report(c.err, kExitRefused, "no user \"" + pos[1] + "\"");
            const std::string groupNames = CAccountEditor(c.programDir).GroupIdsToNames(u.groups);
            ShowUser({u, groupNames, true}, c.out);
            return kExitDone;
        });
}

}  // namespace

bool PrepareTables(const std::string& programDir, std::ostream& err) {
    std::string error;
    if (EnsureAccountTables(programDir, error)) return true;
    Report(err, kExitRefused, error);
    return false;
}

int RunUserCommand(const std::string& programDir, const std::vector<std::string>& args,
                   std::ostream& out, std::ostream& err) {
    CAdminArgs parsed;
    if (!parsed.Parse(args, kUserOptions)) return BadArguments(err, parsed.GetLastError());
    if (parsed.WantsHelp()) {
        out << kUserUsage;
        return kExitDone;
    }
    if (parsed.Positional().empty())
        return BadArguments(err, "user needs add, set, del, list or show");
    struct Sub {
        std::string_view name;
        int (*run)(const UserCommandContext&);
    };
    static constexpr Sub kSubs[] = {{"add", UserAdd},
                                    {"set", UserSet},
                                    {"del", UserDel},
                                    {"list", UserList},
                                    {"show", UserShow}};
    for (const Sub& s : kSubs) {
        if (parsed.Positional()[0] != s.name) continue;
        if (!RemoteServerChosen() && !PrepareTables(programDir, err)) return kExitRefused;
        return s.run(UserCommandContext{programDir, parsed, out, err});
    }
    return BadArguments(err, "unknown user command \"" + parsed.Positional()[0] + "\"");
}
