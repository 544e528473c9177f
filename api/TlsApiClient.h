// The administration API over the network: HTTPS to a server's TLS listener, its
// certificate pinned by its SHA-256 fingerprint (servers usually make their own
// certificate, which no authority signs).
#pragma once

#include <memory>
#include <string>

#include "api/ApiClient.h"

struct ServerUrl {
    std::string host;  // a name, an IPv4 address or an IPv6 address without brackets
    int port = 0;
};

// "https://HOST:PORT" (IPv6 in brackets; a trailing "/" is allowed). False, with `error`,
// for anything else.
[[nodiscard]] bool ParseServerUrl(const std::string& url, ServerUrl& out, std::string& error);

// A client of the server at `url` that refuses any certificate but the one whose
// fingerprint is `fingerprint` (CTlsContext::Fingerprint's form, or any form
// CanonicalFingerprint takes) and signs in as "admin" with `password` at its first request.
// nullptr, with `error`, when the URL or fingerprint is unusable.
std::unique_ptr<CApiClient> NewTlsApiClient(const std::string& url, const std::string& fingerprint,
                                            const std::string& password, std::string& error);

// The fingerprint of the certificate the server at `url` shows, taking whatever it is and
// sending nothing secret: the first step of trust on first use. Empty, with `error`,
// when there is no TLS answer.
std::string FetchServerFingerprint(const std::string& url, std::string& error);
