#include "accounts/PasswordHash.h"

#include <crypt.h>

#include <algorithm>
#include <memory>

namespace {

constexpr char kHashPrefix[] = "$y$";    // what HashPassword makes
constexpr char kSha512Prefix[] = "$6$";  // also checked, as libcrypt still reads it

// crypt's base-64 alphabet.
bool IsHashText(std::string_view text) {
    for (const char c : text) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                        (c >= 'A' && c <= 'Z') || c == '.' || c == '/';
        if (!ok) return false;
    }
    return true;
}

// "$y$PARAMS$SALT$HASH" with a 43-character hash, or "$6$[rounds=N$]SALT$HASH" with an
// 86-character one.
bool HasHashShape(std::string_view stored) {
    const std::size_t last = stored.rfind('$');
    const std::string_view hash = stored.substr(last + 1);
    const auto dollars = static_cast<std::size_t>(std::count(stored.begin(), stored.end(), '$'));
    if (!IsHashText(hash)) return false;
    if (stored.starts_with(kHashPrefix)) return hash.size() == 43 && dollars == 4;
    return hash.size() == 86 && (dollars == 3 || dollars == 4);
}

}  // namespace

std::string HashPassword(std::string_view clearText) {
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    // No random bytes given: libcrypt takes them from the system's random source.
    if (crypt_gensalt_rn(kHashPrefix, 0, nullptr, 0, setting, sizeof setting) == nullptr) return {};
    // crypt_data is some 32 KiB: too large for a session thread's stack.
    auto data = std::make_unique<crypt_data>();
    const std::string clear(clearText);
    const char* hash = crypt_r(clear.c_str(), setting, data.get());
    if (hash == nullptr || hash[0] == '*') return {};
    return hash;
}

bool IsPasswordHash(std::string_view stored) {
    if (!stored.starts_with(kHashPrefix) && !stored.starts_with(kSha512Prefix)) return false;
    if (stored.find('\0') != std::string_view::npos || !HasHashShape(stored)) return false;
    return crypt_checksalt(std::string(stored).c_str()) == CRYPT_SALT_OK;
}

bool HashMatches(std::string_view clearText, std::string_view hash) {
    auto data = std::make_unique<crypt_data>();
    const std::string clear(clearText);
    const std::string setting(hash);
    const char* computed = crypt_r(clear.c_str(), setting.c_str(), data.get());
    if (computed == nullptr || computed[0] == '*') return false;
    return ConstantTimeEquals(computed, hash);
}

void SpendHashTime(std::string_view clearText) {
    // Fixed salt bytes: the setting (and so the cost) is the one HashPassword draws.
    static constexpr char kSaltBytes[16] = {};
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    if (crypt_gensalt_rn(kHashPrefix, 0, kSaltBytes, sizeof kSaltBytes, setting, sizeof setting) ==
        nullptr)
        return;
    auto data = std::make_unique<crypt_data>();
    const std::string clear(clearText);
    (void)crypt_r(clear.c_str(), setting, data.get());
}

bool ConstantTimeEquals(std::string_view a, std::string_view b) {
    // SECURITY: every byte is looked at whatever came before, so the time a refusal
    // takes does not tell how much of a guess was right.
    unsigned difference = a.size() == b.size() ? 0u : 1u;
    const std::size_t length = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < length; ++i)
        difference |= static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[i]);
    return difference == 0;
}

bool PasswordToStore(std::string_view clearText, bool hashPasswords, std::string& stored) {
    stored = !clearText.empty() && hashPasswords ? HashPassword(clearText) : std::string(clearText);
    return !stored.empty() || clearText.empty();
}
