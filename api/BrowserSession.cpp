#include "api/BrowserSession.h"

#include "accounts/PasswordHash.h"
#include "api/TokenStore.h"

namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

constexpr char kCookieAttributes[] = "; Path=/; Secure; HttpOnly; SameSite=Strict";

}  // namespace

CTokenStore& BrowserSessions() {
    static CTokenStore sessions;
    return sessions;
}

std::string SessionCookieOf(std::string_view cookieHeader) {
    std::size_t start = 0;
    while (start <= cookieHeader.size()) {
        std::size_t end = cookieHeader.find(';', start);
        if (end == std::string_view::npos) end = cookieHeader.size();
        const std::string_view pair = Trimmed(cookieHeader.substr(start, end - start));
        const std::size_t equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == kSessionCookieName)
            return std::string(pair.substr(equals + 1));
        start = end + 1;
    }
    return {};
}

std::string SessionCookie(const std::string& token, std::int64_t seconds) {
    return std::string(kSessionCookieName) + "=" + token + kCookieAttributes +
           "; Max-Age=" + std::to_string(seconds);
}

std::string ClearedSessionCookie() {
    return std::string(kSessionCookieName) + "=" + kCookieAttributes + "; Max-Age=0";
}

bool IsSameOrigin(const ApiRequest& request) {
    if (request.origin.empty()) return true;
    return !request.host.empty() && request.origin == "https://" + request.host;
}

std::optional<ApiResponse> CheckBrowserSession(const ApiRequest& request) {
    std::string csrfToken;
    if (!BrowserSessions().Lookup(SessionCookieOf(request.cookie), csrfToken))
        return ApiError(401, "the session is unknown or has expired; sign in again");
    if (request.method == "GET") return std::nullopt;
    // SECURITY: the cookie goes with any request the browser makes to this listener, even
    // one another site's page starts; only this listener's page knows the token.
    if (!IsSameOrigin(request)) return ApiError(403, "a change from another site is refused");
    if (request.csrfToken.empty() || !ConstantTimeEquals(request.csrfToken, csrfToken))
        return ApiError(403, "the X-CSRF-Token header is missing or wrong; reload the page");
    return std::nullopt;
}

void DropChallengeForScripts(const ApiRequest& request, ApiResponse& response) {
    if (!request.fetchMode.empty() && request.fetchMode != "navigate")
        response.headers.erase("WWW-Authenticate");
}
