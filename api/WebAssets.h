// The web page's files, built into the binary from api/web (cmake/EmbedFiles.cmake).
#pragma once

#include <cstddef>
#include <string_view>

struct WebAsset {
    const char* name;  // "app.js": the path under /static/
    const unsigned char* data;
    std::size_t size;
};

extern const WebAsset kWebAssets[];
extern const std::size_t kWebAssetCount;

// The file called `name`, or nullptr.
const WebAsset* FindWebAsset(std::string_view name);
// The Content-Type a file of that name is sent with.
std::string_view WebContentType(std::string_view name);
