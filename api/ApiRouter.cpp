#include "api/ApiRouter.h"

#include <nlohmann/json.hpp>

#include "api/ApiLimits.h"

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

// SECURITY: a name segment becomes a user, group or address name further down; none may
// carry a path or a control byte.
bool IsSafeSegment(const std::string& segment) {
    if (segment == "." || segment == "..") return false;
    for (const char c : segment) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || byte < 0x20 || byte == 0x7f) return false;
    }
    return true;
}

bool IsParameter(std::string_view part) {
    return part.size() > 2 && part.front() == '{' && part.back() == '}';
}

// Matches decoded `segments` against `pattern`; fills `params`.
bool Matches(std::string_view pattern, const std::vector<std::string>& segments,
             std::map<std::string, std::string>& params) {
    const std::vector<std::string_view> parts = Split(pattern, '/');
    if (parts.size() != segments.size()) return false;
    std::map<std::string, std::string> found;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (IsParameter(parts[i])) {
            if (segments[i].empty()) return false;
            found[std::string(parts[i].substr(1, parts[i].size() - 2))] = segments[i];
        } else if (parts[i] != segments[i]) {
            return false;
        }
    }
    params = std::move(found);
    return true;
}

ApiRouteMatch Refused(int status, std::string message) {
    ApiRouteMatch match;
    match.refusal = ApiError(status, std::move(message));
    return match;
}

}  // namespace

bool PercentDecode(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

bool ParseQuery(std::string_view text, std::map<std::string, std::string>& out) {
    if (text.empty()) return true;
    for (const std::string_view pair : Split(text, '&')) {
        if (pair.empty()) continue;
        const std::size_t equals = pair.find('=');
        std::string name, value;
        std::string rawValue(equals == std::string_view::npos ? "" : pair.substr(equals + 1));
        for (char& c : rawValue)
            if (c == '+') c = ' ';
        if (!PercentDecode(pair.substr(0, equals), name) || !PercentDecode(rawValue, value))
            return false;
        out.emplace(std::move(name), std::move(value));
    }
    return true;
}

bool IsAcceptableJson(const std::string& body) {
    // SECURITY: the depth is measured before parsing, so no nesting reaches the parser's
    // or the destructor's recursion.
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kApiMaxJsonDepth) return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return nlohmann::json::accept(body);
}

ApiRouteMatch CApiRouter::Find(const std::string& method, std::string_view target) const {
    const std::string_view rawPath = target.substr(0, target.find('?'));
    if (rawPath.empty() || rawPath.front() != '/')
        return Refused(400, "the path must start with /");
    std::vector<std::string> segments;
    std::string path;
    for (const std::string_view raw : Split(rawPath.substr(1), '/')) {
        std::string segment;
        if (!PercentDecode(raw, segment))
            return Refused(400, "malformed percent escape in the path");
        if (!IsSafeSegment(segment))
            return Refused(400, "a path segment may not be . or .. nor hold / or control bytes");
        path += "/" + segment;
        segments.push_back(std::move(segment));
    }
    const std::string wanted = method == "HEAD" ? "GET" : method;
    bool pathKnown = false;
    for (const ApiRoute& route : m_routes) {
        std::map<std::string, std::string> params;
        if (!Matches(std::string_view(route.pattern).substr(1), segments, params)) continue;
        pathKnown = true;
        if (route.method != wanted) continue;
        ApiRouteMatch match;
        match.route = &route;
        match.pathParams = std::move(params);
        match.path = std::move(path);
        return match;
    }
    if (pathKnown) return Refused(405, "method " + method + " is not allowed on " + path);
    return Refused(404, "no such resource: " + path);
}
