// tarvona-admin: the command-line administration tool.
//   tarvona-admin [--dir DIR] COMMAND ARGS...
// A relative FILE given to a command is taken inside DIR when --dir is given.
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/AdminAccountCommands.h"
#include "app/ProgramDirChoice.h"
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

// The account commands work in the program directory: --dir, else $TARVONA_HOME, else
// the executable's directory.
int RunUser(const AdminContext& ctx, std::vector<std::string> args) {
    return RunUserCommand(ChooseProgramDir(ctx.dir), args, std::cout, std::cerr);
}
int RunGroup(const AdminContext& ctx, std::vector<std::string> args) {
    return RunGroupCommand(ChooseProgramDir(ctx.dir), args, std::cout, std::cerr);
}
int RunFolder(const AdminContext& ctx, std::vector<std::string> args) {
    return RunFolderCommand(ChooseProgramDir(ctx.dir), args, std::cout, std::cerr);
}
int RunExpire(const AdminContext& ctx, std::vector<std::string> args) {
    return RunExpireCommand(ChooseProgramDir(ctx.dir), args, std::cout, std::cerr);
}
int RunSessions(const AdminContext& ctx, std::vector<std::string> args) {
    return RunSessionsCommand(ChooseProgramDir(ctx.dir), args, std::cout, std::cerr);
}
int RunKick(const AdminContext& ctx, std::vector<std::string> args) {
    return RunKickCommand(ChooseProgramDir(ctx.dir), args, std::cout, std::cerr);
}
int RunBan(const AdminContext& ctx, std::vector<std::string> args) {
    return RunBanCommand(ChooseProgramDir(ctx.dir), args, std::cout, std::cerr);
}
int RunIp(const AdminContext& ctx, std::vector<std::string> args) {
    return RunIpCommand(ChooseProgramDir(ctx.dir), args, std::cout, std::cerr);
}

struct AdminCommand {
    std::string_view name;
    int (*run)(const AdminContext& ctx, std::vector<std::string> args);
};
constexpr AdminCommand kCommands[] = {
    {"db", &RunDb},         {"user", &RunUser},     {"group", &RunGroup},
    {"folder", &RunFolder}, {"expire", &RunExpire}, {"sessions", &RunSessions},
    {"kick", &RunKick},     {"ban", &RunBan},       {"ip", &RunIp},
};

constexpr char kUsage[] =
    "usage: tarvona-admin [--dir DIR] COMMAND ...\n"
    "  user add|set|del|list|show ...   user accounts\n"
    "  group add|set|del|list ...       groups\n"
    "  folder add|del|list ...          virtual folders of a user or a group\n"
    "  expire                           disable accounts whose disable date has come\n"
    "  db dump|check FILE               inspect a table file\n"
    "  sessions                         sessions of the running server (id, address, user,\n"
    "                                   idle seconds, directory; tab-separated)\n"
    "  kick ID                          end a session of the running server\n"
    "  ban list | ban del ADDRESS       failed-login bans of the running server\n"
    "  ip list|add|del allow|deny [E]   IP lists (addresses, \"*\" forms, CIDR ranges)\n"
    "COMMAND --help describes each command.\n";

int Usage() {
    std::cerr << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    AdminContext ctx;
    if (args.size() >= 2 && args[0] == "--dir") {
        ctx.dir = args[1];
        if (ctx.dir.empty() || ctx.dir.back() != '/') ctx.dir += '/';
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) return Usage();
    if (args[0] == "--help" || args[0] == "-h") {
        std::cout << kUsage;
        return 0;
    }
    for (const AdminCommand& c : kCommands) {
        if (args[0] == c.name)
            return c.run(ctx, std::vector<std::string>(args.begin() + 1, args.end()));
    }
    return Usage();
}
