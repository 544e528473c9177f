// tarvona-admin group add|set|del|list, and expire.
#include <ostream>

#include "accounts/AccountEditor.h"
#include "accounts/AccountFields.h"
#include "accounts/AccountVersion.h"
#include "accounts/ExpiryCheck.h"
#include "accounts/RecordText.h"
#include "app/AdminAccountCommands.h"
#include "app/AdminArgs.h"
#include "app/AdminRemote.h"
#include "app/AdminServerChoice.h"

namespace {

constexpr char kGroupUsage[] =
    "usage: tarvona-admin [--dir DIR] group add NAME [--notes TEXT]\n"
    "       tarvona-admin [--dir DIR] group set NAME [--notes TEXT] [--name NEWNAME]\n"
    "       tarvona-admin [--dir DIR] group del NAME\n"
    "       tarvona-admin [--dir DIR] group list\n"
    "Notes are kept to their first 127 characters. Deleting a group takes it out of\n"
    "every account's group list.\n";

constexpr char kExpireUsage[] =
    "usage: tarvona-admin [--dir DIR] expire\n"
    "Disables every account whose automatic disable date is today or earlier, as the\n"
    "server does when it starts.\n";

int BadArguments(std::ostream& err, const std::string& message, const char* usage) {
    const std::string_view command = usage == kExpireUsage ? "expire" : "group";
    err << "tarvona-admin: " << message << " (see: tarvona-admin " << command << " --help)\n";
    return kExitBadArguments;
}

std::string GroupPath(const std::string& name) { return "/api/v1/groups/" + PathSegment(name); }

int RemoteGroupAdd(CApiClient& server, const CAdminArgs& a, std::ostream& out, std::ostream& err) {
    const std::string& name = a.Positional()[1];
    nlohmann::json made;
    const nlohmann::json body = {{"name", name}, {"notes", a.Value("--notes")}};
    if (const int status = AskServer(server, "POST", "/api/v1/groups", body, {}, err, &made))
        return status;
    out << "group \"" << name << "\" added with id " << NumberOf(made, "id") << '\n';
    return kExitDone;
}

// The group as read, changed only if no other editor changed it meanwhile.
int RemoteGroupSet(CApiClient& server, const CAdminArgs& a, std::ostream& err) {
    const std::string path = GroupPath(a.Positional()[1]);
    std::string version;
    if (const int status = AskServer(server, "GET", path, {}, {}, err, nullptr, &version))
        return status;
    nlohmann::json body = nlohmann::json::object();
    if (a.Has("--notes")) body["notes"] = a.Value("--notes");
    if (a.Has("--name")) body["name"] = a.Value("--name");
    return AskServer(server, "PATCH", path, body, version, err);
}

void PrintGroupListHead(std::ostream& out) { out << "Group ID\tName\tNotes\n"; }

int RemoteGroupList(CApiClient& server, std::ostream& out, std::ostream& err) {
    nlohmann::json groups;
    if (const int status = AskServer(server, "GET", "/api/v1/groups", {}, {}, err, &groups))
        return status;
    PrintGroupListHead(out);
    for (const nlohmann::json& g : ObjectsOf(groups))
        out << NumberOf(g, "id") << '\t' << ShownField(g, "name") << '\t' << ShownField(g, "notes")
            << '\n';
    return kExitDone;
}

// Disables the due accounts one by one, each only as it was read: an account another
// editor changed meanwhile is reported and left as it is.
int RemoteExpire(CApiClient& server, std::ostream& out, std::ostream& err) {
    nlohmann::json users;
    if (const int status = AskServer(server, "GET", "/api/v1/users", {}, {}, err, &users))
        return status;
    const std::string today = TodayText();
    int disabled = 0;
    int status = kExitDone;
    for (const nlohmann::json& listed : ObjectsOf(users)) {
        const std::string path = "/api/v1/users/" + PathSegment(TextOf(listed, "userid"));
        nlohmann::json user;
        std::string version;
        if (const int refused = AskServer(server, "GET", path, {}, {}, err, &user, &version)) {
            status = refused;
            continue;
        }
        const ExpiryText expiry = ParseExpiry(TextOf(user, "reserved"));
        if (!expiry.on || today < expiry.date || NumberOf(user, "status") == 0) continue;
        if (const int refused = AskServer(server, "PATCH", path, {{"status", 0}}, version, err)) {
            status = refused;
            continue;
        }
        ++disabled;
    }
    out << disabled << " account(s) disabled\n";
    return status;
}

int FileGroupAdd(const std::string& dir, const CAdminArgs& a, std::ostream& out, std::ostream& err);
int FileGroupSet(const std::string& dir, const CAdminArgs& a, std::ostream& err);
int FileGroupDel(const std::string& dir, const std::string& name, std::ostream& err);

int GroupAdd(const std::string& dir, const CAdminArgs& a, std::ostream& out, std::ostream& err) {
    const auto& pos = a.Positional();
    if (pos.size() != 2 || a.Has("--name"))
        return BadArguments(err, "group add takes one NAME and --notes", kGroupUsage);
    if (!HasNonBlank(pos[1])) return BadArguments(err, "Name cannot be empty!", kGroupUsage);
    return ThroughServerOrFiles(
        dir, err, [&](CApiClient& server) { return RemoteGroupAdd(server, a, out, err); },
        [&] { return FileGroupAdd(dir, a, out, err); });
}

int FileGroupAdd(const std::string& dir, const CAdminArgs& a, std::ostream& out,
                 std::ostream& err) {
    const auto& pos = a.Positional();
    CAccountEditor editor(dir);
    GroupRecord group{0, pos[1], a.Value("--notes")};
    if (editor.FindGroup(pos[1], group))
        return Report(err, kExitRefused, "group \"" + pos[1] + "\" exists already");
    group = GroupRecord{0, pos[1], a.Value("--notes")};
    if (!editor.SaveGroup(group, {})) return Report(err, kExitRefused, editor.GetLastError());
    out << "group \"" << group.name << "\" added with id " << group.id << '\n';
    return kExitDone;
}

int GroupSet(const std::string& dir, const CAdminArgs& a, std::ostream&, std::ostream& err) {
    const auto& pos = a.Positional();
    if (pos.size() != 2) return BadArguments(err, "group set takes one NAME", kGroupUsage);
    if (a.Has("--name") && !HasNonBlank(a.Value("--name")))
        return BadArguments(err, "Name cannot be empty!", kGroupUsage);
    return ThroughServerOrFiles(
        dir, err, [&](CApiClient& server) { return RemoteGroupSet(server, a, err); },
        [&] { return FileGroupSet(dir, a, err); });
}

int FileGroupSet(const std::string& dir, const CAdminArgs& a, std::ostream& err) {
    const auto& pos = a.Positional();
    CAccountEditor editor(dir);
    GroupRecord group;
    if (!editor.FindGroup(pos[1], group))
        return Report(err, kExitRefused, "no group \"" + pos[1] + "\"");
    // Only over the group as it was read; its folders stay as they are.
    editor.RequireVersion({AccountVersion(group)});
    if (a.Has("--notes")) group.notes = a.Value("--notes");
    if (a.Has("--name")) group.name = a.Value("--name");
    if (!editor.SaveGroupRecord(group, FieldNamesButId<GroupRecord>()))
        return Report(err, kExitRefused, editor.GetLastError());
    return kExitDone;
}

int GroupDel(const std::string& dir, const CAdminArgs& a, std::ostream&, std::ostream& err) {
    const auto& pos = a.Positional();
    if (pos.size() != 2 || a.HasOptions())
        return BadArguments(err, "group del takes one NAME", kGroupUsage);
    return ThroughServerOrFiles(
        dir, err,
        [&](CApiClient& server) {
            return AskServer(server, "DELETE", GroupPath(pos[1]), {}, {}, err);
        },
        [&] { return FileGroupDel(dir, pos[1], err); });
}

int FileGroupDel(const std::string& dir, const std::string& name, std::ostream& err) {
    CAccountEditor editor(dir);
    GroupRecord group;
    if (!editor.FindGroup(name, group))
        return Report(err, kExitRefused, "no group \"" + name + "\"");
    if (!editor.DeleteGroup(group.id)) return Report(err, kExitRefused, editor.GetLastError());
    return kExitDone;
}

int GroupList(const std::string& dir, const CAdminArgs& a, std::ostream& out, std::ostream& err) {
    if (a.Positional().size() != 1 || a.HasOptions())
        return BadArguments(err, "group list takes nothing more", kGroupUsage);
    return ThroughServerOrFiles(
        dir, err, [&](CApiClient& server) { return RemoteGroupList(server, out, err); },
        [&] {
            CAccountEditor editor(dir);
            std::vector<GroupRecord> groups;
            if (!editor.ReadGroups(groups)) return Report(err, kExitRefused, editor.GetLastError());
            PrintGroupListHead(out);
            for (const GroupRecord& g : groups)
                out << g.id << '\t' << g.name << '\t' << g.notes << '\n';
            return kExitDone;
        });
}

}  // namespace

int RunGroupCommand(const std::string& programDir, const std::vector<std::string>& args,
                    std::ostream& out, std::ostream& err) {
    CAdminArgs parsed;
    if (!parsed.Parse(args, {{"--notes", true}, {"--name", true}}))
        return BadArguments(err, parsed.GetLastError(), kGroupUsage);
    if (parsed.WantsHelp()) {
        out << kGroupUsage;
        return kExitDone;
    }
    if (parsed.Positional().empty())
        return BadArguments(err, "group needs add, set, del or list", kGroupUsage);
    struct Sub {
        std::string_view name;
        int (*run)(const std::string&, const CAdminArgs&, std::ostream&, std::ostream&);
    };
    static constexpr Sub kSubs[] = {
        {"add", GroupAdd}, {"set", GroupSet}, {"del", GroupDel}, {"list", GroupList}};
    for (const Sub& s : kSubs) {
        if (parsed.Positional()[0] != s.name) continue;
        if (!RemoteServerChosen() && !PrepareTables(programDir, err)) return kExitRefused;
        return s.run(programDir, parsed, out, err);
    }
    return BadArguments(err, "unknown group command \"" + parsed.Positional()[0] + "\"",
                        kGroupUsage);
}

int RunExpireCommand(const std::string& programDir, const std::vector<std::string>& args,
                     std::ostream& out, std::ostream& err) {
    CAdminArgs parsed;
    if (!parsed.Parse(args, {})) return BadArguments(err, parsed.GetLastError(), kExpireUsage);
    if (parsed.WantsHelp()) {
        out << kExpireUsage;
        return kExitDone;
    }
    if (!parsed.Positional().empty())
        return BadArguments(err, "expire takes no arguments", kExpireUsage);
    return ThroughServerOrFiles(
        programDir, err, [&](CApiClient& server) { return RemoteExpire(server, out, err); },
        [&] {
            if (!PrepareTables(programDir, err)) return kExitRefused;
            int disabled = 0;
            const LookupStatus status = DisableExpiredAccounts(programDir, TodayText(), disabled);
            if (!status.ok()) return Report(err, kExitRefused, status.message());
            out << disabled << " account(s) disabled\n";
            return kExitDone;
        });
}
