// The names monitoring gives the session states (server/ControlSocket.h's SessionState,
// by value), kept apart so a reader of the counters needs no session header.
#pragma once

#include <array>
#include <string_view>

inline constexpr int kSessionStateCount = 5;
// Indexed by SessionState's value: Idle, NotLoggedIn, Listing, Uploading, Downloading.
inline constexpr std::array<std::string_view, kSessionStateCount> kSessionStateNames = {
    "idle", "not_logged_in", "listing", "uploading", "downloading"};
