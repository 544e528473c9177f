// Which server tarvona-admin's control commands talk to: the control socket of the
// program directory, or a server's TLS listener given by --server (pinned by
// --fingerprint, or by the fingerprint remembered at the first contact).
#pragma once

#include <memory>
#include <string>

#include "api/ApiClient.h"

struct RemoteServerChoice {
    std::string url;          // "https://HOST:PORT"; empty: the local control socket
    std::string fingerprint;  // empty: trust on first use
};

// Set once by main, before any command runs.
void ChooseRemoteServer(RemoteServerChoice choice);
bool RemoteServerChosen();

// The client for the chosen server; nullptr, with `error`, when it cannot be trusted or
// reached (a changed certificate is refused, never taken silently).
std::unique_ptr<CApiClient> ConnectAdminApi(const std::string& programDir, std::string& error);

// Where first contacts are remembered: one "HOST:PORT FINGERPRINT" line per server.
std::string KnownServersFile();
