// GET /api/v1/options: every option.ini key under its written name (the two stored
// passwords left out), with an ETag that is a hash of the file's bytes.
// PUT /api/v1/options {"maxusers": 50, ...}: writes the keys given, applies at once those
// the running server can take, and lists the ones that need a restart. A stale If-Match
// gets 412 and changes nothing; the check and the write run on the main thread, one
// request at a time, so no update is lost between them.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>
#include <vector>

#include "api/OptionNames.h"
#include "api/RouteSupport.h"
#include "api/ServerRouteGroups.h"
#include "config/OptionChecks.h"
#include "config/Options.h"
#include "server/AdminOperations.h"
#include "server/ConfigReload.h"
#include "server/FtpServer.h"
#include "server/LiveOptions.h"

namespace {

using V = OptionValues;

std::string OptionsEtag(const std::string& programDir) {
    std::ifstream file(programDir + "option.ini", std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    for (const char c : bytes.str()) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    char text[24];
    std::snprintf(text, sizeof text, "\"%016llx\"", static_cast<unsigned long long>(hash));
    return text;
}

ApiResponse OptionsAnswer(const std::string& programDir) {
    const OptionValues values = COptions(programDir).Load();
    nlohmann::json options = nlohmann::json::object();
    for (const OptionRow& row : OptionRows()) {
        if (IsSecretOption(row.member)) continue;
        const std::string name = OptionJsonName(row);
        if (const auto* number = std::get_if<IntOption>(&row.member))
            options[name] = values.*(*number);
        else
            options[name] = values.*std::get<TextOption>(row.member);
    }
    ApiResponse answer;
    answer.body = {{"options", options}};
    answer.etag = OptionsEtag(programDir);
    return answer;
}

std::optional<ApiResponse> CheckRange(const std::string& name, int value) {
    int low = 0, high = 1'000'000'000;
    if (name == "Port" || name == "MinPort" || name == "MaxPort") low = 1, high = 65535;
    if (name == "maxusers") low = 1;
    if (name == "FilterMode") high = 2;
    if (value < low || value > high)
        return ApiError(400, "\"" + name + "\" must be from " + std::to_string(low) + " to " +
                                 std::to_string(high));
    return std::nullopt;
}

// Puts one field into `values`; a 400 for an unknown key, a wrong type or a bad value.
std::optional<ApiResponse> SetField(const std::string& name, const nlohmann::json& value,
                                    OptionValues& values, std::vector<OptionMember>& members) {
    const OptionRow* row = OptionRowNamed(name);
    if (row == nullptr) return ApiError(400, "unknown option \"" + name + "\"");
    if (const auto* number = std::get_if<IntOption>(&row->member)) {
        if (!value.is_number_integer() || value.get<std::int64_t>() < INT32_MIN ||
            value.get<std::int64_t>() > INT32_MAX)
            return ApiError(400, "\"" + name + "\" must be a whole number");
        if (auto refusal = CheckRange(name, value.get<int>())) return refusal;
        values.*(*number) = value.get<int>();
    } else {
        if (!value.is_string()) return ApiError(400, "\"" + name + "\" must be a string");
        const std::string text = value.get<std::string>();
        // SECURITY: a line break would add lines of its own choosing to option.ini.
        if (text.size() > 255 || std::any_of(text.begin(), text.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
            }))
            return ApiError(400, "\"" + name + "\" must be at most 255 bytes, no control bytes");
        if (row->member == OptionMember{&V::passiveIp} && !IsAutoPassiveIp(text) &&
            !IsUsablePassiveIp(text))
            return ApiError(400, "\"PassiveIP\" must be empty, Auto or an IPv4 address");
        values.*std::get<TextOption>(row->member) = text;
    }
    members.push_back(row->member);
    return std::nullopt;
}

// What the window's editor refuses is refused here as well. A section is checked only when
// the request writes into it, so an odd value set by hand elsewhere blocks nothing.
std::string SectionProblem(const OptionValues& values, const std::vector<OptionMember>& members) {
    const auto writes = [&members](std::string_view section) {
        return std::any_of(members.begin(), members.end(), [section](const OptionMember& m) {
            const OptionRow* row = OptionRowOf(m);
            return row != nullptr && row->section == section;
        });
    };
    std::string problem;
    if (writes("TLS")) problem = TlsOptionsProblem(values);
    if (problem.empty() && writes("Security")) problem = SecurityOptionsProblem(values);
    if (problem.empty() && writes("ACME")) problem = AcmeOptionsProblem(values);
    if (problem.empty() && writes("Hooks")) problem = HooksOptionsProblem(values);
    return problem;
}

// Main thread. `reloader`, when there is one, learns what was applied, so a later reload
// neither applies it again nor logs it as a change.
ApiResponse WriteOptions(CFtpServer& server, CConfigReloader* reloader, AdminOrigin origin,
                         const std::string& peer, const std::string& ifMatch,
                         const nlohmann::json& body) {
    const std::string& programDir = server.ProgramDir();
    if (!ifMatch.empty() && ifMatch != "*" && ifMatch != OptionsEtag(programDir))
        return ApiError(412, "option.ini has changed since it was read; read it again");
    OptionValues values = COptions(programDir).Load();
    std::vector<OptionMember> members;
    for (const auto& item : body.items())
        if (auto refusal = SetField(item.key(), item.value(), values, members)) return *refusal;
    if (values.minPort > values.maxPort) return ApiError(400, "\"MinPort\" is above \"MaxPort\"");
    if (const std::string problem = SectionProblem(values, members); !problem.empty())
        return ApiError(400, problem);
    if (!CAdminOperations(server, origin, peer).SaveOptions(values, members))
        return ApiError(500, "option.ini could not be written (see the log)");
    ApplyLiveOptions(server, values, members);
    nlohmann::json applied = nlohmann::json::array(), restart = nlohmann::json::array();
    std::vector<OptionMember> liveMembers;
    for (const OptionMember& member : members)
        for (const OptionRow& row : OptionRows()) {
            if (row.member != member) continue;
            const bool live = TakesEffectLive(row.member);
            (live ? applied : restart).push_back(OptionJsonName(row));
            if (live) liveMembers.push_back(member);
        }
    if (reloader != nullptr) reloader->NoteApplied(values, liveMembers);
    ApiResponse answer = OptionsAnswer(programDir);
    answer.body["applied"] = applied;
    answer.body["restartNeeded"] = restart;
    return answer;
}

ApiResponse GetOptions(ApiContext& context, const ApiRequest&) {
    return OptionsAnswer(context.programDir);
}

ApiResponse PutOptions(ApiContext& context, const ApiRequest& request) {
    nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object())
        return ApiError(400, "the body must be a JSON object of option names and values");
    CFtpServer& server = context.server;
    const AdminOrigin origin = OriginOf(request.transport);
    const std::string ifMatch = request.ifMatch;
    CConfigReloader* reloader = context.reloader;
    return RunOnMainThread(context,
                           [&server, reloader, origin, peer = request.peerAddress, ifMatch, body] {
                               return WriteOptions(server, reloader, origin, peer, ifMatch, body);
                           });
}

}  // namespace

std::vector<ApiRoute> OptionRoutes() {
    return {{"GET", "/api/v1/options", GetOptions}, {"PUT", "/api/v1/options", PutOptions}};
}
