// Sessions (list, kick) and bans (list, add, lift). Any thread: the session registry and
// the login guard are thread-safe, and so are the administrator's kick and ban operations.
#include <limits>

#include "api/RouteSupport.h"
#include "api/ServerRouteGroups.h"
#include "platform/Clock.h"
#include "platform/Text.h"
#include "server/AdminOperations.h"
#include "server/FtpServer.h"

namespace {

// SECURITY: names and directories are a client's choice: no control reaches a terminal.
ApiResponse ListSessions(ApiContext& context, const ApiRequest&) {
    const std::int64_t now = NowSeconds();
    nlohmann::json sessions = nlohmann::json::array();
    for (const SessionInfo& s : context.server.Sessions().Snapshot())
        sessions.push_back(
            {{"id", s.id},
             {"user", ReplaceControlCharacters(s.user)},
             {"loggedIn", s.loggedIn},
             {"address", s.address},
             {"loginTime", s.loginTime == 0 ? nlohmann::json() : nlohmann::json(s.loginTime)},
             {"idleSeconds", s.lastCommand == 0 ? 0 : now - s.lastCommand},
             {"directory", ReplaceControlCharacters(s.directory)},
             {"lastCommand", s.lastLine}});
    ApiResponse answer;
    answer.body = {{"sessions", sessions}};
    return answer;
}

bool ParseSessionId(const std::string& text, std::uint32_t& id) {
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > std::numeric_limits<std::uint32_t>::max()) return false;
    id = static_cast<std::uint32_t>(value);
    return true;
}

ApiResponse KickSession(ApiContext& context, const ApiRequest& request) {
    const std::string& text = request.pathParams.at("id");
    std::uint32_t id = 0;
    if (!ParseSessionId(text, id)) return ApiError(400, "not a session id: " + text);
    if (!CAdminOperations(context.server, OriginOf(request.transport), request.peerAddress)
             .Kick(id))
        return ApiError(404, "no session " + text);
    ApiResponse answer;
    answer.body = {{"kicked", id}};
    return answer;
}

ApiResponse ListBans(ApiContext& context, const ApiRequest&) {
    CLoginGuard& guard = context.server.LoginGuard();
    const std::int64_t now = guard.Now();
    nlohmann::json bans = nlohmann::json::array();
    for (const BanEntry& ban : guard.Bans())
        bans.push_back({{"address", ban.address},
                        {"secondsLeft", ban.until - now},
                        {"until", ban.until},
                        {"offences", ban.offences}});
    ApiResponse answer;
    answer.body = {{"bans", bans}};
    return answer;
}

ApiResponse AddBan(ApiContext& context, const ApiRequest& request) {
    nlohmann::json body;
    if (auto refusal = ReadObjectBody(request, {"address", "seconds"}, body)) return *refusal;
    std::string given, address;
    if (auto refusal = ReadTextField(body, "address", given)) return *refusal;
    if (!CanonicalClientAddress(given, address))
        return ApiError(400, "not an IPv4 or IPv6 address: " + given);
    std::int64_t seconds = context.server.GetLoginPolicy().banSeconds;
    if (body.contains("seconds")) {
        if (!body["seconds"].is_number_integer() || body["seconds"].get<std::int64_t>() < 1 ||
            body["seconds"].get<std::int64_t>() > 366LL * 24 * 3600)
            return ApiError(400, "\"seconds\" must be a whole number from 1 to 31622400");
        seconds = body["seconds"].get<std::int64_t>();
    }
    if (seconds < 1) seconds = 1;
    if (!CAdminOperations(context.server, OriginOf(request.transport), request.peerAddress)
             .AddBan(address, seconds))
        return ApiError(409, address + " is banned already");
    ApiResponse answer;
    answer.status = 201;
    answer.body = {{"address", address}, {"seconds", seconds}};
    return answer;
}

ApiResponse LiftBan(ApiContext& context, const ApiRequest& request) {
    const std::string& given = request.pathParams.at("address");
    std::string address;
    if (!CanonicalClientAddress(given, address))
        return ApiError(400, "not an IPv4 or IPv6 address: " + given);
    if (!CAdminOperations(context.server, OriginOf(request.transport), request.peerAddress)
             .LiftBan(address))
        return ApiError(404, "no ban of " + address);
    ApiResponse answer;
    answer.body = {{"lifted", address}};
    return answer;
}

}  // namespace

std::vector<ApiRoute> SessionRoutes() {
    return {{"GET", "/api/v1/sessions", ListSessions},
            {"DELETE", "/api/v1/sessions/{id}", KickSession},
            {"GET", "/api/v1/bans", ListBans},
            {"POST", "/api/v1/bans", AddBan},
            {"DELETE", "/api/v1/bans/{address}", LiftBan}};
}
