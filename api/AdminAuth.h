// Who may use the administration API over the network. The control socket needs no
// password (its file mode and the peer's user are the check); on the TLS listener every
// request but the sign-in carries HTTP Basic credentials of the user "admin" or a bearer
// token from the sign-in. Wrong passwords count in the login guard, the same counter as
// FTP logins, and a banned address is refused before any work.
#pragma once

#include <optional>
#include <string>

#include "api/ApiTypes.h"

class CTokenStore;

inline constexpr char kAdminUser[] = "admin";

// The tokens of this process's listener: one server per process, and tokens live in
// memory only.
CTokenStore& AdminTokens();

// The listener's authentication step: nothing when `request` may go on to its route,
// else the refusal (429 banned, 401 no or wrong credentials). Requests of the control
// socket always go on.
std::optional<ApiResponse> AuthenticateAdminRequest(ApiContext& context, const ApiRequest& request);

// The refusal of a banned peer, or nothing.
std::optional<ApiResponse> RefuseBannedPeer(ApiContext& context, const ApiRequest& request);

// Checks `password` of `user` against [Admin] PasswordHash, feeding the login guard.
// Nothing when it opens; else the refusal to send.
std::optional<ApiResponse> CheckAdminPassword(ApiContext& context, const ApiRequest& request,
                                              const std::string& user, const std::string& password);
