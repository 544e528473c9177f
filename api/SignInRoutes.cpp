// POST /api/v1/signin trades the administrator's password for a bearer token, or for the
// web page's session cookie and CSRF token; POST /api/v1/signout gives either back. Both
// belong to the TLS listener: the control socket needs no sign-in.
#include <algorithm>

#include "api/AdminAuth.h"
#include "api/AdminCredentials.h"
#include "api/ApiTypes.h"
#include "api/BrowserSession.h"
#include "api/TokenStore.h"
#include "config/Options.h"
#include "platform/Clock.h"

namespace {

constexpr int kLongestTokenMinutes = 7 * 24 * 60;

std::optional<ApiResponse> RefuseOnControlSocket(const ApiRequest& request) {
    if (request.transport == ApiTransport::Network) return std::nullopt;
    return ApiError(400, "the control socket needs no sign-in");
}

struct SignInRequest {
    std::string user;
    std::string password;
    bool browser = false;  // the web page's session instead of a bearer token
};

bool HasFieldOfType(const nlohmann::json& body, const char* name, nlohmann::json::value_t type) {
    return body.contains(name) && body.at(name).type() == type;
}

// {"password": ...} with an optional "user" and "browser": false when a field is unknown
// or of the wrong type (refused rather than ignored, as everywhere in the API).
bool ReadSignInBody(const nlohmann::json& body, SignInRequest& out) {
    using Type = nlohmann::json::value_t;
    if (!body.is_object() || !HasFieldOfType(body, "password", Type::string)) return false;
    const bool hasUser = body.contains("user");
    const bool hasBrowser = body.contains("browser");
    if (body.size() != 1U + (hasUser ? 1U : 0U) + (hasBrowser ? 1U : 0U)) return false;
    if ((hasUser && !HasFieldOfType(body, "user", Type::string)) ||
        (hasBrowser && !HasFieldOfType(body, "browser", Type::boolean)))
        return false;
    out.user = hasUser ? body.at("user").get<std::string>() : std::string(kAdminUser);
    out.password = body.at("password").get<std::string>();
    out.browser = hasBrowser && body.at("browser").get<bool>();
    return true;
}

// The user and password of a sign-in: the Basic header, else the JSON body. False, with
// `refusal` set, when neither is usable.
bool SignInCredentials(const ApiRequest& request, SignInRequest& out, ApiResponse& refusal) {
    const PresentedCredentials presented = ParseAuthorization(request.authorization);
    if (presented.kind == PresentedCredentials::Kind::Basic) {
        out.user = presented.user;
        out.password = presented.password;
        return true;
    }
    if (ReadSignInBody(nlohmann::json::parse(request.body, nullptr, false), out)) return true;
    refusal = ApiError(400,
                       "sign in with HTTP Basic (user \"admin\") or the JSON body "
                       "{\"password\": \"...\"} (optional: \"user\", \"browser\": true)");
    return false;
}

std::int64_t TokenSeconds(const ApiContext& context) {
    int minutes = COptions(context.programDir).ReadInt(&OptionValues::adminTokenMinutes);
    if (minutes <= 0) minutes = DefaultOptions().adminTokenMinutes;
    return std::int64_t{std::min(minutes, kLongestTokenMinutes)} * 60;
}

// The bearer token in the body, or (for the web page) the session in an HttpOnly cookie,
// out of the page's script's reach, and only the CSRF token in the body.
ApiResponse Issued(const ApiContext& context, bool browser) {
    const std::int64_t seconds = TokenSeconds(context);
    const IssuedToken issued =
        (browser ? BrowserSessions() : AdminTokens()).Issue(seconds, browser);
    if (issued.token.empty()) return ApiError(500, "no random bytes for a token");
    ApiResponse response;
    response.body = {{"expires", FormatUtcTime(issued.expires, "%Y-%m-%dT%H:%M:%SZ")},
                     {"expiresIn", seconds}};
    if (browser) {
        response.body["csrfToken"] = issued.companion;
        response.headers["Set-Cookie"] = SessionCookie(issued.token, seconds);
    } else {
        response.body["token"] = issued.token;
    }
    return response;
}

ApiResponse SignIn(ApiContext& context, const ApiRequest& request) {
    if (auto refusal = RefuseOnControlSocket(request)) return *refusal;
    if (auto refusal = RefuseBannedPeer(context, request)) return *refusal;
    // SECURITY: another site's page must not sign a browser in to a session of its own.
    if (!IsSameOrigin(request)) return ApiError(403, "a sign-in from another site is refused");
    SignInRequest signIn;
    ApiResponse refusal;
    if (!SignInCredentials(request, signIn, refusal)) return refusal;
    if (auto wrong = CheckAdminPassword(context, request, signIn.user, signIn.password)) {
        DropChallengeForScripts(request, *wrong);
        return *wrong;
    }
    return Issued(context, signIn.browser);
}

ApiResponse SignOut(ApiContext& /*context*/, const ApiRequest& request) {
    if (auto refusal = RefuseOnControlSocket(request)) return *refusal;
    const PresentedCredentials presented = ParseAuthorization(request.authorization);
    ApiResponse response;
    response.status = 204;
    if (presented.kind == PresentedCredentials::Kind::Bearer) {
        (void)AdminTokens().Revoke(presented.token);
    } else if (const std::string session = SessionCookieOf(request.cookie); !session.empty()) {
        (void)BrowserSessions().Revoke(session);
        response.headers["Set-Cookie"] = ClearedSessionCookie();
    }
    return response;
}

}  // namespace

std::vector<ApiRoute> SignInRoutes() {
    return {
        {"POST", "/api/v1/signin", SignIn},
        {"POST", "/api/v1/signout", SignOut},
    };
}
