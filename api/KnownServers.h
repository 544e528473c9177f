// The servers this user has met over the network, in the user's configuration: the
// certificate fingerprint pinned for each address (trust on first use, shared by
// tarvona-admin and the window), and the address the window last connected to.
#pragma once

#include <string>

#include "api/TlsApiClient.h"

// One "HOST:PORT FINGERPRINT" line per server (HOST of IPv6 in brackets); 0600.
std::string KnownServersFile();

// "HOST:PORT" as the file keys it.
std::string ServerKey(const ServerUrl& server);

// The fingerprint remembered for `key` (canonical form); empty when none, or when the
// file cannot be read (`error` then says why; it is cleared otherwise).
std::string KnownFingerprint(const std::string& key, std::string& error);

// Pins `fingerprint` for `key`, in place of any line the key had: only for a first
// contact or a change the user accepted explicitly. False, with `error`, when the file
// cannot be written or `fingerprint` is not a SHA-256 fingerprint.
[[nodiscard]] bool RememberFingerprint(const std::string& key, const std::string& fingerprint,
                                       std::string& error);

// The server the window offers for its next connection: "HOST:PORT" in a file beside
// known_servers (never a password). False when none is remembered or it is unusable.
bool RememberedServer(ServerUrl& server);
[[nodiscard]] bool RememberServer(const ServerUrl& server, std::string& error);
