// The renewal rule, the names of [ACME] Domains and the CA's problem documents.
#include <gtest/gtest.h>

#include <algorithm>

#include "acme/AcmeClient.h"
#include "acme/CertificateInfo.h"
#include "acme/EcKey.h"
#include "platform/TlsContext.h"
#include "tests/support/TempDir.h"

TEST(DomainNames, OrderableNames) {
    EXPECT_TRUE(IsOrderableName("ftp-1.a.example"));
    for (const char* name : {"*.a.example", "a..example", ".a.example", "a.example.", "a_b.example",
                             "a example", "ä.example", "-a.example"})
        EXPECT_FALSE(IsOrderableName(name)) << name;
    EXPECT_FALSE(IsOrderableName(std::string(254, 'a')));
}

TEST(RenewalRule, AThirdOfTheLifetimeLeftAndEveryNameCovered) {
    CertificateInfo info;
    info.dnsNames = {"a.example", "b.example"};
    info.notBefore = 1000;
    info.notAfter = 1000 + 90 * 86400;
    EXPECT_EQ(RenewalTime(info, {"a.example", "B.example"}), 1000 + 60 * 86400);
    EXPECT_EQ(RenewalTime(info, {"a.example", "c.example"}), 0) << "a new name orders at once";
    info.notAfter = info.notBefore;
    EXPECT_EQ(RenewalTime(info, {"a.example"}), 0);
    EXPECT_FALSE(ReadCertificateInfo("-----BEGIN CERTIFICATE-----\nAAAA\n", info));
}

TEST(ProblemText, DetailTypeAndSubproblems) {
    EXPECT_EQ(ProblemText(R"({"type":"urn:ietf:params:acme:error:rejectedIdentifier",
                             "detail":"policy forbids","subproblems":[{"type":
                             "urn:ietf:params:acme:error:caa","detail":"CAA forbids",
                             "identifier":{"type":"dns","value":"b.example"}}]})",
                          400),
              "policy forbids (rejectedIdentifier); b.example: CAA forbids (caa), HTTP status 400");
    EXPECT_EQ(ProblemText("<html>", 503), "no problem document, HTTP status 503");
    EXPECT_EQ(ProblemText(R"({"detail":7,"subproblems":"x"})", 400),
              "no problem document, HTTP status 400");
    // A hostile CA nests subproblems as deep as its reply allows: only the first level is
    // read, whatever the depth.
    std::string nested = R"({"detail":"d","subproblems":[)";
    for (int i = 0; i < 20000; ++i) nested += R"({"detail":"x","subproblems":[)";
    for (int i = 0; i < 20000; ++i) nested += "]}";
    nested += "]}";
    EXPECT_EQ(ProblemText(nested, 400), "d; x, HTTP status 400");
}

// A chain is put in place only with the key that signs for it.
TEST(CertificateFile, NamesDatesAndTheMatchingKey) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(CreateSelfSignedCertificate(dir.Path("c.pem"), dir.Path("k.pem"), error)) << error;
    std::string chain;
    std::string key;
    ASSERT_TRUE(ReadPemFile(dir.Path("c.pem"), chain, error));
    ASSERT_TRUE(ReadPemFile(dir.Path("k.pem"), key, error));
    CertificateInfo info;
    ASSERT_TRUE(ReadCertificateInfo(chain, info));
    EXPECT_NE(std::find(info.dnsNames.begin(), info.dnsNames.end(), "localhost"),
              info.dnsNames.end());
    EXPECT_GT(info.notAfter - info.notBefore, 3000LL * 86400);
    EXPECT_GT(RenewalTime(info, {"LOCALHOST"}), info.notBefore);
    EXPECT_TRUE(CertificateMatchesKey(chain, key));
    EXPECT_FALSE(CertificateMatchesKey(chain, CEcKey::Generate(error)->PrivatePem()));
    EXPECT_FALSE(CertificateMatchesKey(chain, ""));
}
