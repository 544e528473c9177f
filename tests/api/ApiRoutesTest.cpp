// The route table against doc/admin-api.yaml (both ways), and the router's refusals of
// path segments that could reach an operation as a path.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

#include "api/ApiRouter.h"
#include "api/ApiService.h"

namespace {

// "METHOD /path" for every operation under the document's `paths:`: a path is a key
// indented two spaces, a method a key indented four.
std::set<std::string> DocumentedRoutes() {
    std::ifstream file(TARVONA_SOURCE_DIR "/doc/admin-api.yaml");
    std::set<std::string> routes;
    std::string line, path;
    bool inPaths = false;
    static const std::set<std::string> kMethods{"get", "put", "post", "patch", "delete"};
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] != ' ') inPaths = line == "paths:";
        if (!inPaths) continue;
        const std::size_t indent = line.find_first_not_of(' ');
        const std::string key = line.substr(indent, line.find(':', indent) - indent);
        if (indent == 2) path = key;
        if (indent == 4 && kMethods.count(key) != 0) {
            std::string method = key;
            for (char& c : method) c = static_cast<char>(std::toupper(c));
            routes.insert(method + " " + path);
        }
    }
    return routes;
}

}  // namespace

TEST(ApiRoutes, TheDocumentDescribesEveryRouteAndNoOther) {
    std::set<std::string> served;
    for (const ApiRoute& route : AllApiRoutes()) served.insert(route.method + " " + route.pattern);
    const std::set<std::string> documented = DocumentedRoutes();
    for (const std::string& route : served)
        EXPECT_EQ(documented.count(route), 1u) << route << " is not in doc/admin-api.yaml";
    for (const std::string& route : documented)
        EXPECT_EQ(served.count(route), 1u) << route << " is documented but not served";
}

TEST(ApiRoutes, SegmentsAreDecodedOneByOneAndUnsafeOnesRefused) {
    const CApiRouter router(
        {{"DELETE", "/api/v1/bans/{address}", nullptr}, {"GET", "/api/v1/bans", nullptr}});
    const ApiRouteMatch ok = router.Find("DELETE", "/api/v1/bans/%3A%3A1?x=1");
    ASSERT_NE(ok.route, nullptr);
    EXPECT_EQ(ok.pathParams.at("address"), "::1");
    for (const char* target :
         {"/api/v1/bans/..", "/api/v1/bans/%2E%2e", "/api/v1/bans/a%2fb", "/api/v1/bans/a%00",
          "/api/v1/bans/%7f", "/api/v1/bans/%4", "/api/v1/bans/%zz", "api/v1/bans"})
        EXPECT_EQ(router.Find("DELETE", target).refusal.status, 400) << target;
    EXPECT_EQ(router.Find("DELETE", "/api/v1/bans/a/b").refusal.status, 404);
    EXPECT_EQ(router.Find("DELETE", "/api/v1/bans/").refusal.status, 404);
    EXPECT_EQ(router.Find("PUT", "/api/v1/bans").refusal.status, 405);
    EXPECT_NE(router.Find("HEAD", "/api/v1/bans").route, nullptr);
}

TEST(ApiRoutes, JsonBodiesAreBoundedInDepth) {
    EXPECT_TRUE(IsAcceptableJson(R"({"a": [1, {"b": "[[[["}]})"));
    EXPECT_TRUE(IsAcceptableJson(std::string(64, '[') + std::string(64, ']')));
    EXPECT_FALSE(IsAcceptableJson(std::string(65, '[') + std::string(65, ']')));
    EXPECT_FALSE(IsAcceptableJson("{\"a\": "));
}
