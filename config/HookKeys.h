// The [Hooks] keys of option.ini by event, in the order of the events, and the bounds of
// the dispatcher's settings: one table for the server, the checks and the window.
#pragma once

#include <span>
#include <string_view>

#include "config/Options.h"

struct HookKeyRow {
    std::string_view event;  // "UploadComplete": the key is "On" + event, the URL's + "Url"
    TextOption program;
    TextOption url;
};

// Every event's keys, in the order of HookEventKind (server/HookEvent.h).
std::span<const HookKeyRow> HookKeyRows();

inline constexpr int kMaxHookConcurrency = 16;    // actions running at once
inline constexpr int kMaxHookTimeout = 3600;      // seconds for one action
inline constexpr int kMaxHookQueueSize = 100000;  // events waiting
