// What a client of the administration listener presents in its Authorization header.
#pragma once

#include <string>
#include <string_view>

struct PresentedCredentials {
    enum class Kind { None, Basic, Bearer, Malformed };
    Kind kind = Kind::None;
    std::string user;      // Basic
    std::string password;  // Basic
    std::string token;     // Bearer
};

// "Basic BASE64(user:password)" or "Bearer TOKEN" (scheme names in any letter case);
// anything else that is not empty is Malformed.
PresentedCredentials ParseAuthorization(std::string_view header);

// Standard base64 with its padding, both ways; decoding refuses any other text.
std::string EncodeBase64(std::string_view bytes);
[[nodiscard]] bool DecodeBase64(std::string_view text, std::string& bytes);
