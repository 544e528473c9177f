// How soon the served certificate runs out, counted and worded the same for the log, the
// administration API and the window.
#pragma once

#include <cstdint>
#include <string>

struct CertificateFacts;

// A certificate that runs out within this many days (or has) is warned about.
inline constexpr int kCertificateWarningDays = 14;

struct CertificateStatus {
    std::string fingerprint;
    std::int64_t notAfter = 0;  // seconds since the epoch
    std::int64_t daysLeft = 0;  // whole days until notAfter; negative once it has passed
    bool expiresSoon = false;   // fewer than kCertificateWarningDays whole days left, or none

    bool operator==(const CertificateStatus&) const = default;
};

// The status of a certificate with `facts` at calendar time `now` (seconds).
CertificateStatus CertificateStatusAt(const CertificateFacts& facts, std::int64_t now);
// "expires in 10 days (2026-12-20 12:00:00 UTC)", or "expired on 2026-12-20 12:00:00 UTC"
// once it has passed.
std::string CertificateExpiryPhrase(const CertificateStatus& status);
// The log's warning for `status`; empty unless it expires soon.
std::string CertificateExpiryWarning(const CertificateStatus& status);
// `seconds` as RFC 3339 UTC ("2026-12-20T12:00:00Z").
std::string Rfc3339Utc(std::int64_t seconds);
