#include "acme/EcKey.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include "acme/Base64Url.h"

namespace {

constexpr int kCoordinateBytes = 32;  // P-256

using BnPtr = std::unique_ptr<BIGNUM, decltype(&BN_free)>;
using BioPtr = std::unique_ptr<BIO, decltype(&BIO_free)>;

std::string SslError(const char* what) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    char text[256] = {};
    if (code != 0) ERR_error_string_n(code, text, sizeof text);
    return std::string(what) + (code != 0 ? std::string(": ") + text : "");
}

std::string PaddedBytes(const BIGNUM* number) {
    std::string bytes(kCoordinateBytes, '\0');
    if (BN_bn2binpad(number, reinterpret_cast<unsigned char*>(bytes.data()), kCoordinateBytes) !=
        kCoordinateBytes)
        return {};
    return bytes;
}

std::string Coordinate(EVP_PKEY* key, const char* name) {
    BIGNUM* raw = nullptr;
    if (EVP_PKEY_get_bn_param(key, name, &raw) != 1) return {};
    const BnPtr number(raw, &BN_free);
    return Base64Url(PaddedBytes(number.get()));
}

bool IsP256(EVP_PKEY* key) {
    char group[32] = {};
    return EVP_PKEY_is_a(key, "EC") == 1 &&
           EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group,
                                          nullptr) == 1 &&
           std::string(group) == "prime256v1";
}

std::string Sha256(std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr) != 1)
        return {};
    return std::string(reinterpret_cast<char*>(digest), length);
}

}  // namespace

CEcKey::~CEcKey() { EVP_PKEY_free(m_key); }

std::unique_ptr<CEcKey> CEcKey::Generate(std::string& error) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (!key) {
        error = SslError("cannot make a P-256 key");
        return nullptr;
    }
    return std::unique_ptr<CEcKey>(new CEcKey(key));
}

std::unique_ptr<CEcKey> CEcKey::FromPem(const std::string& pem, std::string& error) {
    const BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), &BIO_free);
    EVP_PKEY* key = bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr;
    if (!key) {
        error = SslError("no private key");
        return nullptr;
    }
    auto result = std::unique_ptr<CEcKey>(new CEcKey(key));
    if (!IsP256(key)) {
        error = "the key is not a P-256 key";
        return nullptr;
    }
    return result;
}

std::string CEcKey::PrivatePem() const {
    const BioPtr bio(BIO_new(BIO_s_mem()), &BIO_free);
    if (!bio ||
        PEM_write_bio_PrivateKey(bio.get(), m_key, nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return {};
    char* bytes = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &bytes);
    std::string pem(bytes, static_cast<std::size_t>(length > 0 ? length : 0));
    OPENSSL_cleanse(bytes, static_cast<std::size_t>(length > 0 ? length : 0));
    return pem;
}

std::string CEcKey::Jwk() const {
    return R"({"crv":"P-256","kty":"EC","x":")" + Coordinate(m_key, OSSL_PKEY_PARAM_EC_PUB_X) +
           R"(","y":")" + Coordinate(m_key, OSSL_PKEY_PARAM_EC_PUB_Y) + R"("})";
}

std::string CEcKey::Thumbprint() const { return Base64Url(Sha256(Jwk())); }

std::string CEcKey::SignEs256(std::string_view data) const {
    using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;
    const MdCtxPtr context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    std::size_t length = 0;
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, m_key) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &length,
                       reinterpret_cast<const unsigned char*>(data.data()), data.size()) != 1)
        return {};
    std::string der(length, '\0');
    auto* out = reinterpret_cast<unsigned char*>(der.data());
    if (EVP_DigestSign(context.get(), out, &length,
                       reinterpret_cast<const unsigned char*>(data.data()), data.size()) != 1)
        return {};
    const unsigned char* in = out;
    using SigPtr = std::unique_ptr<ECDSA_SIG, decltype(&ECDSA_SIG_free)>;
    const SigPtr signature(d2i_ECDSA_SIG(nullptr, &in, static_cast<long>(length)), &ECDSA_SIG_free);
    if (!signature) return {};
    const std::string r = PaddedBytes(ECDSA_SIG_get0_r(signature.get()));
    const std::string s = PaddedBytes(ECDSA_SIG_get0_s(signature.get()));
    return r.empty() || s.empty() ? std::string() : r + s;
}
