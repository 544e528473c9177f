// What the renewal needs to know of a certificate chain in PEM: the first certificate's
// names, validity and issuer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CertificateInfo {
    std::vector<std::string> dnsNames;  // subject alternative names of type DNS
    std::int64_t notBefore = 0;         // calendar seconds (UTC)
    std::int64_t notAfter = 0;
    std::string issuer;  // the issuer's common name, else its whole name
};

// The first certificate of `pem`; false when there is none or it cannot be read.
[[nodiscard]] bool ReadCertificateInfo(const std::string& pem, CertificateInfo& info);

// When a certificate should be renewed: with a third of its lifetime left. 0 (at once)
// when it does not cover every one of `names` (case-insensitively) or its dates are odd.
std::int64_t RenewalTime(const CertificateInfo& info, const std::vector<std::string>& names);

// True when the first certificate of `chainPem` belongs to the private key in `keyPem`:
// a chain is never put in place with a key that does not sign for it.
bool CertificateMatchesKey(const std::string& chainPem, const std::string& keyPem);
