// The checks an editor runs on [TLS], [Security] and [ACME] values before it saves them.
#include <gtest/gtest.h>

#include "config/OptionChecks.h"

TEST(OptionChecks, HostNamesAndDomainLists) {
    for (const char* name : {"localhost", "ftp.example.org", "a-b.c0", "xn--bcher-kva.example"})
        EXPECT_TRUE(IsHostName(name)) << name;
    for (const char* name : {"", "-a.org", "a-.org", "a..org", "*.example.org", "a_b.org",
                             "127.0.0.1", "ftp.example.org.", "a b"})
        EXPECT_FALSE(IsHostName(name)) << name;
    EXPECT_FALSE(IsHostName(std::string(64, 'a') + ".org"));
    EXPECT_EQ(SplitDomainList(" a.org,b.org  c.org,,"),
              (std::vector<std::string>{"a.org", "b.org", "c.org"}));
    EXPECT_EQ(SplitDomainList(" A.example, b.example\ta.example,,c.example "),
              (std::vector<std::string>{"a.example", "b.example", "c.example"}));
    EXPECT_TRUE(SplitDomainList(" , ").empty());
}

TEST(OptionChecks, EachSectionNamesItsFirstProblem) {
    OptionValues v;
    EXPECT_EQ(TlsOptionsProblem(v) + SecurityOptionsProblem(v) + AcmeOptionsProblem(v), "");
    v.tlsImplicitPort = 65536;
    EXPECT_EQ(TlsOptionsProblem(v),
              "The implicit TLS port must be 0 (off) or a port from 1 to 65535.");
    v.tlsImplicitPort = 990;
    v.tlsCertificateFile = "cert.pem\n[Admin]";  // SECURITY: a line of its own in option.ini
    EXPECT_EQ(TlsOptionsProblem(v), "The certificate file must not contain control characters.");
    v.loginTimeout = -1;
    EXPECT_EQ(SecurityOptionsProblem(v), "The login time-out must be 0 or more.");

    v.acmeDomains = "ftp.example.org";
    EXPECT_EQ(AcmeOptionsProblem(v),
              "The ACME directory must be an https:// URL when domains are set.");
    v.acmeDirectory = "http://ca.example/dir";
    EXPECT_EQ(AcmeOptionsProblem(v),
              "The ACME directory must be an https:// URL when domains are set.");
    v.acmeDirectory = "https://ca.example/dir";
    EXPECT_EQ(AcmeOptionsProblem(v), "");
    v.acmeDomains = "ftp.example.org, 10.0.0.1";
    EXPECT_EQ(AcmeOptionsProblem(v),
              "ACME domain \"10.0.0.1\" is not a host name (letters, "
              "digits and hyphens, between dots).");
    v.acmeDomains = "ftp.example.org";
    v.acmeHttpPort = 0;
    EXPECT_EQ(AcmeOptionsProblem(v), "The ACME HTTP port must be from 1 to 65535.");
    v.acmeHttpPort = 80;
    v.acmeEmail = "nobody";
    EXPECT_EQ(AcmeOptionsProblem(v), "The ACME e-mail address must look like name@example.org.");
}
