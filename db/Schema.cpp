// Deriving and checking the record and key layout of a header.
#include "db/Schema.h"

#include <algorithm>
#include <cstring>

namespace {

bool Fail(std::string& error, std::string why) {
    error = std::move(why);
    return false;
}

constexpr auto kSlots = static_cast<std::size_t>(kNodeSlots);
// Double and Text key areas begin after this many unused bytes.
constexpr std::size_t kKeyAreaGap = 4;
// A node with numeric keys ends on a whole 4-byte word; a Text node does not.
constexpr std::size_t kNumericNodeAlign = 4;

constexpr std::size_t NumericNodeSize(std::size_t keyAreaOffset, std::size_t slotSize) {
    const std::size_t end = keyAreaOffset + kSlots * slotSize;
    return (end + kNumericNodeAlign - 1) / kNumericNodeAlign * kNumericNodeAlign;
}

// The node sizes the format gives (db/FORMAT.md), so that the derivation cannot drift.
static_assert(NumericNodeSize(node::kHeaderSize, 1) == 1832);
static_assert(NumericNodeSize(node::kHeaderSize, 2) == 2032);
static_assert(NumericNodeSize(node::kHeaderSize, 4) == 2432);
static_assert(NumericNodeSize(node::kHeaderSize + kKeyAreaGap, 8) == 3240);

}  // namespace

void PlaceKeySlots(KeyLayout& key) {
    if (key.IsTextLike()) {
        key.slotSize = static_cast<std::size_t>(key.length) + 1;
        key.keyAreaOffset = node::kHeaderSize + kKeyAreaGap;
        key.nodeSize = key.keyAreaOffset + kSlots * key.slotSize;
        return;
    }
    key.keyAreaOffset = node::kHeaderSize;
    switch (key.segments[0].type) {
        case FieldType::Byte:
            key.slotSize = 1;
            break;
        case FieldType::Short:
            key.slotSize = 2;
            break;
        case FieldType::Double:
            key.slotSize = 8;
            key.keyAreaOffset += kKeyAreaGap;
            break;
        default:
            key.slotSize = 4;
            break;
    }
    key.nodeSize = NumericNodeSize(key.keyAreaOffset, key.slotSize);
}

bool CSchema::Build(const TableHeader& h, std::string& error) {
    m_fields.clear();
    m_keys.clear();
    if (!BuildFields(h, error)) return false;
    if (h.keyCount < 0 || h.keyCount > kMaxKeys) return Fail(error, "key count out of range");
    for (int k = 0; k < h.keyCount; ++k) {
        if (!BuildKey(h, k, error)) return false;
    }
    return true;
}

bool CSchema::BuildFields(const TableHeader& h, std::string& error) {
    if (h.fieldCount < 0 || h.fieldCount > kMaxFields)
        return Fail(error, "field count out of range");
    int offset = 0;
    for (int i = 0; i < h.fieldCount; ++i) {
        const auto type = static_cast<FieldType>(h.fieldTypes[static_cast<std::size_t>(i)]);
        const int declared = h.fieldWidths[static_cast<std::size_t>(i)];
        if (type == FieldType::Text && (declared < kMinTextWidth || declared > kMaxTextWidth))
            return Fail(error, "text field width out of range");
        const int width = FieldWidthOf(type, declared);
        m_fields.push_back(FieldLayout{type, offset, width});
        offset += width;
    }
    m_recordLength = static_cast<std::size_t>(offset);
    if (h.recordLength != m_recordLength)
        return Fail(error, "record length is not the sum of the field widths");
    return true;
}

bool CSchema::BuildSegment(const TableHeader& h, int k, int s, bool composite, KeySegment& seg,
                           std::string& error) const {
    const auto ku = static_cast<std::size_t>(k);
    const auto su = static_cast<std::size_t>(s);
    seg.field = h.segField[ku][su];
    if (seg.field < 0 || seg.field >= FieldCount())
        return Fail(error, "key names a field that does not exist");
    const FieldLayout& f = Field(seg.field);
    seg.type = f.type;
    if (!IsKeyableType(f.type)) return Fail(error, "key on a field that can't be a key");
    seg.mode = h.segMode[ku][su];
    seg.start = h.segStart[ku][su];
    seg.length = h.segLength[ku][su];
    if (f.type == FieldType::Text || composite) {
        if (seg.start < 0 || seg.length < 1 || seg.length > kMaxKeyLength)
            return Fail(error, "key segment out of range");
    } else {
        // Stored as start 0 and the type's width whatever the definition passed.
        seg.start = 0;
        seg.length = f.width;
    }
    return true;
}

bool CSchema::BuildKey(const TableHeader& h, int k, std::string& error) {
    KeyLayout key;
    const int segCount = h.segCount[static_cast<std::size_t>(k)];
    key.kind = h.keyKinds[static_cast<std::size_t>(k)] == 1 ? KeyKind::Duplicates : KeyKind::Unique;
    key.composite = segCount >= 1;
    if (segCount == 0 || segCount < -1 || segCount > kMaxSegments)
        return Fail(error, "key segment count out of range");
    const int n = key.composite ? segCount : 1;
    for (int s = 0; s < n; ++s) {
        KeySegment seg;
        if (!BuildSegment(h, k, s, key.composite, seg, error)) return false;
        key.length += seg.length;
        key.segments.push_back(seg);
    }
    if (key.length > kMaxKeyLength) return Fail(error, "key longer than 128 bytes");
    PlaceKeySlots(key);
    m_keys.push_back(std::move(key));
    return true;
}

void CSchema::MakeKey(int k, std::span<const std::byte> record, std::span<std::byte> out) const {
    const KeyLayout& key = Key(k);
    std::fill(out.begin(), out.end(), std::byte{0});
    std::size_t at = 0;
    for (const KeySegment& seg : key.segments) {
        // A slice may run past its field; bytes past the record image read as zero.
        const std::size_t from = static_cast<std::size_t>(Field(seg.field).offset + seg.start);
        const std::size_t len = static_cast<std::size_t>(seg.length);
        if (from < record.size()) {
            const std::size_t n = std::min(len, record.size() - from);
            std::memcpy(out.data() + at, record.data() + from, n);
        }
        at += len;
    }
}

bool CSchema::MakeSearchKey(int k, const void* value, std::span<std::byte> out) const {
    const KeyLayout& key = Key(k);
    std::fill(out.begin(), out.end(), std::byte{0});
    const auto len = static_cast<std::size_t>(key.length);
    if (!key.composite && key.segments[0].type == FieldType::Text) {
        const auto* text = static_cast<const char*>(value);
        const std::size_t n = ::strnlen(text, len + 1);
        if (n > len) return false;
        std::memcpy(out.data(), text, n);
        return true;
    }
    std::memcpy(out.data(), value, key.composite ? len : key.slotSize);
    return true;
}
