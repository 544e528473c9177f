#include "platform/Hmac.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

std::string HmacSha256Hex(std::string_view key, std::string_view message) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    // An empty key is a key of zero bytes; HMAC needs a pointer that is not null for it.
    static const unsigned char kNoKey = 0;
    const void* keyBytes = key.empty() ? static_cast<const void*>(&kNoKey) : key.data();
    if (HMAC(EVP_sha256(), keyBytes, static_cast<int>(key.size()),
             reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest,
             &length) == nullptr)
        return {};
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * length);
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0f];
    }
    return hex;
}
