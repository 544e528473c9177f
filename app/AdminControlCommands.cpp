// tarvona-admin sessions|kick|ban|reload: requests to a running tarvona-server through its
// administration API (see app/AdminRemote.h for which server).
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "api/RouteSupport.h"
#include "app/AdminAccountCommands.h"
#include "app/AdminArgs.h"
#include "app/AdminRemote.h"
#include "platform/Clock.h"
#include "platform/Text.h"

namespace {

// A ban is of one client address, as the server names it: no pattern or range.
bool IsOneAddress(const std::string& text) {
    std::string canonical;
    return CanonicalClientAddress(text, canonical);
}

}  // namespace

int RunSessionsCommand(const std::string& programDir, const std::vector<std::string>& args,
                       std::ostream& out, std::ostream& err) {
    if (!args.empty())
        return Report(err, kExitBadArguments,
                      "usage: tarvona-admin sessions (id, address, user, idle s, directory)");
    nlohmann::json answer;
    if (const int status =
            AskRunningServer(programDir, "GET", "/api/v1/sessions", {}, err, &answer))
        return status;
    for (const nlohmann::json& s : ObjectsOf(answer.is_object() ? answer["sessions"] : answer))
        out << ShownField(s, "id") << '\t' << ShownField(s, "address") << '\t'
            << ShownField(s, "user") << '\t' << ShownField(s, "idleSeconds") << '\t'
            << ShownField(s, "directory") << '\n';
    return kExitDone;
}

int RunKickCommand(const std::string& programDir, const std::vector<std::string>& args,
                   std::ostream& /*out*/, std::ostream& err) {
    long long id = 0;
    if (args.size() != 1 || !ParseCount(args[0], id))
        return Report(err, kExitBadArguments, "usage: tarvona-admin kick ID (see: sessions)");
    return AskRunningServer(programDir, "DELETE", "/api/v1/sessions/" + std::to_string(id), {},
                            err);
}

int RunBanCommand(const std::string& programDir, const std::vector<std::string>& args,
                  std::ostream& out, std::ostream& err) {
    if (args.size() == 1 && args[0] == "list") {
        nlohmann::json answer;
        if (const int status =
                AskRunningServer(programDir, "GET", "/api/v1/bans", {}, err, &answer))
            return status;
        for (const nlohmann::json& ban : ObjectsOf(answer.is_object() ? answer["bans"] : answer))
            out << ShownField(ban, "address") << '\t' << ShownField(ban, "secondsLeft") << '\t'
                << FormatLocalTime(NumberOf(ban, "until"), "%Y-%m-%d %H:%M:%S") << '\t'
                << ShownField(ban, "offences") << '\n';
        return kExitDone;
    }
    if ((args.size() == 2 || args.size() == 3) && args[0] == "add") {
        long long seconds = 0;
        if (!IsOneAddress(args[1]) ||
            (args.size() == 3 && (!ParseCount(args[2], seconds) || seconds < 1)))
            return Report(err, kExitBadArguments, "usage: tarvona-admin ban add ADDRESS [SECONDS]");
        nlohmann::json body = {{"address", args[1]}};
        if (args.size() == 3) body["seconds"] = seconds;
        return AskRunningServer(programDir, "POST", "/api/v1/bans", body, err);
    }
    if (args.size() == 2 && args[0] == "del") {
        if (!IsOneAddress(args[1]))
            return Report(err, kExitBadArguments,
                          "ban del needs one address, not \"" + args[1] + "\"");
        return AskRunningServer(programDir, "DELETE", "/api/v1/bans/" + PathSegment(args[1]), {},
                                err);
    }
    return Report(err, kExitBadArguments,
                  "usage: tarvona-admin ban list | ban add ADDRESS [SECONDS] | ban del ADDRESS "
                  "(address, s left, end, offences)");
}

int RunReloadCommand(const std::string& programDir, const std::vector<std::string>& args,
                     std::ostream& out, std::ostream& err) {
    if (!args.empty())
        return Report(err, kExitBadArguments,
                      "usage: tarvona-admin reload (option.ini and the IP lists, read again)");
    nlohmann::json answer;
    if (const int status =
            AskRunningServer(programDir, "POST", "/api/v1/server/reload", {}, err, &answer))
        return status;
    const auto lines = [&answer](const char* field) {
        std::vector<std::string> shown;
        if (!answer.is_object() || !answer[field].is_array()) return shown;
        for (const nlohmann::json& line : answer[field])
            if (line.is_string())
                shown.push_back(ReplaceControlCharacters(line.get<std::string>()));
        return shown;
    };
    const std::vector<std::string> changes = lines("changes");
    for (const std::string& line : changes) out << line << '\n';
    if (changes.empty()) out << "Nothing changed.\n";
    // A port that could not be bound: the reload is done, but not as asked.
    const std::vector<std::string> problems = lines("problems");
    for (const std::string& line : problems) err << "tarvona-admin: " << line << '\n';
    return problems.empty() ? kExitDone : kExitRefused;
}
