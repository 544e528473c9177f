#include "acme/Jws.h"

#include <nlohmann/json.hpp>

#include "acme/Base64Url.h"
#include "acme/EcKey.h"

std::string SignedRequest(const CEcKey& key, const std::string& url, const std::string& nonce,
                          const std::string& kid, const std::string& payload) {
    nlohmann::json header = {{"alg", "ES256"}, {"nonce", nonce}, {"url", url}};
    if (kid.empty())
        header["jwk"] = nlohmann::json::parse(key.Jwk());
    else
        header["kid"] = kid;
    const std::string protectedPart = Base64Url(header.dump());
    const std::string payloadPart = Base64Url(payload);
    const std::string signature = key.SignEs256(protectedPart + "." + payloadPart);
    if (signature.empty()) return {};
    return nlohmann::json{
        {"protected", protectedPart}, {"payload", payloadPart}, {"signature", Base64Url(signature)}}
        .dump();
}
