// Certificate pinning for a TLS client: the server is trusted when its certificate's
// SHA-256 is the one expected, whatever signed it. Self-signed certificates (the server
// makes one for itself) are the common case, so no certificate authority is consulted.
#pragma once

#include <string>
#include <string_view>

struct ssl_ctx_st;

struct CertificatePin {
    // CTlsContext::Fingerprint's form. Empty: any certificate is taken and only
    // recorded (the first contact of trust on first use; nothing secret may be sent).
    std::string expected;
    // The fingerprint the last handshake saw; empty before one.
    std::string seen;
};

// Makes every handshake of the client context `context` check its peer against `*pin`
// (which must outlive the context's use) and refuse versions before TLS 1.2.
void PinServerCertificate(ssl_ctx_st* context, CertificatePin* pin);

// `text` in CTlsContext::Fingerprint's form: 64 hex digits, with or without colons, in any
// letter case, optionally after "SHA256:". Empty when it is not a SHA-256 fingerprint.
std::string CanonicalFingerprint(std::string_view text);
