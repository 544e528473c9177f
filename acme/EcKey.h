// A P-256 key, as ACME uses it twice: the account key that signs every request (ES256,
// its public half sent as a JWK and named by its RFC 7638 thumbprint) and the key of an
// issued certificate.
#pragma once

#include <memory>
#include <string>
#include <string_view>

struct evp_pkey_st;

class CEcKey {
public:
    ~CEcKey();
    CEcKey(const CEcKey&) = delete;
    CEcKey& operator=(const CEcKey&) = delete;

    // A new random key; nullptr, and `error`, when the TLS library cannot make one.
    static std::unique_ptr<CEcKey> Generate(std::string& error);
    // The key in the PEM text `pem`; nullptr when it holds no P-256 private key.
    static std::unique_ptr<CEcKey> FromPem(const std::string& pem, std::string& error);

    // The private key as PKCS#8 PEM (a secret: the caller writes it to a 0600 file).
    std::string PrivatePem() const;
    // The public key as a JWK with its members in RFC 7638's order and no white space,
    // which is also the text its thumbprint hashes.
    std::string Jwk() const;
    // base64url(SHA-256(Jwk())): the account's part of every key authorization.
    std::string Thumbprint() const;
    // The ES256 signature of `data`: r and s, 32 bytes each (JWS wants them raw, not
    // the DER sequence the TLS library makes). Empty on failure.
    std::string SignEs256(std::string_view data) const;
    evp_pkey_st* Native() const { return m_key; }

private:
    explicit CEcKey(evp_pkey_st* key) : m_key(key) {}
    evp_pkey_st* m_key;
};
