// The JWS pieces checked against OpenSSL's own verification: a signature in the raw
// r||s form a CA expects, the JWK and thumbprint of the account key, base64url.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "acme/Base64Url.h"
#include "acme/EcKey.h"
#include "acme/Jws.h"

namespace {

std::string FromBase64Url(const std::string& text) {
    static const std::string kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string bytes;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        bits = (bits << 6) | static_cast<unsigned>(kAlphabet.find(c));
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> count) & 0xff);
        }
    }
    return bytes;
}

// Verifies a raw r||s ES256 signature the way a CA does: rebuilt as DER for OpenSSL.
bool Verifies(const CEcKey& key, const std::string& data, const std::string& raw) {
    if (raw.size() != 64) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(raw.data());
    ECDSA_SIG* signature = ECDSA_SIG_new();
    ECDSA_SIG_set0(signature, BN_bin2bn(bytes, 32, nullptr), BN_bin2bn(bytes + 32, 32, nullptr));
    unsigned char* der = nullptr;
    const int length = i2d_ECDSA_SIG(signature, &der);
    ECDSA_SIG_free(signature);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const bool ok =
        EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, key.Native()) == 1 &&
        EVP_DigestVerify(context, der, static_cast<std::size_t>(length),
                         reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
    EVP_MD_CTX_free(context);
    OPENSSL_free(der);
    return ok;
}

std::unique_ptr<CEcKey> NewKey() {
    std::string error;
    auto key = CEcKey::Generate(error);
    EXPECT_TRUE(key) << error;
    return key;
}

}  // namespace

TEST(Base64Url, UrlAlphabetWithoutPadding) {
    EXPECT_EQ(Base64Url(""), "");
    EXPECT_EQ(Base64Url("f"), "Zg");
    EXPECT_EQ(Base64Url("fo"), "Zm8");
    EXPECT_EQ(Base64Url("foo"), "Zm9v");
    EXPECT_EQ(Base64Url("foob"), "Zm9vYg");
    EXPECT_EQ(Base64Url(std::string("\xfb\xff\xbf", 3)), "-_-_");  // "+/+/" in plain base64
    EXPECT_EQ(Base64Url(std::string("\0\0", 2)), "AAA");
    EXPECT_TRUE(IsBase64UrlText("aZ09-_"));
    EXPECT_FALSE(IsBase64UrlText(""));
    EXPECT_FALSE(IsBase64UrlText("a/b"));
    EXPECT_FALSE(IsBase64UrlText("..%2f"));
}

// Many signatures, so that r or s with leading zero bytes (about one in 128) must be
// padded to 32 bytes for the CA to read them.
TEST(EcKey, RawSignaturesVerifyWithOpenSsl) {
    const auto key = NewKey();
    for (int i = 0; i < 300; ++i) {
        const std::string data = "payload " + std::to_string(i);
        const std::string signature = key->SignEs256(data);
        ASSERT_EQ(signature.size(), 64u);
        ASSERT_TRUE(Verifies(*key, data, signature)) << i;
        ASSERT_FALSE(Verifies(*key, data + "x", signature));
    }
}

TEST(EcKey, JwkAndThumbprintSurviveThePemFile) {
    const auto key = NewKey();
    const nlohmann::json jwk = nlohmann::json::parse(key->Jwk());
    EXPECT_EQ(jwk.dump(), key->Jwk()) << "members in RFC 7638 order, no white space";
    EXPECT_EQ(jwk["x"].get<std::string>().size(), 43u);
    EXPECT_EQ(jwk["y"].get<std::string>().size(), 43u);
    std::string error;
    const auto again = CEcKey::FromPem(key->PrivatePem(), error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->Jwk(), key->Jwk());
    EXPECT_EQ(again->Thumbprint(), key->Thumbprint());
    EXPECT_EQ(key->Thumbprint().size(), 43u);  // SHA-256, base64url
    EXPECT_NE(NewKey()->Thumbprint(), key->Thumbprint());
}

TEST(EcKey, OtherKeysAreRefused) {
    std::string error;
    EVP_PKEY* rsa = EVP_RSA_gen(2048);
    ASSERT_NE(rsa, nullptr);
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, rsa, nullptr, nullptr, 0, nullptr, nullptr);
    char* bytes = nullptr;
    const long length = BIO_get_mem_data(bio, &bytes);
    const std::string pem(bytes, static_cast<std::size_t>(length));
    BIO_free(bio);
    EVP_PKEY_free(rsa);
    EXPECT_FALSE(CEcKey::FromPem(pem, error));
    EXPECT_FALSE(CEcKey::FromPem("not a key", error));
}

TEST(Jws, SignedRequestCarriesJwkOrKidAndVerifies) {
    const auto key = NewKey();
    for (const std::string kid : {"", "https://ca/acct/1"}) {
        const nlohmann::json jws = nlohmann::json::parse(
            SignedRequest(*key, "https://ca/new", "nonce-1", kid, R"({"a":1})"));
        const std::string protectedPart = jws["protected"];
        const std::string payloadPart = jws["payload"];
        const nlohmann::json header = nlohmann::json::parse(FromBase64Url(protectedPart));
        EXPECT_EQ(header["alg"], "ES256");
        EXPECT_EQ(header["nonce"], "nonce-1");
        EXPECT_EQ(header["url"], "https://ca/new");
        EXPECT_EQ(header.contains("jwk"), kid.empty());
        EXPECT_EQ(header.contains("kid"), !kid.empty());
        EXPECT_EQ(FromBase64Url(payloadPart), R"({"a":1})");
        EXPECT_TRUE(Verifies(*key, protectedPart + "." + payloadPart,
                             FromBase64Url(jws["signature"].get<std::string>())));
    }
    // POST-as-GET: an empty payload, not "{}".
    const nlohmann::json get =
        nlohmann::json::parse(SignedRequest(*key, "https://ca/o", "n", "k", ""));
    EXPECT_EQ(get["payload"], "");
}
