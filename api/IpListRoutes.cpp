// GET /api/v1/iplists/{allow,deny}: the filter mode and the list's entries.
// POST the same with {"entry": "10.0.0.*"}: adds it; DELETE ...?entry=10.0.0.*: removes
// it. PUT /api/v1/iplists {"mode": 1, "allow": [...], "deny": [...]}: replaces the mode
// and both lists at once, as the IP filter dialog's OK does. Applied at once and saved,
// as the window does, on the main thread.
#include "api/RouteSupport.h"
#include "api/ServerRouteGroups.h"
#include "config/ConfigLimits.h"
#include "config/IpFilter.h"
#include "config/IpPattern.h"
#include "server/AdminOperations.h"
#include "server/FtpServer.h"

namespace {

ApiResponse ListAnswer(CFtpServer& server, CIpFilter::List list, int status = 200) {
    CIpFilter& filter = server.Filter();
    ApiResponse answer;
    answer.status = status;
    answer.body = {{"list", list == CIpFilter::List::Allow ? "allow" : "deny"},
                   {"mode", static_cast<int>(filter.GetMode())},
                   {"entries", CIpFilter::SplitEntries(filter.GetList(list))}};
    return answer;
}

ApiHandler GetList(CIpFilter::List list) {
    return
        [list](ApiContext& context, const ApiRequest&) { return ListAnswer(context.server, list); };
}

ApiHandler AddEntry(CIpFilter::List list) {
    return [list](ApiContext& context, const ApiRequest& request) {
        nlohmann::json body;
        std::string entry;
        if (auto refusal = ReadObjectBody(request, {"entry"}, body)) return *refusal;
        if (auto refusal = ReadTextField(body, "entry", entry)) return *refusal;
        if (!IsValidIpListEntry(entry)) return ApiError(400, "not an IP list entry: " + entry);
        CFtpServer& server = context.server;
        const AdminOrigin origin = OriginOf(request.transport);
        return RunOnMainThread(context, [&server, origin, peer = request.peerAddress, list, entry] {
            if (!CAdminOperations(server, origin, peer).AddIpEntry(list, entry))
                return ApiError(409, entry + " is on the list already");
            return ListAnswer(server, list, 201);
        });
    };
}

ApiHandler RemoveEntry(CIpFilter::List list) {
    return [list](ApiContext& context, const ApiRequest& request) {
        const auto found = request.query.find("entry");
        if (found == request.query.end() || found->second.empty())
            return ApiError(400, "say which entry: ?entry=...");
        const std::string entry = found->second;
        CFtpServer& server = context.server;
        const AdminOrigin origin = OriginOf(request.transport);
        return RunOnMainThread(context, [&server, origin, peer = request.peerAddress, list, entry] {
            if (!CAdminOperations(server, origin, peer).RemoveIpEntry(list, entry))
                return ApiError(404, entry + " is not on the list");
            return ListAnswer(server, list);
        });
    };
}

// The entries of list `name` in `body`, each checked; a 400 otherwise.
std::optional<ApiResponse> ReadEntries(const nlohmann::json& body, const char* name,
                                       std::string& listText) {
    const auto found = body.find(name);
    if (found == body.end() || !found->is_array())
        return ApiError(400, std::string("\"") + name + "\" must be an array of entries");
    std::vector<std::string> entries;
    for (const nlohmann::json& item : *found) {
        if (!item.is_string())
            return ApiError(400, std::string("\"") + name + "\" holds a non-text");
        const std::string entry = item.get<std::string>();
        if (!IsValidIpListEntry(entry)) return ApiError(400, "not an IP list entry: " + entry);
        entries.push_back(entry);
    }
    listText = CIpFilter::JoinEntries(entries);
    if (listText.size() > config::kMaxIpListFileSize)
        return ApiError(400, std::string("the ") + name + " list is too long");
    return std::nullopt;
}

ApiResponse FilterAnswer(CFtpServer& server, const std::string& notSaved) {
    const CIpFilter& filter = server.Filter();
    ApiResponse answer;
    answer.body = {{"mode", static_cast<int>(filter.GetMode())},
                   {"allow", CIpFilter::SplitEntries(filter.GetList(CIpFilter::List::Allow))},
                   {"deny", CIpFilter::SplitEntries(filter.GetList(CIpFilter::List::Deny))}};
    if (!notSaved.empty()) answer.body["notSaved"] = notSaved;
    return answer;
}

ApiResponse ReplaceFilter(ApiContext& context, const ApiRequest& request) {
    nlohmann::json body;
    if (auto refusal = ReadObjectBody(request, {"mode", "allow", "deny"}, body)) return *refusal;
    const auto mode = body.find("mode");
    if (mode == body.end() || !mode->is_number_integer() || mode->get<std::int64_t>() < 0 ||
        mode->get<std::int64_t>() > 2)
        return ApiError(400, "\"mode\" must be 0, 1 or 2");
    std::string allowText, denyText;
    if (auto refusal = ReadEntries(body, "allow", allowText)) return *refusal;
    if (auto refusal = ReadEntries(body, "deny", denyText)) return *refusal;
    CFtpServer& server = context.server;
    const AdminOrigin origin = OriginOf(request.transport);
    const auto filterMode = static_cast<FilterMode>(mode->get<int>());
    return RunOnMainThread(context, [&server, origin, peer = request.peerAddress, filterMode,
                                     allowText, denyText] {
        const std::string notSaved =
            CAdminOperations(server, origin, peer).ReplaceIpFilter(filterMode, allowText, denyText);
        return FilterAnswer(server, notSaved);
    });
}

}  // namespace

std::vector<ApiRoute> IpListRoutes() {
    std::vector<ApiRoute> routes{{"PUT", "/api/v1/iplists", ReplaceFilter}};
    for (const auto& [list, pattern] : {std::pair{CIpFilter::List::Allow, "/api/v1/iplists/allow"},
                                        std::pair{CIpFilter::List::Deny, "/api/v1/iplists/deny"}}) {
        routes.push_back({"GET", pattern, GetList(list)});
        routes.push_back({"POST", pattern, AddEntry(list)});
        routes.push_back({"DELETE", pattern, RemoveEntry(list)});
    }
    return routes;
}
