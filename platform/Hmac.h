// HMAC-SHA256 (RFC 2104) as lower-case hex, for signing what the server sends to others.
#pragma once

#include <string>
#include <string_view>

// The HMAC-SHA256 of `message` under `key`, 64 lower-case hex digits. Any thread.
std::string HmacSha256Hex(std::string_view key, std::string_view message);
