#include "api/AdminCredentials.h"

#include <cctype>

namespace {

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool StartsWithScheme(std::string_view header, std::string_view scheme) {
    if (header.size() <= scheme.size() || header[scheme.size()] != ' ') return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(header[i])) != scheme[i]) return false;
    }
    return true;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

}  // namespace

std::string EncodeBase64(std::string_view bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const auto byteAt = [&bytes](std::size_t at) {
            return at < bytes.size() ? unsigned{static_cast<unsigned char>(bytes[at])} : 0U;
        };
        const unsigned group = byteAt(i) << 16 | byteAt(i + 1) << 8 | byteAt(i + 2);
        text += kDigits[(group >> 18) & 63];
        text += kDigits[(group >> 12) & 63];
        text += i + 1 < bytes.size() ? kDigits[(group >> 6) & 63] : '=';
        text += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
    }
    return text;
}

bool DecodeBase64(std::string_view text, std::string& bytes) {
    bytes.clear();
    if (text.size() % 4 != 0) return false;
    std::size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=')
        ++padding;
    unsigned accumulator = 0;
    for (std::size_t i = 0; i < text.size() - padding; ++i) {
        const int value = Base64Value(text[i]);
        if (value < 0) return false;
        accumulator = (accumulator << 6) | static_cast<unsigned>(value);
        if (i % 4 == 3) {
            bytes += static_cast<char>((accumulator >> 16) & 0xFF);
            bytes += static_cast<char>((accumulator >> 8) & 0xFF);
            bytes += static_cast<char>(accumulator & 0xFF);
            accumulator = 0;
        }
    }
    if (padding == 1) {
        bytes += static_cast<char>((accumulator >> 10) & 0xFF);
        bytes += static_cast<char>((accumulator >> 2) & 0xFF);
    } else if (padding == 2) {
        bytes += static_cast<char>((accumulator >> 4) & 0xFF);
    }
    return true;
}

PresentedCredentials ParseAuthorization(std::string_view header) {
    PresentedCredentials presented;
    header = Trimmed(header);
    if (header.empty()) return presented;
    presented.kind = PresentedCredentials::Kind::Malformed;
    if (StartsWithScheme(header, "bearer")) {
        presented.token = std::string(Trimmed(header.substr(7)));
        if (!presented.token.empty()) presented.kind = PresentedCredentials::Kind::Bearer;
        return presented;
    }
    std::string decoded;
    if (!StartsWithScheme(header, "basic") || !DecodeBase64(Trimmed(header.substr(6)), decoded))
        return presented;
    const std::size_t colon = decoded.find(':');
    if (colon == std::string::npos) return presented;
    presented.kind = PresentedCredentials::Kind::Basic;
    presented.user = decoded.substr(0, colon);
    presented.password = decoded.substr(colon + 1);
    return presented;
}
