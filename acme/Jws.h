// The flattened JWS (RFC 7515) every ACME POST carries (RFC 8555 section 6.2).
#pragma once

#include <string>

class CEcKey;

// Signs `payload` (empty: a POST-as-GET) for `url` with `nonce`: the protected header
// names the account by `kid`, or carries the public key as "jwk" while `kid` is empty
// (newAccount). The JSON text to POST as application/jose+json; empty when signing failed.
std::string SignedRequest(const CEcKey& key, const std::string& url, const std::string& nonce,
                          const std::string& kid, const std::string& payload);
