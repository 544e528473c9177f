// GET /api/v1/server, PUT /api/v1/server {"listening": bool}, GET /api/v1/stats,
// POST /api/v1/server/reload (option.ini and the IP lists read again; sessions stay).
#include "api/RateHistory.h"
#include "api/RouteSupport.h"
#include "api/ServerRouteGroups.h"
#include "generated/Version.h"
#include "platform/Clock.h"
#include "server/AdminOperations.h"
#include "server/CertificateExpiry.h"
#include "server/ConfigReload.h"
#include "server/FtpServer.h"

namespace {

// The FTPS certificate in use; null before one was loaded (the server has not started, or
// its files cannot be used).
nlohmann::json CertificateState(CFtpServer& server) {
    const std::optional<CertificateFacts> facts = server.Tls().Certificate();
    if (!facts) return nullptr;
    const CertificateStatus status = CertificateStatusAt(*facts, NowSeconds());
    return {{"fingerprint", status.fingerprint},
            {"notAfter", Rfc3339Utc(status.notAfter)},
            {"daysLeft", status.daysLeft},
            {"expiresSoon", status.expiresSoon}};
}

// Main thread: the listening state is the main thread's.
nlohmann::json ServerState(CFtpServer& server) {
    return {
        {"version", kTarvonaVersion},
        {"state", server.IsStopping()  ? "stopping"
                  : server.IsRunning() ? "running"
                                       : "stopped"},
        {"listening", server.IsRunning()},
        {"port", server.IsRunning() ? server.GetBoundPort() : server.GetPort()},
        {"sessions", server.Sessions().Snapshot().size()},
        {"startTime", server.IsRunning() ? nlohmann::json(server.StartTime()) : nlohmann::json()},
        {"certificate", CertificateState(server)}};
}

ApiResponse GetServer(ApiContext& context, const ApiRequest&) {
    CFtpServer& server = context.server;
    return RunOnMainThread(context, [&server] {
        ApiResponse answer;
        answer.body = ServerState(server);
        return answer;
    });
}

ApiResponse PutServer(ApiContext& context, const ApiRequest& request) {
    nlohmann::json body;
    if (auto refusal = ReadObjectBody(request, {"listening"}, body)) return *refusal;
    if (!body.contains("listening") || !body["listening"].is_boolean())
        return ApiError(400, "\"listening\" must be true or false");
    const bool listen = body["listening"].get<bool>();
    CFtpServer& server = context.server;
    const AdminOrigin origin = OriginOf(request.transport);
    return RunOnMainThread(context, [&server, origin, peer = request.peerAddress, listen] {
        CAdminOperations operations(server, origin, peer);
        if (listen != server.IsRunning()) {
            const bool done = listen ? operations.StartListening() : operations.StopListening();
            if (!done)
                return ApiError(409, listen ? "the server cannot listen (see the log)"
                                            : "the server is not listening");
        }
        ApiResponse answer;
        answer.body = ServerState(server);
        return answer;
    });
}

// 200 with the changes and what was kept (a port that cannot be bound); 422 when a file
// has a fault, and nothing changed.
ApiResponse PostReload(ApiContext& context, const ApiRequest& request) {
    if (context.reloader == nullptr) return ApiError(501, "this server cannot reload");
    CConfigReloader& reloader = *context.reloader;
    const std::string cause =
        std::string("by the administrator (") + AdminOriginText(OriginOf(request.transport)) + ")";
    const char* by = AdminOriginText(OriginOf(request.transport));
    return RunOnMainThread(
        context, [&reloader, &server = context.server, cause, by, peer = request.peerAddress] {
            const ReloadOutcome outcome = reloader.Reload(cause);
            if (!outcome.taken) return ApiError(422, outcome.problems.front());
            server.Audit().AdminAction("Options and IP lists reloaded", by, peer);
            ApiResponse answer;
            answer.body = {{"changes", outcome.changes}, {"problems", outcome.problems}};
            return answer;
        });
}

nlohmann::json Totals(const CounterSample& s) {
    return {{"bytesSent", s.bytesSent},       {"bytesReceived", s.bytesReceived},
            {"connections", s.connections},   {"currentConnections", s.currentConnections},
            {"downloads", s.events[0]},       {"uploads", s.events[1]},
            {"failedDownloads", s.events[2]}, {"failedTransfers", s.events[3]}};
}

ApiResponse GetStats(ApiContext& context, const ApiRequest&) {
    const std::vector<CounterSample> samples =
        context.rates != nullptr ? context.rates->Samples() : std::vector<CounterSample>{};
    CounterSample last = samples.empty() ? CounterSample{} : samples.back();
    // The byte totals are atomics: the newest, not the last second's.
    last.bytesSent = context.server.BytesSent();
    last.bytesReceived = context.server.BytesReceived();
    last.currentConnections = context.server.CurrentConnections();
    nlohmann::json rates = nlohmann::json::array();
    for (std::size_t i = 1; i < samples.size(); ++i) {
        const CounterSample& a = samples[i - 1];
        const CounterSample& b = samples[i];
        const double seconds =
            static_cast<double>(std::max<std::int64_t>(b.steadyMs - a.steadyMs, 1)) / 1000.0;
        rates.push_back(
            {{"time", b.time},
             {"bytesSentPerSecond", static_cast<double>(b.bytesSent - a.bytesSent) / seconds},
             {"bytesReceivedPerSecond",
              static_cast<double>(b.bytesReceived - a.bytesReceived) / seconds},
             {"connectionsPerSecond",
              static_cast<double>(b.connections - a.connections) / seconds}});
    }
    ApiResponse answer;
    answer.body = {{"totals", Totals(last)}, {"rates", rates}};
    return answer;
}

}  // namespace

std::vector<ApiRoute> ServerStateRoutes() {
    return {{"GET", "/api/v1/server", GetServer},
            {"PUT", "/api/v1/server", PutServer},
            {"POST", "/api/v1/server/reload", PostReload},
            {"GET", "/api/v1/stats", GetStats}};
}
