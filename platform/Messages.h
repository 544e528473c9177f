// Message numbers carried by the event loops. Numbers are offsets from WM_USER so that
// they read the same as the window messages they stand for.
#pragma once

inline constexpr int WM_USER = 0x0400;

// The message that ends a thread's loop (the quit message).
inline constexpr int WM_QUIT = 0x0012;

// To the server window (the main thread's loop).
inline constexpr int WM_SESSION_OPENED = WM_USER + 200;
inline constexpr int WM_SESSION_CLOSED = WM_USER + 201;

// To a connection thread.
inline constexpr int WM_SESSION_CONTROL = WM_USER + 202;

// To the main window: a public-address request has ended.
inline constexpr int WM_WEBGET_DONE = WM_USER + 100;
