// The deflate and inflate streams of MODE Z transfers (zlib's format: RFC 1950 around
// RFC 1951). Each object is one stream of one transfer, used by one thread.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

struct z_stream_s;  // zlib's state, kept out of this header

inline constexpr int kMinDeflateLevel = 0;
inline constexpr int kMaxDeflateLevel = 9;
inline constexpr int kDefaultDeflateLevel = 6;

class CDeflater {
public:
    // A stream at `level` (kMinDeflateLevel to kMaxDeflateLevel); IsOk() says whether
    // zlib could make it (it may be out of memory).
    explicit CDeflater(int level);
    ~CDeflater();
    CDeflater(const CDeflater&) = delete;
    CDeflater& operator=(const CDeflater&) = delete;

    bool IsOk() const { return m_stream != nullptr; }
    // Compresses `input` and appends what zlib gives out to `output`; `finish` ends the
    // stream (no call may follow). False when zlib fails; the stream is then unusable.
    [[nodiscard]] bool Compress(std::string_view input, bool finish, std::vector<char>& output);

private:
    std::unique_ptr<z_stream_s> m_stream;
};

enum class InflateResult {
    NeedInput,  // everything fed is used up; feed more (or the stream was cut short)
    Produced,   // progress (`produced` may be 0); call again before feeding more
    Ended,      // the stream is complete and nothing followed it
    Damaged     // not a valid stream, or bytes after its end
};

class CInflater {
public:
    CInflater();
    ~CInflater();
    CInflater(const CInflater&) = delete;
    CInflater& operator=(const CInflater&) = delete;

    bool IsOk() const { return m_stream != nullptr; }
    // Hands `size` bytes at `data` to the next Inflate calls; they must stay valid until
    // Inflate has answered NeedInput, Ended or Damaged.
    void Feed(const char* data, std::size_t size);
    // Writes up to `capacity` inflated bytes to `output` and sets `produced`.
    InflateResult Inflate(char* output, std::size_t capacity, std::size_t& produced);
    bool HasEnded() const { return m_ended; }

private:
    std::unique_ptr<z_stream_s> m_stream;
    bool m_ended = false;
};
