// What a hook is told about one event: its kind and the facts the program's environment
// and the URL's JSON body carry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// In the order of HookKeyRows (config/HookKeys.h), whose names they take.
enum class HookEventKind {
    UploadComplete,
    UploadFailed,
    DownloadComplete,
    Delete,
    Rename,
    MakeDir,
    RemoveDir,
    Login,
    LoginFailed,
    Ban,
    QuotaExceeded,
    ServerStart,
    ServerStop
};
inline constexpr std::size_t kHookEventKinds = 13;

struct HookEvent {
    HookEventKind kind = HookEventKind::ServerStart;
    std::int64_t time = 0;  // calendar seconds; CHookDispatcher::Post sets it
    std::string user;
    std::string address;         // the client's
    std::string path;            // local; for a rename the old one
    std::string virtualPath;     // as the client sees it
    std::string newPath;         // a rename's target, local
    std::string newVirtualPath;  // ... and as the client sees it
    std::int64_t size = -1;      // of the file, in bytes; -1: none
};

// An event of `kind` with no facts yet (a server event has none).
inline HookEvent MakeHookEvent(HookEventKind kind) {
    HookEvent event;
    event.kind = kind;
    return event;
}

// "UploadComplete" and so on: the name in option.ini, TARVONA_EVENT and the JSON body.
std::string_view HookEventName(HookEventKind kind);

// The event as "NAME=value" entries: TARVONA_EVENT, TARVONA_TIME and those of the facts
// the event has (TARVONA_USER, TARVONA_ADDRESS, TARVONA_PATH, TARVONA_VPATH,
// TARVONA_NEW_PATH, TARVONA_NEW_VPATH, TARVONA_SIZE), values byte for byte.
std::vector<std::string> HookEnvironment(const HookEvent& event);
// The event as one JSON object, the same facts under "event", "time", "user", "address",
// "path", "vpath", "newPath", "newVpath", "size"; bytes that are no UTF-8 become U+FFFD.
std::string HookJsonBody(const HookEvent& event);
