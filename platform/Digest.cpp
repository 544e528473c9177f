#include "platform/Digest.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>

#include "platform/Text.h"

namespace {

struct NamedDigest {
    DigestKind kind;
    std::string_view name;
};

constexpr std::array kNames{
    NamedDigest{DigestKind::Sha256, "SHA-256"}, NamedDigest{DigestKind::Sha512, "SHA-512"},
    NamedDigest{DigestKind::Sha1, "SHA-1"},     NamedDigest{DigestKind::Md5, "MD5"},
    NamedDigest{DigestKind::Crc32, "CRC32"},
};

const EVP_MD* EvpOf(DigestKind kind) {
    switch (kind) {
        case DigestKind::Sha256:
            return EVP_sha256();
        case DigestKind::Sha512:
            return EVP_sha512();
        case DigestKind::Sha1:
            return EVP_sha1();
        case DigestKind::Md5:
            return EVP_md5();
        case DigestKind::Crc32:
            break;
    }
    return nullptr;
}

std::string Hex(const unsigned char* bytes, std::size_t count) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0f];
    }
    return text;
}

}  // namespace

struct CDigest::EvpState {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~EvpState() { EVP_MD_CTX_free(context); }
};

std::string_view DigestName(DigestKind kind) {
    for (const NamedDigest& named : kNames)
        if (named.kind == kind) return named.name;
    return {};
}

std::optional<DigestKind> DigestByName(std::string_view name) {
    for (const NamedDigest& named : kNames)
        if (EqualsNoCase(name, named.name)) return named.kind;
    return std::nullopt;
}

CDigest::CDigest(DigestKind kind) : m_kind(kind) {
    if (kind == DigestKind::Crc32) {
        m_crc = static_cast<std::uint32_t>(crc32(0L, Z_NULL, 0));
        m_usable = true;
        return;
    }
    m_evp = std::make_unique<EvpState>();
    m_usable =
        m_evp->context != nullptr && EVP_DigestInit_ex(m_evp->context, EvpOf(kind), nullptr) == 1;
}

CDigest::~CDigest() = default;

void CDigest::Update(const void* data, std::size_t size) {
    if (!m_usable) return;
    if (m_kind != DigestKind::Crc32) {
        m_usable = EVP_DigestUpdate(m_evp->context, data, size) == 1;
        return;
    }
    // zlib takes at most UINT_MAX bytes per call.
    const auto* bytes = static_cast<const Bytef*>(data);
    while (size > 0) {
        const auto step = static_cast<uInt>(std::min<std::size_t>(size, UINT_MAX));
        m_crc = static_cast<std::uint32_t>(crc32(m_crc, bytes, step));
        bytes += step;
        size -= step;
    }
}

std::string CDigest::FinishHex() {
    if (!m_usable) return {};
    m_usable = false;
    if (m_kind == DigestKind::Crc32) {
        const std::array<unsigned char, 4> bytes{
            static_cast<unsigned char>(m_crc >> 24), static_cast<unsigned char>(m_crc >> 16),
            static_cast<unsigned char>(m_crc >> 8), static_cast<unsigned char>(m_crc)};
        return Hex(bytes.data(), bytes.size());
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> value{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(m_evp->context, value.data(), &length) != 1) return {};
    return Hex(value.data(), length);
}
