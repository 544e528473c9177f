// GET /api/v1/iplists/{allow,deny}: the filter mode and the list's entries.
// POST the same with {"entry": "10.0.0.*"}: adds it; DELETE ...?entry=10.0.0.*: removes
// it. Applied at once and saved, as the window does, on the main thread.
#include "api/RouteSupport.h"
#include "api/ServerRouteGroups.h"
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
        return RunOnMainThread(context, [&server, origin, list, entry] {
            if (!CAdminOperations(server, origin).AddIpEntry(list, entry))
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
        return RunOnMainThread(context, [&server, origin, list, entry] {
            if (!CAdminOperations(server, origin).RemoveIpEntry(list, entry))
                return ApiError(404, entry + " is not on the list");
            return ListAnswer(server, list);
        });
    };
}

}  // namespace

std::vector<ApiRoute> IpListRoutes() {
    std::vector<ApiRoute> routes;
    for (const auto& [list, pattern] : {std::pair{CIpFilter::List::Allow, "/api/v1/iplists/allow"},
                                        std::pair{CIpFilter::List::Deny, "/api/v1/iplists/deny"}}) {
        routes.push_back({"GET", pattern, GetList(list)});
        routes.push_back({"POST", pattern, AddEntry(list)});
        routes.push_back({"DELETE", pattern, RemoveEntry(list)});
    }
    return routes;
}
