// Whether another local user may change a file or directory: its mode and its owner.
#pragma once

#include <cstdint>
#include <string>

struct PathExposure {
    bool exposed = false;    // someone other than this process's user may change it
    std::uint32_t mode = 0;  // permission bits (with set-id and sticky bits), links followed
    std::string why;         // "writable by others", "owned by user 1001", ...
};

// What is at `path` (links followed) and who may change it. Not exposed: nothing there,
// or owned by this process's user with write permission for that user alone, or also
// for a group that holds this user alone (a user-private group: same name, no other
// member). Any thread.
PathExposure ExposureOf(const std::string& path);
