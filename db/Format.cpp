// Encoding and decoding of the header, node and duplicate-entry structures.
#include "db/Format.h"

namespace {

template <std::size_t N>
void PutBytes(std::byte* out, const std::array<char, N>& text) {
    std::memcpy(out, text.data(), N);
}
template <std::size_t N>
void GetBytes(const std::byte* in, std::array<char, N>& text) {
    std::memcpy(text.data(), in, N);
}
template <std::size_t N>
void PutI16s(std::byte* out, const std::array<std::int16_t, N>& v) {
    for (std::size_t i = 0; i < N; ++i) EncodeI16(out + 2 * i, v[i]);
}
template <std::size_t N>
void GetI16s(const std::byte* in, std::array<std::int16_t, N>& v) {
    for (std::size_t i = 0; i < N; ++i) v[i] = DecodeI16(in + 2 * i);
}
template <std::size_t N>
void PutI32s(std::byte* out, const std::array<std::int32_t, N>& v) {
    for (std::size_t i = 0; i < N; ++i) EncodeI32(out + 4 * i, v[i]);
}
template <std::size_t N>
void GetI32s(const std::byte* in, std::array<std::int32_t, N>& v) {
    for (std::size_t i = 0; i < N; ++i) v[i] = DecodeI32(in + 4 * i);
}
template <std::size_t N, std::size_t M>
void PutNames(std::byte* out, const std::array<std::array<char, M>, N>& names) {
    for (std::size_t i = 0; i < N; ++i) PutBytes(out + M * i, names[i]);
}
template <std::size_t N, std::size_t M>
void GetNames(const std::byte* in, std::array<std::array<char, M>, N>& names) {
    for (std::size_t i = 0; i < N; ++i) GetBytes(in + M * i, names[i]);
}
using SegmentTable = std::array<std::array<std::int16_t, kMaxSegments>, kMaxKeys>;
void PutSegments(std::byte* out, const SegmentTable& t) {
    for (std::size_t k = 0; k < t.size(); ++k) PutI16s(out + 2 * kMaxSegments * k, t[k]);
}
void GetSegments(const std::byte* in, SegmentTable& t) {
    for (std::size_t k = 0; k < t.size(); ++k) GetI16s(in + 2 * kMaxSegments * k, t[k]);
}

}  // namespace

void TableHeader::Encode(std::span<std::byte, kEncodedSize> out) const {
    std::byte* p = out.data();
    using namespace header;
    PutBytes(p + kSignature, signature);
    EncodeU32(p + kRecordLength, recordLength);
    EncodeI32(p + kRecordCount, recordCount);
    PutNames(p + kFieldNames, fieldNames);
    PutI16s(p + kFieldTypes, fieldTypes);
    PutI16s(p + kFieldWidths, fieldWidths);
    EncodeI16(p + kFieldCount, fieldCount);
    PutNames(p + kKeyNames, keyNames);
    PutI16s(p + kKeyKinds, keyKinds);
    PutSegments(p + kSegField, segField);
    PutSegments(p + kSegMode, segMode);
    PutSegments(p + kSegStart, segStart);
    PutSegments(p + kSegLength, segLength);
    PutI16s(p + kSegCount, segCount);
    EncodeI16(p + kKeyCount, keyCount);
    PutI32s(p + kRoot, root);
    PutI32s(p + kFirstLeaf, firstLeaf);
    PutI32s(p + kLastLeaf, lastLeaf);
    EncodeI32(p + kFreeRecord, freeRecord);
    EncodeI32(p + kFreeEntry, freeEntry);
    EncodeI16(p + kRecordFormat, recordFormat);
    PutBytes(p + kDescription, description);
    PutBytes(p + kVersion, version);
    EncodeI32(p + kFreeBlock, freeBlock);
    std::memcpy(p + kReserved, reserved.data(), reserved.size());
}

void TableHeader::Decode(std::span<const std::byte, kEncodedSize> in) {
    const std::byte* p = in.data();
    using namespace header;
    GetBytes(p + kSignature, signature);
    recordLength = DecodeU32(p + kRecordLength);
    recordCount = DecodeI32(p + kRecordCount);
    GetNames(p + kFieldNames, fieldNames);
    GetI16s(p + kFieldTypes, fieldTypes);
    GetI16s(p + kFieldWidths, fieldWidths);
    fieldCount = DecodeI16(p + kFieldCount);
    GetNames(p + kKeyNames, keyNames);
    GetI16s(p + kKeyKinds, keyKinds);
    GetSegments(p + kSegField, segField);
    GetSegments(p + kSegMode, segMode);
    GetSegments(p + kSegStart, segStart);
    GetSegments(p + kSegLength, segLength);
    GetI16s(p + kSegCount, segCount);
    keyCount = DecodeI16(p + kKeyCount);
    GetI32s(p + kRoot, root);
    GetI32s(p + kFirstLeaf, firstLeaf);
    GetI32s(p + kLastLeaf, lastLeaf);
    freeRecord = DecodeI32(p + kFreeRecord);
    freeEntry = DecodeI32(p + kFreeEntry);
    recordFormat = DecodeI16(p + kRecordFormat);
    GetBytes(p + kDescription, description);
    GetBytes(p + kVersion, version);
    freeBlock = DecodeI32(p + kFreeBlock);
    std::memcpy(reserved.data(), p + kReserved, reserved.size());
}

void NodeHeader::Encode(std::span<std::byte, kEncodedSize> out) const {
    std::byte* p = out.data();
    EncodeI32(p + node::kCount, count);
    PutI32s(p + node::kChild, child);
    PutI32s(p + node::kRecord, record);
    EncodeI32(p + node::kParent, parent);
    EncodeI32(p + node::kSelf, self);
    EncodeI32(p + node::kPrev, prev);
    EncodeI32(p + node::kNext, next);
}

void NodeHeader::Decode(std::span<const std::byte, kEncodedSize> in) {
    const std::byte* p = in.data();
    count = DecodeI32(p + node::kCount);
    GetI32s(p + node::kChild, child);
    GetI32s(p + node::kRecord, record);
    parent = DecodeI32(p + node::kParent);
    self = DecodeI32(p + node::kSelf);
    prev = DecodeI32(p + node::kPrev);
    next = DecodeI32(p + node::kNext);
}

void DuplicateEntry::Encode(std::span<std::byte, kEncodedSize> out) const {
    std::byte* p = out.data();
    std::memcpy(p + dupentry::kTag, kDuplicateTag, sizeof kDuplicateTag);
    EncodeI32(p + dupentry::kRecord, record);
    EncodeI32(p + dupentry::kNext, next);
    EncodeI32(p + dupentry::kPrev, prev);
    EncodeI32(p + dupentry::kLast, last);
}

bool DuplicateEntry::Decode(std::span<const std::byte, kEncodedSize> in) {
    const std::byte* p = in.data();
    if (std::memcmp(p + dupentry::kTag, kDuplicateTag, dupentry::kTagCompareSize) != 0)
        return false;
    record = DecodeI32(p + dupentry::kRecord);
    next = DecodeI32(p + dupentry::kNext);
    prev = DecodeI32(p + dupentry::kPrev);
    last = DecodeI32(p + dupentry::kLast);
    return true;
}
