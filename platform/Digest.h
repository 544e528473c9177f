// The checksums a client may ask for: OpenSSL's message digests and zlib's CRC-32,
// behind one incremental interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

enum class DigestKind { Sha256, Sha512, Sha1, Md5, Crc32 };

// The name clients use for `kind` ("SHA-256", ..., "CRC32").
std::string_view DigestName(DigestKind kind);
// The kind named `name` in any letter case; none for an unknown name.
std::optional<DigestKind> DigestByName(std::string_view name);

// One running computation. Not copyable; used by one thread at a time.
class CDigest {
public:
    explicit CDigest(DigestKind kind);
    ~CDigest();
    CDigest(const CDigest&) = delete;
    CDigest& operator=(const CDigest&) = delete;

    // False when the library could not set the computation up (out of memory).
    bool IsUsable() const { return m_usable; }
    void Update(const void* data, std::size_t size);
    // The value in lower-case hex; the computation is over afterwards.
    std::string FinishHex();

private:
    struct EvpState;

    DigestKind m_kind;
    bool m_usable = false;
    std::unique_ptr<EvpState> m_evp;
    std::uint32_t m_crc = 0;
};
