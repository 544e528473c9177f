#include "ftp/ZStream.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace {

// Slices so that zlib's 32-bit counters never overflow, and one output step's buffer.
constexpr std::size_t kZlibSlice = std::numeric_limits<uInt>::max() / 2;
constexpr std::size_t kDeflateOutputStep = 16 << 10;

}  // namespace

CDeflater::CDeflater(int level) {
    auto stream = std::make_unique<z_stream_s>();
    if (deflateInit(stream.get(), level) == Z_OK) m_stream = std::move(stream);
}

CDeflater::~CDeflater() {
    if (m_stream) deflateEnd(m_stream.get());
}

bool CDeflater::Compress(std::string_view input, bool finish, std::vector<char>& output) {
    if (!m_stream) return false;
    z_stream_s& z = *m_stream;
    do {
        const std::size_t slice = std::min(input.size(), kZlibSlice);
        // zlib's input pointer is not const, but deflate never writes through it.
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
        z.avail_in = static_cast<uInt>(slice);
        input.remove_prefix(slice);
        const int flush = finish && input.empty() ? Z_FINISH : Z_NO_FLUSH;
        int result = Z_OK;
        do {
            const std::size_t before = output.size();
            output.resize(before + kDeflateOutputStep);
            z.next_out = reinterpret_cast<Bytef*>(output.data() + before);
            z.avail_out = static_cast<uInt>(kDeflateOutputStep);
            result = deflate(&z, flush);
            output.resize(output.size() - z.avail_out);
            if (result == Z_STREAM_ERROR) return false;
        } while (z.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    } while (!input.empty());
    return true;
}

CInflater::CInflater() {
    auto stream = std::make_unique<z_stream_s>();
    if (inflateInit(stream.get()) == Z_OK) m_stream = std::move(stream);
}

CInflater::~CInflater() {
    if (m_stream) inflateEnd(m_stream.get());
}

void CInflater::Feed(const char* data, std::size_t size) {
    // The receive buffers it is fed from are far below zlib's 32-bit counters.
    m_stream->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    m_stream->avail_in = static_cast<uInt>(std::min(size, kZlibSlice));
}

InflateResult CInflater::Inflate(char* output, std::size_t capacity, std::size_t& produced) {
    produced = 0;
    z_stream_s& z = *m_stream;
    if (m_ended) return z.avail_in == 0 ? InflateResult::Ended : InflateResult::Damaged;
    if (z.avail_in == 0) return InflateResult::NeedInput;
    z.next_out = reinterpret_cast<Bytef*>(output);
    z.avail_out = static_cast<uInt>(std::min(capacity, kZlibSlice));
    const int result = inflate(&z, Z_NO_FLUSH);
    produced = std::min(capacity, kZlibSlice) - z.avail_out;
    if (result == Z_STREAM_END) {
        m_ended = true;
        // SECURITY: bytes after the end are no part of the file; taking them silently
        // would hide a damaged or spliced stream.
        return z.avail_in == 0 ? InflateResult::Ended : InflateResult::Damaged;
    }
    // Z_OK means progress: output, or input taken (a header) without output yet.
    if (result == Z_OK)
        return z.avail_in == 0 && produced == 0 ? InflateResult::NeedInput
                                                : InflateResult::Produced;
    // Z_BUF_ERROR: no progress was possible with the input given.
    if (result == Z_BUF_ERROR && z.avail_in == 0) return InflateResult::NeedInput;
    return InflateResult::Damaged;  // Z_DATA_ERROR, Z_NEED_DICT, Z_MEM_ERROR
}
