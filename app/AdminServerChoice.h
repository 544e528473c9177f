// The server given by --server: its TLS listener, pinned by --fingerprint or by the
// fingerprint remembered at the first contact. Which server a command works through is
// decided in app/AdminRemote.h.
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

// The client for the server given by --server; nullptr, with `error`, when it cannot be
// trusted or reached (a changed certificate is refused, never taken silently).
std::unique_ptr<CApiClient> ConnectRemoteServer(std::string& error);
