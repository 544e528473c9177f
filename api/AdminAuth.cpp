#include "api/AdminAuth.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "accounts/HashCost.h"
#include "accounts/PasswordHash.h"
#include "api/AdminCredentials.h"
#include "api/BrowserSession.h"
#include "api/TokenStore.h"
#include "config/Options.h"
#include "platform/StringFormat.h"
#include "server/FtpServer.h"
#include "server/LoginGuard.h"
#include "server/Observe.h"

namespace {

constexpr char kChallenge[] =
    "Basic realm=\"Tarvona administration\", Bearer realm=\"Tarvona administration\"";

ApiResponse Unauthorized(std::string message) {
    ApiResponse response = ApiError(401, std::move(message));
    response.headers["WWW-Authenticate"] = kChallenge;
    return response;
}

bool IsSignIn(const ApiRequest& request) {
    return request.method == "POST" && request.path == "/api/v1/signin";
}

// The web page's own files: the sign-in form must load before anybody signed in.
bool IsPageFile(const ApiRequest& request) {
    return request.method == "GET" && (request.path == "/" || request.path.starts_with("/static/"));
}

// The longest a refused password holds its connection's worker, whatever FailDelay says.
constexpr std::chrono::milliseconds kLongestFailDelay{5000};

// SECURITY: as a refused PASS, a refused password is answered FailDelay later, so a
// guesser spread over many addresses gets few tries a second. The wait ends early when
// the API stops.
void WaitFailDelay(const ApiContext& context) {
    const auto delay = std::min(
        std::chrono::milliseconds(std::max(context.server.GetLoginPolicy().failDelayMs, 0)),
        kLongestFailDelay);
    const auto end = std::chrono::steady_clock::now() + delay;
    while (std::chrono::steady_clock::now() < end &&
           !(context.stopping != nullptr && context.stopping->load()))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

// The log lines keep the shape of FTP's refused logins, which fail2ban filters match.
ApiResponse CountFailure(ApiContext& context, const std::string& address) {
    CFtpServer& server = context.server;
    server.LogMessage(LogCategory::Error,
                      StringFormat("Login failed from %s for user \"admin (administration API)\".",
                                   address.c_str()),
                      LogSeverity::Warning);
    const std::int64_t banned = server.LoginGuard().RecordFailure(address);
    if (banned > 0) {
        server.LogMessage(
            LogCategory::Error,
            StringFormat("Banned %s for %lld s after %d failed logins.", address.c_str(),
                         static_cast<long long>(banned), server.GetLoginPolicy().banAttempts),
            LogSeverity::Warning);
        ObserveBan(server, address, banned, "administration API");
        ApiResponse response = ApiError(429,
                                        "Too many failed logins from your address, try "
                                        "again later.");
        response.headers["Retry-After"] = std::to_string(banned);
        WaitFailDelay(context);
        return response;
    }
    WaitFailDelay(context);
    return Unauthorized("wrong user name or password");
}

}  // namespace

CTokenStore& AdminTokens() {
    static CTokenStore tokens;
    return tokens;
}

std::optional<ApiResponse> RefuseBannedPeer(ApiContext& context, const ApiRequest& request) {
    const std::int64_t left = context.server.LoginGuard().BanSecondsLeft(request.peerAddress);
    if (left <= 0) return std::nullopt;
    ApiResponse response =
        ApiError(429, "Too many failed logins from your address, try again later.");
    response.headers["Retry-After"] = std::to_string(left);
    return response;
}

std::optional<ApiResponse> CheckAdminPassword(ApiContext& context, const ApiRequest& request,
                                              const std::string& user,
                                              const std::string& password) {
    const std::string hash =
        COptions(context.programDir).ReadText(&OptionValues::adminPasswordHash);
    if (!IsPasswordHash(hash))
        return Unauthorized(
            "no administrator password is set; run `tarvona-admin admin-password` on the "
            "server");
    // SECURITY: whoever wrote the hash chose its cost; a request never pays more than a
    // login would.
    if (!HashCostAllowed(hash))
        return Unauthorized(
            "[Admin] PasswordHash asks for more work than a sign-in allows; set it again with "
            "`tarvona-admin admin-password`");
    // SECURITY: a wrong user name costs the same hash time as a wrong password.
    bool opens = false;
    if (user == kAdminUser)
        opens = HashMatches(password, hash);
    else
        SpendHashTime(password);
    if (!opens) return CountFailure(context, request.peerAddress);
    context.server.LoginGuard().RecordSuccess(request.peerAddress);
    return std::nullopt;
}

namespace {

std::optional<ApiResponse> CheckPresentedCredentials(ApiContext& context,
                                                     const ApiRequest& request) {
    if (IsSignIn(request) || IsPageFile(request)) return std::nullopt;
    const PresentedCredentials presented = ParseAuthorization(request.authorization);
    if (presented.kind == PresentedCredentials::Kind::None &&
        !SessionCookieOf(request.cookie).empty())
        return CheckBrowserSession(request);
    switch (presented.kind) {
        case PresentedCredentials::Kind::None:
            return Unauthorized(
                "sign in: HTTP Basic (user \"admin\") or a bearer token from "
                "POST /api/v1/signin");
        case PresentedCredentials::Kind::Malformed:
            return Unauthorized("the Authorization header is neither Basic nor Bearer");
        case PresentedCredentials::Kind::Bearer:
            if (AdminTokens().IsValid(presented.token)) return std::nullopt;
            return Unauthorized("the token is unknown or has expired; sign in again");
        case PresentedCredentials::Kind::Basic:
            break;
    }
    return CheckAdminPassword(context, request, presented.user, presented.password);
}

}  // namespace

std::optional<ApiResponse> AuthenticateAdminRequest(ApiContext& context,
                                                    const ApiRequest& request) {
    if (request.transport != ApiTransport::Network) return std::nullopt;
    if (auto refusal = RefuseBannedPeer(context, request)) return refusal;
    std::optional<ApiResponse> refusal = CheckPresentedCredentials(context, request);
    if (refusal) DropChallengeForScripts(request, *refusal);
    return refusal;
}
