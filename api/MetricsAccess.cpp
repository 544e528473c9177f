// Who may read GET /metrics besides the administrator: the metrics token on the TLS
// listener, anyone on this host through the loopback-only metrics listener.
#include "accounts/PasswordHash.h"
#include "api/AdminCredentials.h"
#include "api/AdminListener.h"
#include "api/ApiHttpServer.h"
#include "api/MetricsRoutes.h"
#include "config/Options.h"
#include "platform/HostAddresses.h"
#include "platform/TcpListener.h"
#include "server/FtpServer.h"

ApiAuthenticator WithMetricsToken(std::string token, ApiAuthenticator next) {
    return [token = std::move(token), next = std::move(next)](
               ApiContext& context, const ApiRequest& request) -> std::optional<ApiResponse> {
        if (!token.empty() && request.method == "GET" && request.path == kMetricsPath) {
            const PresentedCredentials presented = ParseAuthorization(request.authorization);
            // SECURITY: the comparison takes as long whatever prefix of the token matches.
            if (presented.kind == PresentedCredentials::Kind::Bearer &&
                ConstantTimeEquals(presented.token, token))
                return std::nullopt;
        }
        return next(context, request);
    };
}

std::string UsableMetricsToken(CFtpServer& server, const OptionValues& options) {
    const std::string& token = options.adminMetricsToken;
    if (token.empty()) return {};
    if (token.size() < kMinMetricsTokenLength) {
        server.LogMessage(LogCategory::Error,
                          "[Admin] MetricsToken is ignored: it needs at least " +
                              std::to_string(kMinMetricsTokenLength) +
                              " characters (for one: openssl rand -hex 32).");
        return {};
    }
    server.LogMessage(LogCategory::Server, "GET /metrics accepts the metrics token.");
    return token;
}

bool AddMetricsListeners(CApiHttpServer& http, CFtpServer& server, const OptionValues& options) {
    if (options.adminMetricsListen.empty()) return true;
    std::vector<ListenEndpoint> endpoints;
    std::string error;
    if (!ParseListenList(options.adminMetricsListen, endpoints, error)) {
        server.LogMessage(LogCategory::Error,
                          "Metrics listener is off: [Admin] MetricsListen: " + error + ".");
        return false;
    }
    bool all = true;
    for (const ListenEndpoint& endpoint : endpoints) {
        // SECURITY: plain HTTP without credentials is only for this host's own scraper.
        if (!IsLoopbackIpv4Text(endpoint.address) && !IsLoopbackIpv6Text(endpoint.address)) {
            server.LogMessage(LogCategory::Error,
                              "Metrics listener refuses " + EndpointText(endpoint) +
                                  ": [Admin] MetricsListen takes loopback addresses only "
                                  "(127.0.0.1, ::1); use [Admin] Listen with MetricsToken "
                                  "for other hosts.");
            all = false;
            continue;
        }
        UniqueFd fd;
        if (!OpenTcpListener(endpoint.address, endpoint.port, fd, error)) {
            server.LogMessage(LogCategory::Error, "Metrics listener cannot listen on " +
                                                      EndpointText(endpoint) + ": " + error);
            all = false;
            continue;
        }
        http.AddListener(std::move(fd), ApiTransport::MetricsOnly);
        server.LogMessage(LogCategory::Server,
                          "Metrics are served on http://" + EndpointText(endpoint) + "/metrics");
    }
    return all;
}
