#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "api/AdminCredentials.h"
#include "api/AdminListener.h"
#include "api/TokenStore.h"
#include "platform/TlsPinning.h"

namespace {

TEST(TokenStoreTest, TokenLivesUntilItsExpiryOrRevocation) {
    std::int64_t now = 1000;
    CTokenStore store;
    store.SetClock([&now] { return now; });
    const IssuedToken issued = store.Issue(60);
    ASSERT_EQ(issued.token.size(), 64U);
    EXPECT_EQ(issued.expires, 1060);
    EXPECT_NE(store.Issue(60).token, issued.token);

    EXPECT_TRUE(store.IsValid(issued.token));
    std::string altered = issued.token;
    altered[63] = altered[63] == '0' ? '1' : '0';
    EXPECT_FALSE(store.IsValid(altered));
    EXPECT_FALSE(store.IsValid(issued.token.substr(0, 32)));
    EXPECT_FALSE(store.IsValid(""));

    now = 1059;
    EXPECT_TRUE(store.IsValid(issued.token));
    now = 1060;
    EXPECT_FALSE(store.IsValid(issued.token));

    const IssuedToken other = store.Issue(60);
    EXPECT_TRUE(store.Revoke(other.token));
    EXPECT_FALSE(store.IsValid(other.token));
    EXPECT_FALSE(store.Revoke(other.token));
}

TEST(TokenStoreTest, FullStoreDropsTheTokenThatExpiresFirst) {
    std::int64_t now = 0;
    CTokenStore store(2);
    store.SetClock([&now] { return now; });
    const IssuedToken shortLived = store.Issue(10);
    const IssuedToken longLived = store.Issue(100);
    const IssuedToken newest = store.Issue(50);
    EXPECT_EQ(store.Count(), 2U);
    EXPECT_FALSE(store.IsValid(shortLived.token));
    EXPECT_TRUE(store.IsValid(longLived.token));
    EXPECT_TRUE(store.IsValid(newest.token));
    now = 60;  // expired ones make room before anything valid is dropped
    (void)store.Issue(10);
    EXPECT_TRUE(store.IsValid(longLived.token));
    EXPECT_EQ(store.Count(), 2U);
}

TEST(AdminCredentialsTest, BasicAndBearerAreParsedAndAnythingElseIsMalformed) {
    const std::string header = "Basic " + EncodeBase64("admin:pa:ss wörd");
    const PresentedCredentials basic = ParseAuthorization(header);
    EXPECT_EQ(basic.kind, PresentedCredentials::Kind::Basic);
    EXPECT_EQ(basic.user, "admin");
    EXPECT_EQ(basic.password, "pa:ss wörd");
    EXPECT_EQ(ParseAuthorization("basic " + EncodeBase64("a:")).kind,
              PresentedCredentials::Kind::Basic);

    const PresentedCredentials bearer = ParseAuthorization("Bearer abc123");
    EXPECT_EQ(bearer.kind, PresentedCredentials::Kind::Bearer);
    EXPECT_EQ(bearer.token, "abc123");

    EXPECT_EQ(ParseAuthorization("").kind, PresentedCredentials::Kind::None);
    for (const std::string& bad : std::vector<std::string>{
             "Basic", "Basic !!!!", "Basic " + EncodeBase64("no colon"),
             "Basic YWJj=", "Basic ====", "Bearer ", "Digest x=1", "Basicx " + EncodeBase64("a:b")})
        EXPECT_EQ(ParseAuthorization(bad).kind, PresentedCredentials::Kind::Malformed) << bad;

    std::string decoded;
    for (const std::string& text :
         std::vector<std::string>{"", "a", "ab", "abc", "abcd", std::string("\0\xff", 2)}) {
        ASSERT_TRUE(DecodeBase64(EncodeBase64(text), decoded));
        EXPECT_EQ(decoded, text);
    }
}

TEST(AdminListenerTest, ListenListTakesAddressPortItemsOnly) {
    std::vector<ListenEndpoint> endpoints;
    std::string error;
    ASSERT_TRUE(ParseListenList("127.0.0.1:14148, [::1]:2", endpoints, error));
    ASSERT_EQ(endpoints.size(), 2U);
    EXPECT_EQ(endpoints[0].address, "127.0.0.1");
    EXPECT_EQ(endpoints[0].port, 14148);
    EXPECT_EQ(endpoints[1].address, "::1");
    EXPECT_EQ(EndpointText(endpoints[1]), "[::1]:2");
    for (const char* bad : {"", "127.0.0.1", "127.0.0.1:0", "127.0.0.1:65536", "::1:80", "[::1:80",
                            "1.2.3.4:80,", ":80", "1.2.3.4:8x"}) {
        std::vector<ListenEndpoint> none;
        EXPECT_FALSE(ParseListenList(bad, none, error)) << bad;
        EXPECT_NE(error.find('"'), std::string::npos);
    }
}

TEST(TlsPinningTest, FingerprintsAreComparedInOneForm) {
    const std::string hex(64, 'a');
    std::string canonical;
    for (int i = 0; i < 32; ++i) canonical += (i > 0 ? ":AA" : "AA");
    EXPECT_EQ(CanonicalFingerprint(hex), canonical);
    EXPECT_EQ(CanonicalFingerprint("SHA256:" + canonical), canonical);
    EXPECT_EQ(CanonicalFingerprint(hex.substr(1)), "");
    EXPECT_EQ(CanonicalFingerprint(hex + "aa"), "");
    EXPECT_EQ(CanonicalFingerprint(hex.substr(1) + "g"), "");
}

}  // namespace
