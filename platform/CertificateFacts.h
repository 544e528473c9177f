// What an administrator checks of a certificate the server serves: its fingerprint, when
// it stops being valid, and the names it is valid for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct x509_st;

struct CertificateFacts {
    std::string fingerprint;         // SHA-256, as HexFingerprint (platform/TlsContext.h)
    std::int64_t notAfter = 0;       // the end of its validity, seconds since the epoch
    std::vector<std::string> names;  // its DNS and IP subject names, else its common name
};

// The facts of `certificate`; false for none, or when its end of validity cannot be read.
[[nodiscard]] bool ReadCertificateFacts(const x509_st* certificate, CertificateFacts& facts);
