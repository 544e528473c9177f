// The certificate's end of validity: days counted as the log, the API and the window show
// them, and the warning a running server logs at start, daily and for a replaced one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "platform/CertificateFacts.h"
#include "platform/Clock.h"
#include "server/CertificateExpiry.h"
#include "server/FtpServer.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

namespace {

constexpr std::int64_t kDay = 86400;

CertificateStatus StatusEndingIn(std::int64_t seconds, std::int64_t now = 1'800'000'000) {
    CertificateFacts facts;
    facts.notAfter = now + seconds;
    return CertificateStatusAt(facts, now);
}

std::size_t CountStartingWith(const std::vector<std::string>& texts, const std::string& start) {
    return static_cast<std::size_t>(std::count_if(
        texts.begin(), texts.end(), [&](const auto& t) { return t.rfind(start, 0) == 0; }));
}

}  // namespace

TEST(CertificateExpiry, WholeDaysLeftAndTheirWords) {
    const CertificateStatus tenDays = StatusEndingIn(10 * kDay + 5);
    EXPECT_EQ(tenDays.daysLeft, 10);
    EXPECT_TRUE(tenDays.expiresSoon);
    EXPECT_EQ(CertificateExpiryWarning(tenDays),
              "TLS certificate expires in 10 days (" +
                  FormatUtcTime(tenDays.notAfter, "%Y-%m-%d %H:%M:%S UTC") +
                  "); replace it or let ACME renew it.");
    const CertificateStatus fourteen = StatusEndingIn(14 * kDay);
    EXPECT_FALSE(fourteen.expiresSoon);
    EXPECT_EQ(CertificateExpiryWarning(fourteen), "");
    EXPECT_TRUE(StatusEndingIn(14 * kDay - 1).expiresSoon);
    EXPECT_EQ(CertificateExpiryPhrase(StatusEndingIn(kDay + 1)).substr(0, 16), "expires in 1 day");
    EXPECT_EQ(CertificateExpiryPhrase(StatusEndingIn(3600)).substr(0, 26),
              "expires in less than a day");
    const CertificateStatus expired = StatusEndingIn(-1);
    EXPECT_EQ(expired.daysLeft, -1);
    EXPECT_TRUE(expired.expiresSoon);
    EXPECT_EQ(CertificateExpiryWarning(expired),
              "TLS certificate expired on " +
                  FormatUtcTime(expired.notAfter, "%Y-%m-%d %H:%M:%S UTC") +
                  "; replace it or let ACME renew it.");
    EXPECT_EQ(StatusEndingIn(-kDay - 1).daysLeft, -2);
    EXPECT_EQ(Rfc3339Utc(0), "1970-01-01T00:00:00Z");
}

// A certificate with a long life is served without a word; one replaced by a certificate
// that runs out in 10 days is warned about when it is loaded, and again at each daily check.
TEST(CertificateExpiry, RunningServerWarnsForTheCertificateInUse) {
    TempDir dir;
    const std::string cert = dir.Path("cert.pem"), key = dir.Path("key.pem");
    ASSERT_TRUE(MakeTestCertificate(cert, key, 365));
    ServerHarness harness(dir.ProgramDir());
    harness.RunOnServer([&](CFtpServer& s) { s.Tls().Configure(s.ProgramDir(), cert, key, 0); });
    ASSERT_TRUE(harness.Start());
    std::optional<CertificateFacts> facts;
    harness.RunOnServer([&](CFtpServer& s) { facts = s.Tls().Certificate(); });
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(harness.Sink().CountLog("TLS certificate " + cert + ", SHA-256 fingerprint " +
                                      facts->fingerprint),
              1u);
    EXPECT_EQ(facts->names, (std::vector<std::string>{"localhost", "127.0.0.1"}));
    EXPECT_GT(facts->notAfter, NowSeconds() + 364 * kDay);
    EXPECT_EQ(CountStartingWith(harness.Sink().LogTexts(), "TLS certificate expire"), 0u);

    ASSERT_TRUE(MakeTestCertificate(cert + ".new", key + ".new", 10));
    ASSERT_EQ(std::rename((key + ".new").c_str(), key.c_str()), 0);
    ASSERT_EQ(std::rename((cert + ".new").c_str(), cert.c_str()), 0);
    harness.RunOnServer([](CFtpServer& s) { s.Tls().CheckExpiry(s); });  // the daily timer
    // 9 days and some hours, or 10 when it is still the second openssl made it in.
    const std::string warning = "TLS certificate expires in ";
    EXPECT_EQ(CountStartingWith(harness.Sink().LogTexts(), warning), 1u);
    harness.RunOnServer([](CFtpServer& s) { s.Tls().CheckExpiry(s); });
    EXPECT_EQ(CountStartingWith(harness.Sink().LogTexts(), warning), 2u);
    harness.RunOnServer([&](CFtpServer& s) { facts = s.Tls().Certificate(); });
    const std::int64_t daysLeft = CertificateStatusAt(*facts, NowSeconds()).daysLeft;
    EXPECT_TRUE(daysLeft == 9 || daysLeft == 10) << daysLeft;
}
