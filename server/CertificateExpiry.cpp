#include "server/CertificateExpiry.h"

#include "platform/CertificateFacts.h"
#include "platform/Clock.h"

namespace {
constexpr std::int64_t kSecondsPerDay = 86400;

// Rounds towards minus infinity, so a certificate a second past its end has -1 days left.
std::int64_t FloorDays(std::int64_t seconds) {
    return seconds >= 0 ? seconds / kSecondsPerDay : -((-seconds - 1) / kSecondsPerDay) - 1;
}
}  // namespace

CertificateStatus CertificateStatusAt(const CertificateFacts& facts, std::int64_t now) {
    CertificateStatus status;
    status.fingerprint = facts.fingerprint;
    status.notAfter = facts.notAfter;
    status.daysLeft = FloorDays(facts.notAfter - now);
    status.expiresSoon = status.daysLeft < kCertificateWarningDays;
    return status;
}

std::string CertificateExpiryPhrase(const CertificateStatus& status) {
    const std::string when = FormatUtcTime(status.notAfter, "%Y-%m-%d %H:%M:%S UTC");
    if (status.daysLeft < 0) return "expired on " + when;
    const std::string left = status.daysLeft == 0   ? "less than a day"
                             : status.daysLeft == 1 ? "1 day"
                                                    : std::to_string(status.daysLeft) + " days";
    return "expires in " + left + " (" + when + ")";
}

std::string CertificateExpiryWarning(const CertificateStatus& status) {
    if (!status.expiresSoon) return {};
    return "TLS certificate " + CertificateExpiryPhrase(status) +
           "; replace it or let ACME renew it.";
}

std::string Rfc3339Utc(std::int64_t seconds) {
    return FormatUtcTime(seconds, "%Y-%m-%dT%H:%M:%SZ");
}
