// The URL-safe base64 of JOSE (RFC 7515 section 2): "-" and "_" for "+" and "/", no "="
// padding.
#pragma once

#include <string>
#include <string_view>

std::string Base64Url(std::string_view bytes);
// True when `text` is a non-empty run of base64url characters only: what an ACME token
// must be before it names a file of the challenge listener.
bool IsBase64UrlText(std::string_view text);
