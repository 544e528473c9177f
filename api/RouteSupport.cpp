#include "api/RouteSupport.h"

#include <algorithm>
#include <cstring>

#include "platform/Socket.h"

std::optional<ApiResponse> ReadObjectBody(const ApiRequest& request,
                                          std::initializer_list<const char*> allowed,
                                          nlohmann::json& out) {
    out = nlohmann::json::parse(request.body, nullptr, false);
    if (out.is_discarded() || !out.is_object())
        return ApiError(400, "the body must be a JSON object");
    for (const auto& item : out.items()) {
        const bool known = std::any_of(allowed.begin(), allowed.end(),
                                       [&](const char* name) { return item.key() == name; });
        if (!known) return ApiError(400, "unknown field \"" + item.key() + "\"");
    }
    return std::nullopt;
}

std::optional<ApiResponse> ReadTextField(const nlohmann::json& object, const char* name,
                                         std::string& out) {
    const auto found = object.find(name);
    if (found == object.end() || !found->is_string())
        return ApiError(400, std::string("\"") + name + "\" must be a string");
    out = found->get<std::string>();
    return std::nullopt;
}

bool CanonicalClientAddress(const std::string& text, std::string& out) {
    for (const AddressFamily family : {AddressFamily::V4, AddressFamily::V6})
        if (CanonicalAddressText(family, text, out)) return true;
    return false;
}
