// tarvona-admin sessions|kick|ban: requests to a running tarvona-server through the
// administration API on its control socket in the program directory.
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "api/ApiClient.h"
#include "app/AdminAccountCommands.h"
#include "app/AdminArgs.h"
#include "app/AdminRemote.h"
#include "app/AdminServerChoice.h"
#include "config/IpPattern.h"
#include "platform/Clock.h"
#include "platform/Text.h"

namespace {

// A field shown between tabs: no tab, line break or terminal control of a client's
// choosing gets in.
std::string Field(const nlohmann::json& value) {
    return ReplaceControlCharacters(value.is_string() ? value.get<std::string>() : value.dump());
}

// Sends the request; on success gives the answer's JSON in `json`. Otherwise reports why
// and gives the exit status in `status`.
bool Ask(const std::string& programDir, const std::string& method, const std::string& path,
         std::ostream& err, nlohmann::json& json, int& status, const std::string& body = {}) {
    std::string error;
    const std::unique_ptr<CApiClient> client = ConnectAdminApi(programDir, error);
    if (!client) {
        status = Report(err, kExitRefused, error);
        return false;
    }
    const ApiClientResponse answer = client->Send(method, path, body);
    if (answer.status == 0) {
        status = Report(err, kExitRefused,
                        answer.error + (RemoteServerChosen()
                                            ? std::string()
                                            : " (is tarvona-server running on this directory?)"));
        return false;
    }
    json = nlohmann::json::parse(answer.body, nullptr, false);
    if (answer.status >= 300) {
        const bool hasMessage = json.is_object() && json.contains("error");
        status = Report(err, kExitRefused,
                        hasMessage ? Field(json["error"])
                                   : "the server answered " + std::to_string(answer.status));
        return false;
    }
    if (json.is_discarded()) json = nlohmann::json::object();
    status = kExitDone;
    return true;
}

}  // namespace

int RunSessionsCommand(const std::string& programDir, const std::vector<std::string>& args,
                       std::ostream& out, std::ostream& err) {
    if (!args.empty())
        return Report(err, kExitBadArguments,
                      "usage: tarvona-admin sessions (id, address, user, idle s, directory)");
    nlohmann::json answer;
    int status = kExitDone;
    if (!Ask(programDir, "GET", "/api/v1/sessions", err, answer, status)) return status;
    for (const nlohmann::json& s : answer.value("sessions", nlohmann::json::array()))
        out << Field(s["id"]) << '\t' << Field(s["address"]) << '\t' << Field(s["user"]) << '\t'
            << Field(s["idleSeconds"]) << '\t' << Field(s["directory"]) << '\n';
    return kExitDone;
}

int RunKickCommand(const std::string& programDir, const std::vector<std::string>& args,
                   std::ostream& /*out*/, std::ostream& err) {
    long long id = 0;
    if (args.size() != 1 || !ParseCount(args[0], id))
        return Report(err, kExitBadArguments, "usage: tarvona-admin kick ID (see: sessions)");
    nlohmann::json answer;
    int status = kExitDone;
    (void)Ask(programDir, "DELETE", "/api/v1/sessions/" + std::to_string(id), err, answer, status);
    return status;
}

int RunBanCommand(const std::string& programDir, const std::vector<std::string>& args,
                  std::ostream& out, std::ostream& err) {
    nlohmann::json answer;
    int status = kExitDone;
    if (args.size() == 1 && args[0] == "list") {
        if (!Ask(programDir, "GET", "/api/v1/bans", err, answer, status)) return status;
        for (const nlohmann::json& ban : answer.value("bans", nlohmann::json::array()))
            out << Field(ban["address"]) << '\t' << Field(ban["secondsLeft"]) << '\t'
                << FormatLocalTime(ban.value("until", std::int64_t{0}), "%Y-%m-%d %H:%M:%S") << '\t'
                << Field(ban["offences"]) << '\n';
        return kExitDone;
    }
    if ((args.size() == 2 || args.size() == 3) && args[0] == "add") {
        long long seconds = 0;
        if (!IsValidIpListEntry(args[1]) || args[1].find_first_of("*/") != std::string::npos ||
            (args.size() == 3 && (!ParseCount(args[2], seconds) || seconds < 1)))
            return Report(err, kExitBadArguments, "usage: tarvona-admin ban add ADDRESS [SECONDS]");
        nlohmann::json body = {{"address", args[1]}};
        if (args.size() == 3) body["seconds"] = seconds;
        (void)Ask(programDir, "POST", "/api/v1/bans", err, answer, status, body.dump());
        return status;
    }
    if (args.size() == 2 && args[0] == "del") {
        if (!IsValidIpListEntry(args[1]) || args[1].find_first_of("*/") != std::string::npos)
            return Report(err, kExitBadArguments,
                          "ban del needs one address, not \"" + args[1] + "\"");
        (void)Ask(programDir, "DELETE", "/api/v1/bans/" + PathSegment(args[1]), err, answer,
                  status);
        return status;
    }
    return Report(err, kExitBadArguments,
                  "usage: tarvona-admin ban list | ban add ADDRESS [SECONDS] | ban del ADDRESS "
                  "(address, s left, end, offences)");
}
