// POST /api/v1/signin trades the administrator's password for a bearer token; POST
// /api/v1/signout gives one back. Both belong to the TLS listener: the control socket
// needs no sign-in.
#include <algorithm>

#include "api/AdminAuth.h"
#include "api/AdminCredentials.h"
#include "api/ApiTypes.h"
#include "api/TokenStore.h"
#include "config/Options.h"
#include "platform/Clock.h"

namespace {

constexpr int kLongestTokenMinutes = 7 * 24 * 60;

std::optional<ApiResponse> RefuseOnControlSocket(const ApiRequest& request) {
    if (request.transport == ApiTransport::Network) return std::nullopt;
    return ApiError(400, "the control socket needs no sign-in");
}

// The user and password of a sign-in: the Basic header, else {"password": ...} with an
// optional "user". False, with `refusal` set, when neither is usable.
bool SignInCredentials(const ApiRequest& request, std::string& user, std::string& password,
                       ApiResponse& refusal) {
    const PresentedCredentials presented = ParseAuthorization(request.authorization);
    if (presented.kind == PresentedCredentials::Kind::Basic) {
        user = presented.user;
        password = presented.password;
        return true;
    }
    const nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
    if (body.is_object() && body.contains("password") && body.at("password").is_string()) {
        const bool hasUser = body.contains("user");
        // Unknown fields are refused rather than ignored, as everywhere in the API.
        if (body.size() == (hasUser ? 2U : 1U) && (!hasUser || body.at("user").is_string())) {
            user = hasUser ? body.at("user").get<std::string>() : std::string(kAdminUser);
            password = body.at("password").get<std::string>();
            return true;
        }
    }
    refusal = ApiError(400,
                       "sign in with HTTP Basic (user \"admin\") or the JSON body "
                       "{\"password\": \"...\"}");
    return false;
}

ApiResponse SignIn(ApiContext& context, const ApiRequest& request) {
    if (auto refusal = RefuseOnControlSocket(request)) return *refusal;
    if (auto refusal = RefuseBannedPeer(context, request)) return *refusal;
    std::string user, password;
    ApiResponse refusal;
    if (!SignInCredentials(request, user, password, refusal)) return refusal;
    if (auto wrong = CheckAdminPassword(context, request, user, password)) return *wrong;
    int minutes = COptions(context.programDir).ReadInt(&OptionValues::adminTokenMinutes);
    if (minutes <= 0) minutes = DefaultOptions().adminTokenMinutes;
    minutes = std::min(minutes, kLongestTokenMinutes);
    const IssuedToken issued = AdminTokens().Issue(std::int64_t{minutes} * 60);
    if (issued.token.empty()) return ApiError(500, "no random bytes for a token");
    ApiResponse response;
    response.body = {{"token", issued.token},
                     {"expires", FormatUtcTime(issued.expires, "%Y-%m-%dT%H:%M:%SZ")},
                     {"expiresIn", std::int64_t{minutes} * 60}};
    return response;
}

ApiResponse SignOut(ApiContext& /*context*/, const ApiRequest& request) {
    if (auto refusal = RefuseOnControlSocket(request)) return *refusal;
    const PresentedCredentials presented = ParseAuthorization(request.authorization);
    if (presented.kind == PresentedCredentials::Kind::Bearer)
        (void)AdminTokens().Revoke(presented.token);
    ApiResponse response;
    response.status = 204;
    return response;
}

}  // namespace

std::vector<ApiRoute> SignInRoutes() {
    return {
        {"POST", "/api/v1/signin", SignIn},
        {"POST", "/api/v1/signout", SignOut},
    };
}
