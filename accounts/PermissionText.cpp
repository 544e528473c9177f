#include "accounts/PermissionText.h"

#include <cctype>

std::string PermissionsToText(const PermissionSet& permissions) {
    std::string text(kPermissionCount, '-');
    for (std::size_t i = 0; i < kPermissionCount; ++i)
        if (permissions.granted[i]) text[i] = kPermissionRows[i].letter;
    return text;
}

PermissionSet PermissionsFromText(std::string_view text) {
    PermissionSet set;
    for (std::size_t i = 0; i < kPermissionCount && i < text.size(); ++i)
        set.granted[i] = text[i] == kPermissionRows[i].letter;
    return set;
}

PermissionSet PermissionsFromTypedText(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return PermissionsFromText(upper);
}

bool IsValidPermissionText(std::string_view text) {
    if (text.size() != kPermissionCount) return false;
    for (std::size_t i = 0; i < kPermissionCount; ++i) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
        if (c != '-' && c != kPermissionRows[i].letter) return false;
    }
    return true;
}
