// tarvona-admin: the command-line administration tool.
//   tarvona-admin [--dir DIR] [--server https://HOST:PORT [--fingerprint SHA256]]
//                 COMMAND ARGS... | --help | --version
// A relative FILE given to a command is taken inside DIR when --dir is given.
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/TableUpgrade.h"
#include "app/AdminAccountCommands.h"
#include "app/AdminArgs.h"
#include "app/AdminServerChoice.h"
#include "app/ProgramDirChoice.h"
#include "generated/Version.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tools/DbTool.h"

namespace {

struct AdminContext {
    std::string dir;  // program directory with a trailing '/', empty when not given
};

int RunDb(const AdminContext& ctx, std::vector<std::string> args) {
    if (!ctx.dir.empty() && args.size() == 2 && !args[1].empty() && args[1][0] != '/')
        args[1] = ctx.dir + args[1];
    return RunDbCommand(args, std::cout, std::cerr);
}

using ProgramDirCommand = int (*)(const std::string&, const std::vector<std::string>&,
                                  std::ostream&, std::ostream&);

// Whether a command makes the program directory when it is missing: the account commands
// do (on a fresh installation it does not exist yet); the others only use it.
enum class DirUse { MadeWhenMissing, AsItIs };

// Whether a command can reach a server given by --server.
enum class Reach { LocalOnly, RemoteToo };

struct AdminCommand {
    std::string_view name;
    ProgramDirCommand run;
    DirUse dirUse;
    Reach reach = Reach::LocalOnly;
};
constexpr AdminCommand kCommands[] = {
    {"user", &RunUserCommand, DirUse::MadeWhenMissing, Reach::RemoteToo},
    {"group", &RunGroupCommand, DirUse::MadeWhenMissing, Reach::RemoteToo},
    {"folder", &RunFolderCommand, DirUse::MadeWhenMissing, Reach::RemoteToo},
    {"expire", &RunExpireCommand, DirUse::MadeWhenMissing, Reach::RemoteToo},
    {"sessions", &RunSessionsCommand, DirUse::AsItIs, Reach::RemoteToo},
    {"kick", &RunKickCommand, DirUse::AsItIs, Reach::RemoteToo},
    {"ban", &RunBanCommand, DirUse::AsItIs, Reach::RemoteToo},
    {"reload", &RunReloadCommand, DirUse::AsItIs, Reach::RemoteToo},
    {"ip", &RunIpCommand, DirUse::AsItIs, Reach::RemoteToo},
    {"stats", &RunStatsCommand, DirUse::AsItIs, Reach::RemoteToo},
    {"admin-password", &RunAdminPasswordCommand, DirUse::MadeWhenMissing},
};

int RefuseRemote(std::string_view command) {
    return Report(std::cerr, kExitBadArguments,
                  std::string(command) +
                      " works on this machine's files only, not through --server; run it on "
                      "the server's machine without --server");
}

// Tables of an earlier release gain this release's fields before an account command
// writes them, as at the server's start; stderr keeps the listings clean.
void UpgradeTablesOf(const std::string& programDir) {
    std::vector<std::string> upgraded;
    std::vector<std::string> problems;
    UpgradeAccountTables(programDir, kTarvonaVersion, upgraded, problems);
    for (const std::string& line : upgraded) std::cerr << "tarvona-admin: " << line << '\n';
    for (const std::string& line : problems) std::cerr << "tarvona-admin: " << line << '\n';
}

// Runs `command` in the program directory (see ExplainProgramDir); refused when none can
// be chosen, rather than working in the current directory.
int RunInProgramDir(const AdminContext& ctx, const std::vector<std::string>& args,
                    const AdminCommand& command) {
    if (RemoteServerChosen()) {
        if (command.reach == Reach::LocalOnly) return RefuseRemote(command.name);
        return command.run({}, args, std::cout, std::cerr);
    }
    const ProgramDirChoice choice = ExplainProgramDir(ctx.dir);
    if (choice.dir.empty()) return Report(std::cerr, kExitRefused, choice.source);
    std::string why;
    if (command.dirUse == DirUse::MadeWhenMissing && !MakeDirectories(choice.dir, &why))
        return Report(std::cerr, kExitRefused,
                      "program directory " + choice.dir + " cannot be created: " + why);
    if (command.dirUse == DirUse::MadeWhenMissing) UpgradeTablesOf(choice.dir);
    return command.run(choice.dir, args, std::cout, std::cerr);
}

constexpr char kUsage[] =
    "usage: tarvona-admin [--dir DIR] [--server https://HOST:PORT [--fingerprint SHA256]]\n"
    "                     COMMAND ...\n"
    "  user add|set|del|list|show ...   user accounts\n"
    "  group add|set|del|list ...       groups\n"
    "  folder add|del|list ...          virtual folders of a user or a group\n"
    "  expire                           disable accounts whose disable date has come\n"
    "  db dump|check|upgrade FILE       inspect a table file, or add this release's fields\n"
    "  sessions                         sessions of the running server (id, address, user,\n"
    "                                   idle seconds, directory; tab-separated)\n"
    "  kick ID                          end a session of the running server\n"
    "  ban list|add|del [ADDRESS]       bans of the running server\n"
    "  reload                           the running server reads option.ini and the IP\n"
    "                                   lists again; its sessions stay\n"
    "  ip list|add|del allow|deny [E]   IP lists (addresses, \"*\" forms, CIDR ranges)\n"
    "  stats [--user NAME] [--days N]   transfer history per day, week (--by) or month,\n"
    "                                   and the top users\n"
    "  admin-password                   set the password of the administration listener\n"
    "Every command but db and admin-password works through the server running on DIR (its\n"
    "control socket) or, with --server, through a server's TLS listener; without a\n"
    "running server the account and IP commands edit DIR's files (stats reads stats.sdb).\n"
    "--server: the certificate is pinned by --fingerprint or remembered at first contact;\n"
    "the password comes from TARVONA_ADMIN_PASSWORD or is asked for.\n"
    "COMMAND --help describes each command; --version shows the version.\n";

// SECURITY: a line break or tab in a name or path forges rows of the tab-separated
// listings, and a terminal control reaches whoever reads them. A password is never
// listed, so it may hold any byte.
const std::string* ArgumentWithControl(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--password") {
            ++i;
            continue;
        }
        if (HasControlCharacters(args[i])) return &args[i];
    }
    return nullptr;
}

int Usage() {
    std::cerr << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (const std::string* bad = ArgumentWithControl(args))
        return Report(std::cerr, kExitBadArguments,
                      "control characters and bytes that are not UTF-8 are refused: \"" +
                          ReplaceControlCharacters(*bad) + "\"");
    AdminContext ctx;
    RemoteServerChoice remote;
    while (args.size() >= 2 &&
           (args[0] == "--dir" || args[0] == "--server" || args[0] == "--fingerprint")) {
        if (args[0] == "--dir") {
            ctx.dir = args[1];
            if (ctx.dir.empty() || ctx.dir.back() != '/') ctx.dir += '/';
        } else {
            (args[0] == "--server" ? remote.url : remote.fingerprint) = args[1];
        }
        args.erase(args.begin(), args.begin() + 2);
    }
    if (!remote.fingerprint.empty() && remote.url.empty())
        return Report(std::cerr, kExitBadArguments, "--fingerprint needs --server");
    ChooseRemoteServer(remote);
    if (args.empty()) return Usage();
    if (args[0] == "--help" || args[0] == "-h") {
        std::cout << kUsage << ProgramDirHelpLine(ctx.dir) << '\n';
        return 0;
    }
    if (args[0] == "--version") {
        std::cout << "tarvona-admin (Tarvona FTP Server) " << kTarvonaVersion << '\n'
                  << kTarvonaLicenceNotice;
        return 0;
    }
    const std::vector<std::string> commandArgs(args.begin() + 1, args.end());
    if (args[0] == "db") return RemoteServerChosen() ? RefuseRemote("db") : RunDb(ctx, commandArgs);
    for (const AdminCommand& c : kCommands) {
        if (args[0] == c.name) return RunInProgramDir(ctx, commandArgs, c);
    }
    return Usage();
}
