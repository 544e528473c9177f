// The web page's session checks without a socket: the cookie's parsing, the CSRF token
// and Origin rules of a change, and the embedded files.
#include <gtest/gtest.h>

#include <string>

#include "api/AdminAuth.h"
#include "api/BrowserSession.h"
#include "api/TokenStore.h"
#include "api/WebAssets.h"
#include "platform/Clock.h"

namespace {

ApiRequest CookieRequest(const std::string& method, const std::string& token) {
    ApiRequest request;
    request.method = method;
    request.cookie = "theme=dark; " + std::string(kSessionCookieName) + "=" + token + "; x=1";
    request.host = "127.0.0.1:14148";
    request.transport = ApiTransport::Network;
    return request;
}

int StatusOf(const std::optional<ApiResponse>& refusal) { return refusal ? refusal->status : 0; }

TEST(BrowserSessionTest, ChangesNeedTheSessionsTokenAndThisOrigin) {
    const IssuedToken issued = BrowserSessions().Issue(60, true);
    ASSERT_EQ(issued.companion.size(), 64U);
    EXPECT_EQ(StatusOf(CheckBrowserSession(CookieRequest("GET", issued.token))), 0);

    ApiRequest change = CookieRequest("POST", issued.token);
    EXPECT_EQ(StatusOf(CheckBrowserSession(change)), 403) << "no token";
    change.csrfToken = issued.token;
    EXPECT_EQ(StatusOf(CheckBrowserSession(change)), 403) << "the cookie's value is no token";
    change.csrfToken = issued.companion;
    EXPECT_EQ(StatusOf(CheckBrowserSession(change)), 0);
    for (const char* origin : {"https://evil.example", "http://127.0.0.1:14148", "null",
                               "https://127.0.0.1:14148.evil.example"}) {
        change.origin = origin;
        EXPECT_EQ(StatusOf(CheckBrowserSession(change)), 403) << origin;
    }
    change.origin = "https://127.0.0.1:14148";
    EXPECT_EQ(StatusOf(CheckBrowserSession(change)), 0);

    // Another session's token opens nothing, and a revoked session is unknown.
    const IssuedToken other = BrowserSessions().Issue(60, true);
    change.csrfToken = other.companion;
    EXPECT_EQ(StatusOf(CheckBrowserSession(change)), 403);
    ASSERT_TRUE(BrowserSessions().Revoke(issued.token));
    EXPECT_EQ(StatusOf(CheckBrowserSession(CookieRequest("GET", issued.token))), 401);
    // A bearer token is no session.
    EXPECT_EQ(StatusOf(CheckBrowserSession(CookieRequest("GET", AdminTokens().Issue(60).token))),
              401);
}

TEST(BrowserSessionTest, SessionEndsWithItsLifetime) {
    std::int64_t now = 5000;
    BrowserSessions().SetClock([&now] { return now; });
    const IssuedToken issued = BrowserSessions().Issue(60, true);
    now = 5059;
    EXPECT_EQ(StatusOf(CheckBrowserSession(CookieRequest("GET", issued.token))), 0);
    now = 5060;
    EXPECT_EQ(StatusOf(CheckBrowserSession(CookieRequest("GET", issued.token))), 401);
    BrowserSessions().SetClock(NowSeconds);
}

TEST(BrowserSessionTest, CookieIsReadByItsExactNameAndSetWithItsFlags) {
    const std::string name = kSessionCookieName;
    EXPECT_EQ(SessionCookieOf(name + "=abc"), "abc");
    EXPECT_EQ(SessionCookieOf("a=1;" + name + "=abc ;b=2"), "abc");
    EXPECT_EQ(SessionCookieOf("x" + name + "=abc; " + name + "x=def"), "");
    EXPECT_EQ(SessionCookieOf(""), "");
    const std::string set = SessionCookie("abc", 3600);
    for (const char* flag :
         {"; Path=/", "; Secure", "; HttpOnly", "; SameSite=Strict", "; Max-Age=3600"})
        EXPECT_NE(set.find(flag), std::string::npos) << flag;
    EXPECT_NE(ClearedSessionCookie().find("Max-Age=0"), std::string::npos);
}

TEST(BrowserSessionTest, ThePagesFilesAreBuiltIn) {
    for (const char* name : {"index.html", "app.js", "app.css"}) {
        const WebAsset* asset = FindWebAsset(name);
        ASSERT_NE(asset, nullptr) << name;
        EXPECT_GT(asset->size, 10U) << name;
    }
    EXPECT_EQ(FindWebAsset("../option.ini"), nullptr);
    EXPECT_EQ(WebContentType("app.js"), "text/javascript; charset=utf-8");
    // SECURITY: the page holds no inline script or style, which the policy would block.
    const WebAsset* page = FindWebAsset("index.html");
    const std::string html(reinterpret_cast<const char*>(page->data), page->size);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_EQ(html.find("style="), std::string::npos);
    EXPECT_EQ(html.find(" on"), std::string::npos);
}

}  // namespace
