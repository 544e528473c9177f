// tarvona-admin sessions|kick|ban: requests to a running tarvona-server over its control
// socket in the program directory (server/AdminChannel.h describes the protocol).
#include <ostream>
#include <string>
#include <vector>

#include "app/AdminAccountCommands.h"
#include "app/AdminArgs.h"
#include "config/IpPattern.h"
#include "platform/UnixSocket.h"
#include "server/AdminChannel.h"

namespace {

constexpr int kAnswerWaitMs = 5000;
constexpr std::size_t kMaxAnswerBytes = 16 * 1024 * 1024;

// Sends `request`, prints the answer's data lines; 0 for "OK", 1 otherwise.
int Ask(const std::string& programDir, const std::string& request, std::ostream& out,
        std::ostream& err) {
    UniqueFd fd;
    std::string error, answer;
    if (!ConnectUnix(programDir + kAdminSocketName, fd, error))
        return Report(err, kExitRefused, error + " (is tarvona-server running on this directory?)");
    // SECURITY: a socket another user answers on is not this user's server.
    if (!PeerIsSameUser(fd.Get()))
        return Report(err, kExitRefused,
                      programDir + kAdminSocketName + " belongs to another user");
    if (!WriteAllWithin(fd.Get(), request + "\n", kAnswerWaitMs) ||
        !ReadAllWithin(fd.Get(), answer, kMaxAnswerBytes, kAnswerWaitMs))
        return Report(err, kExitRefused, "the server did not answer");
    const std::size_t firstEnd = answer.find('\n');
    const std::string status = answer.substr(0, firstEnd);
    if (status != "OK")
        return Report(err, kExitRefused, status.rfind("ERR ", 0) == 0 ? status.substr(4) : status);
    if (firstEnd != std::string::npos) out << answer.substr(firstEnd + 1);
    return kExitDone;
}

}  // namespace

int RunSessionsCommand(const std::string& programDir, const std::vector<std::string>& args,
                       std::ostream& out, std::ostream& err) {
    if (!args.empty())
        return Report(err, kExitBadArguments,
                      "usage: tarvona-admin sessions (id, address, user, idle s, directory)");
    return Ask(programDir, "sessions", out, err);
}

int RunKickCommand(const std::string& programDir, const std::vector<std::string>& args,
                   std::ostream& out, std::ostream& err) {
    long long id = 0;
    if (args.size() != 1 || !ParseCount(args[0], id))
        return Report(err, kExitBadArguments, "usage: tarvona-admin kick ID (see: sessions)");
    return Ask(programDir, "kick " + args[0], out, err);
}

int RunBanCommand(const std::string& programDir, const std::vector<std::string>& args,
                  std::ostream& out, std::ostream& err) {
    if (args.size() == 1 && args[0] == "list") return Ask(programDir, "ban list", out, err);
    if (args.size() == 2 && args[0] == "del") {
        if (!IsValidIpListEntry(args[1]) || args[1].find_first_of("*/") != std::string::npos)
            return Report(err, kExitBadArguments,
                          "ban del needs one address, not \"" + args[1] + "\"");
        return Ask(programDir, "ban del " + args[1], out, err);
    }
    return Report(
        err, kExitBadArguments,
        "usage: tarvona-admin ban list | ban del ADDRESS (address, s left, end, offences)");
}
