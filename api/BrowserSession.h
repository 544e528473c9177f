// The web page's sessions on the TLS listener: the sign-in sets a cookie holding a
// session token (a store of its own, so a bearer token never works as a cookie and a
// cookie never as a bearer token) and hands the page a CSRF token, which the page sends
// back as the X-CSRF-Token header on every change. The cookie is HttpOnly, Secure,
// SameSite=Strict; a change needs the token and an Origin, when sent, of this listener.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "api/ApiTypes.h"

class CTokenStore;

inline constexpr char kSessionCookieName[] = "__Host-tarvona-session";

// The browser sessions of this process's listener (in memory only, as the tokens).
CTokenStore& BrowserSessions();

// The value of the session cookie in a Cookie header; empty when it holds none.
std::string SessionCookieOf(std::string_view cookieHeader);
// The Set-Cookie value that keeps `token` for `seconds`, and the one that clears it.
std::string SessionCookie(const std::string& token, std::int64_t seconds);
std::string ClearedSessionCookie();

// True when the request names no Origin or this listener's own ("https://" + Host).
bool IsSameOrigin(const ApiRequest& request);

// The step for a request that carries the session cookie and no Authorization header:
// nothing when it may go on; 401 for an unknown or expired session; 403 for a change
// (anything but GET) without the session's CSRF token or from another origin.
std::optional<ApiResponse> CheckBrowserSession(const ApiRequest& request);

// A page's script that gets a Basic challenge makes the browser ask for a password in a
// box of its own, over the page: the challenge is dropped from `response` for requests a
// script made (Sec-Fetch-Mode given and not "navigate").
void DropChallengeForScripts(const ApiRequest& request, ApiResponse& response);
