// The web page of the TLS listener: "/" is the page, "/static/NAME" its style sheet and
// script, all from the binary. The control socket serves no page.
#include "api/ApiTypes.h"
#include "api/WebAssets.h"

namespace {

constexpr char kPage[] = "index.html";

ApiResponse ServeAsset(const ApiRequest& request, std::string_view name) {
    const WebAsset* asset = FindWebAsset(name);
    if (request.transport != ApiTransport::Network || asset == nullptr)
        return ApiError(404, "no such resource: " + request.path);
    ApiResponse response;
    response.contentType = std::string(WebContentType(name));
    response.rawBody.assign(reinterpret_cast<const char*>(asset->data), asset->size);
    return response;
}

ApiResponse GetPage(ApiContext& /*context*/, const ApiRequest& request) {
    return ServeAsset(request, kPage);
}

ApiResponse GetStatic(ApiContext& /*context*/, const ApiRequest& request) {
    const std::string& name = request.pathParams.at("file");
    // The page is served at "/" only, so it has one address.
    if (name == kPage) return ApiError(404, "no such resource: " + request.path);
    return ServeAsset(request, name);
}

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

const WebAsset* FindWebAsset(std::string_view name) {
    for (std::size_t i = 0; i < kWebAssetCount; ++i)
        if (name == kWebAssets[i].name) return &kWebAssets[i];
    return nullptr;
}

std::string_view WebContentType(std::string_view name) {
    if (EndsWith(name, ".html")) return "text/html; charset=utf-8";
    if (EndsWith(name, ".css")) return "text/css; charset=utf-8";
    if (EndsWith(name, ".js")) return "text/javascript; charset=utf-8";
    if (EndsWith(name, ".svg")) return "image/svg+xml";
    return "application/octet-stream";
}

std::vector<ApiRoute> WebRoutes() {
    return {{"GET", "/", GetPage}, {"GET", "/static/{file}", GetStatic}};
}
