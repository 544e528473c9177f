// Packed and fixed records: packing, unpacking, reading and placing them.
#include <algorithm>
#include <cstring>

#include "db/TableStore.h"

namespace {

bool Fail(std::string& error, std::string why) {
    error = std::move(why);
    return false;
}

std::size_t TextLength(const std::byte* p, std::size_t width) {
    std::size_t n = 0;
    while (n < width && p[n] != std::byte{0}) ++n;
    return n;
}

}  // namespace

bool CTableStore::PackRecord(std::span<const std::byte> image, std::vector<std::byte>& out,
                             std::string& error) const {
    out.assign(2, std::byte{0});
    for (int i = 0; i < m_schema.FieldCount(); ++i) {
        const FieldLayout& f = m_schema.Field(i);
        const std::byte* p = image.data() + f.offset;
        std::size_t n = static_cast<std::size_t>(f.width);
        if (f.type == FieldType::Text) {
            n = TextLength(p, n);
            const std::size_t at = out.size();
            out.resize(at + 2);
            EncodeU16(out.data() + at, static_cast<std::uint16_t>(n));
        }
        out.insert(out.end(), p, p + n);
    }
    if (out.size() > kMaxPackedLength) return Fail(error, "record too long to store");
    EncodeU16(out.data(), static_cast<std::uint16_t>(out.size()));
    return true;
}

namespace {

// Rebuilds the image from the fields of a packed record (its bytes after the length).
bool Unpack(const CSchema& schema, std::span<const std::byte> in, std::span<std::byte> image) {
    std::fill(image.begin(), image.end(), std::byte{0});
    std::size_t at = 0;
    for (int i = 0; i < schema.FieldCount(); ++i) {
        const FieldLayout& f = schema.Field(i);
        std::size_t n = static_cast<std::size_t>(f.width);
        if (f.type == FieldType::Text) {
            if (in.size() - at < 2) return false;
            n = DecodeU16(in.data() + at);
            at += 2;
            if (n > static_cast<std::size_t>(f.width)) return false;
        }
        if (in.size() - at < n) return false;
        std::memcpy(image.data() + f.offset, in.data() + at, n);
        at += n;
    }
    return true;
}

}  // namespace

bool CTableStore::StoredLength(std::int32_t pos, std::uint32_t& length, std::string& error) {
    if (IsFixed()) {
        length = static_cast<std::uint32_t>(m_schema.RecordLength());
        return true;
    }
    std::byte buf[2];
    if (!m_file.Read(pos, buf, error)) return false;
    length = DecodeU16(buf);
    return true;
}

bool CTableStore::ReadRecord(std::int32_t pos, std::span<std::byte> image, std::string& error) {
    if (IsFixed()) return m_file.Read(pos, image, error);
    std::uint32_t length = 0;
    if (!StoredLength(pos, length, error)) return false;
    if (length < 2) return Fail(error, "record damaged");
    std::vector<std::byte> buf(length - 2);
    if (!m_file.Read(std::int64_t{pos} + 2, buf, error)) return false;
    if (!Unpack(m_schema, buf, image)) return Fail(error, "record damaged");
    return true;
}

bool CTableStore::WriteRecord(std::span<const std::byte> image, std::int32_t& pos,
                              std::string& error) {
    if (IsFixed()) {
        if (!TakeFixedSlot(pos, error)) return false;
        if (pos == kNoPosition) return m_file.Append(image, pos, error);
        return m_file.Write(pos, image, error);
    }
    std::vector<std::byte> packed;
    if (!PackRecord(image, packed, error)) return false;
    if (!TakePackedSlot(static_cast<std::uint32_t>(packed.size()), pos, error)) return false;
    if (pos == kNoPosition) return m_file.Append(packed, pos, error);
    return m_file.Write(pos, packed, error);
}
