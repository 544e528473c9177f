#include "server/HookEvent.h"

#include <nlohmann/json.hpp>

#include "config/HookKeys.h"

std::string_view HookEventName(HookEventKind kind) {
    return HookKeyRows()[static_cast<std::size_t>(kind)].event;
}

namespace {

// The facts an event has, by their environment and JSON names; empty ones are left out.
template <typename Visit>
void ForEachFact(const HookEvent& event, Visit visit) {
    visit("TARVONA_USER", "user", event.user);
    visit("TARVONA_ADDRESS", "address", event.address);
    visit("TARVONA_PATH", "path", event.path);
    visit("TARVONA_VPATH", "vpath", event.virtualPath);
    visit("TARVONA_NEW_PATH", "newPath", event.newPath);
    visit("TARVONA_NEW_VPATH", "newVpath", event.newVirtualPath);
}

}  // namespace

std::vector<std::string> HookEnvironment(const HookEvent& event) {
    std::vector<std::string> entries{"TARVONA_EVENT=" + std::string(HookEventName(event.kind)),
                                     "TARVONA_TIME=" + std::to_string(event.time)};
    ForEachFact(event, [&entries](const char* name, const char*, const std::string& value) {
        if (!value.empty()) entries.push_back(std::string(name) + "=" + value);
    });
    if (event.size >= 0) entries.push_back("TARVONA_SIZE=" + std::to_string(event.size));
    return entries;
}

std::string HookJsonBody(const HookEvent& event) {
    nlohmann::json body = {{"event", HookEventName(event.kind)}, {"time", event.time}};
    ForEachFact(event, [&body](const char*, const char* key, const std::string& value) {
        if (!value.empty()) body[key] = value;
    });
    if (event.size >= 0) body["size"] = event.size;
    // SECURITY: a file name is any bytes; the body must stay valid JSON all the same.
    return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}
