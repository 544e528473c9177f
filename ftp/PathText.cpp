#include "ftp/PathText.h"

std::string NormalizeArgument(std::string_view argument) {
    std::string out;
    out.reserve(argument.size());
    for (char c : argument) {
        if (c == '\\') c = '/';
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out.push_back(c);
    }
    return StripTrailingSlashes(out);
}

std::vector<std::string> SplitVirtualPath(std::string_view path) {
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        std::string_view part = path.substr(start, end - start);
        if (part != "..") {
            while (!part.empty() && part.front() == '.') part.remove_prefix(1);
            while (!part.empty() && part.back() == '.') part.remove_suffix(1);
        }
        if (!part.empty()) components.emplace_back(part);
        start = end + 1;
    }
    return components;
}

std::string JoinToCurrent(const std::string& current, std::string_view relative) {
    std::string joined = current;
    if (joined.empty() || joined.back() != '/') joined += '/';
    joined += relative;
    return joined;
}

std::string StripTrailingSlashes(std::string_view path) {
    while (!path.empty() && path.back() == '/') path.remove_suffix(1);
    return std::string(path);
}

std::string UsableLocalDir(std::string_view dir) {
    if (dir.empty() || dir.front() != '/') return {};
    std::string stripped = StripTrailingSlashes(dir);
    return stripped.empty() ? "/" : stripped;
}

bool IsSameOrBelow(const std::string& dir, std::string_view path) {
    if (dir.empty() || path.empty() || path.front() != '/') return false;
    if (dir == "/") return true;
    const std::string stripped = StripTrailingSlashes(path);
    if (stripped.compare(0, dir.size(), dir) != 0) return false;
    return stripped.size() == dir.size() || stripped[dir.size()] == '/';
}

std::string RemainderBelow(const std::string& dir, std::string_view path) {
    std::string rest = StripTrailingSlashes(path);
    rest.erase(0, dir == "/" ? 0 : dir.size());
    while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
    return rest;
}

std::string JoinVirtual(std::string_view first, std::string_view rest) {
    std::string out = "/";
    out += first;
    if (!first.empty() && !rest.empty()) out += '/';
    out += rest;
    return out;
}

std::string ParentOf(const std::string& local) {
    const auto slash = local.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : local.substr(0, slash);
}

std::string JoinLocal(const std::string& dir, const std::string& name) {
    return !dir.empty() && dir.back() == '/' ? dir + name : dir + "/" + name;
}
