// GET /metrics (Prometheus) and who may read it: over the TLS listener the administrator
// or the bearer token [Admin] MetricsToken, which opens this route and nothing else; on
// [Admin] MetricsListen (loopback only, plain HTTP) anyone on this host, for this route only.
#pragma once

#include <string>
#include <vector>

#include "api/ApiTypes.h"

class CApiHttpServer;
class CFtpServer;
struct OptionValues;

inline constexpr char kMetricsPath[] = "/metrics";
inline constexpr std::size_t kMinMetricsTokenLength = 24;

// The whole exposition text. Any thread; reads atomics and takes the certificate
// provider's lock only.
std::string RenderMetrics(CFtpServer& server);
std::vector<ApiRoute> MetricsRoutes();

// The listener's authenticator with the metrics token in front of it: a GET /metrics
// whose bearer token equals `token` (compared in constant time; never when empty) goes
// on, everything else is `next`'s to decide.
ApiAuthenticator WithMetricsToken(std::string token, ApiAuthenticator next);

// [Admin] MetricsToken when it is long enough to resist guessing, else empty (logged):
// a wrong token is not a failed login, so its length is what protects it.
std::string UsableMetricsToken(CFtpServer& server, const OptionValues& options);

// Serves [Admin] MetricsListen on `http`: each item must be a loopback address (else it
// is refused with a log line and not opened). False when a listener could not be opened
// or an item was refused.
bool AddMetricsListeners(CApiHttpServer& http, CFtpServer& server, const OptionValues& options);
