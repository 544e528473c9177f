// Finds the route of a request: the request target's path is split at "/", each segment
// percent-decoded on its own, and matched against the routes' patterns, where a {name}
// segment takes any one segment. A decoded segment holding "/", NUL or another control
// byte, or "." or "..", is refused (400): no name reaches an operation as a path.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "api/ApiTypes.h"

struct ApiRouteMatch {
    const ApiRoute* route = nullptr;  // null: `refusal` says why
    std::map<std::string, std::string> pathParams;
    std::string path;  // decoded
    ApiResponse refusal;
};

class CApiRouter {
public:
    explicit CApiRouter(std::vector<ApiRoute> routes) : m_routes(std::move(routes)) {}

    // `target` as the request line gives it, query included. HEAD matches GET routes.
    ApiRouteMatch Find(const std::string& method, std::string_view target) const;
    const std::vector<ApiRoute>& Routes() const { return m_routes; }

private:
    std::vector<ApiRoute> m_routes;
};

// "%41b" is "Ab"; false for a malformed escape.
bool PercentDecode(std::string_view text, std::string& out);
// The value of each name of a query text ("a=1&b=x%20y"); the first of repeated names.
// False for a malformed escape.
bool ParseQuery(std::string_view text, std::map<std::string, std::string>& out);
// True when `body` is JSON nested at most kApiMaxJsonDepth deep.
bool IsAcceptableJson(const std::string& body);
