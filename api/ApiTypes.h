// The administration API's request and answer, as its routes see them: plain values,
// whichever transport (the control socket or the TLS listener) carried them, so a route
// is a function that can be called and tested without a socket.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CConfigReloader;
class CFtpServer;
class CRateHistory;

// MetricsOnly: [Admin] MetricsListen, plain HTTP on loopback, serving GET /metrics alone.
enum class ApiTransport { ControlSocket, Network, MetricsOnly };

struct ApiRequest {
    std::string method;  // "GET", "POST", "PUT", "PATCH", "DELETE"
    std::string path;    // "/api/v1/users/alice", percent-decoded
    // The pattern's named parts: "/api/v1/users/{userid}" gives {"userid", "alice"}.
    std::map<std::string, std::string> pathParams;
    std::map<std::string, std::string> query;
    std::string body;           // already bounded by the transport
    std::string ifMatch;        // the If-Match header, empty when absent
    std::string authorization;  // the Authorization header, empty when absent
    // What the web page's browser sends (api/BrowserSession.h), each empty when absent:
    // the Cookie, X-CSRF-Token, Origin, Host and Sec-Fetch-Mode headers.
    std::string cookie;
    std::string csrfToken;
    std::string origin;
    std::string host;
    std::string fetchMode;
    // The peer's address in the login guard's form; "local" on the control socket.
    std::string peerAddress;
    ApiTransport transport = ApiTransport::ControlSocket;
};

struct ApiResponse {
    int status = 200;
    nlohmann::json body;  // null: no body
    std::string etag;     // sent as the ETag header when not empty
    std::map<std::string, std::string> headers;
    // Set for an answer sent as it is made (the live log): the body is `contentType` text
    // written by `stream` through `write` until it returns; `write` gives false once the
    // client is gone or the server stops, and `stream` should then return.
    using ChunkWriter = std::function<bool(std::string_view chunk)>;
    std::function<void(const ChunkWriter& write)> stream;
    std::string contentType = "application/json";
    // Sent as it is, as `contentType`, instead of `body` when not empty (the web page's
    // files).
    std::string rawBody;
};

// {"error": message} with `status`: every refusal of the API has this shape.
ApiResponse ApiError(int status, std::string message);

// What a route works on: the running server (its registry, guard, filter, options and
// the administrator's operations) and the program directory of its tables.
struct ApiContext {
    CFtpServer& server;
    std::string programDir;
    // True once the API server stops: long waits (the main thread, a live stream) end.
    const std::atomic<bool>* stopping = nullptr;
    // The counters of the last minute (sampled on the main thread); may be null.
    const CRateHistory* rates = nullptr;
    // Takes option.ini and the IP lists again (main thread); null where nobody set one up.
    CConfigReloader* reloader = nullptr;
};

// Runs `operation` on the main thread (the server's main loop), for the operations that
// must run there, and gives its answer; 503 when the main thread did not take it within
// kApiMainThreadStartWait (then it never runs) or the API server stops meanwhile.
ApiResponse RunOnMainThread(ApiContext& context, std::function<ApiResponse()> operation);

// Decides whether a request of the network transport may go on, before it is routed:
// nullopt lets it through, an answer refuses it (401, 403, 429).
using ApiAuthenticator = std::function<std::optional<ApiResponse>(ApiContext&, const ApiRequest&)>;

// The origin the administrator's operations log for a request of `transport`.
enum class AdminOrigin;
AdminOrigin OriginOf(ApiTransport transport);

using ApiHandler = std::function<ApiResponse(ApiContext&, const ApiRequest&)>;

struct ApiRoute {
    std::string method;
    std::string pattern;  // "/api/v1/users/{userid}"; a {name} part matches one segment
    ApiHandler handler;
};

// Each group of routes lives in its own file and is listed by the router.
std::vector<ApiRoute> ServerRoutes();   // server, sessions, bans, log, iplists, options, stats
std::vector<ApiRoute> AccountRoutes();  // users, groups and their folders
std::vector<ApiRoute> SignInRoutes();   // signin (TLS listener only)
std::vector<ApiRoute> WebRoutes();      // the web page's files (TLS listener only)
