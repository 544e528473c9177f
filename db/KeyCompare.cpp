// Ordering of key values: by type, Text by compare mode, composite keys segment by segment.
#include <cctype>

#include "db/Schema.h"

namespace {

template <typename T>
int Order(T a, T b) {
    if (a < b) return -1;
    if (b < a) return 1;
    return 0;  // also when either is NaN
}

// Text compared up to the first NUL (or `limit` bytes); mode 2 folds ASCII letters to
// lower case first, as strncasecmp does.
int CompareText(const std::byte* a, const std::byte* b, std::size_t limit, bool noCase) {
    for (std::size_t i = 0; i < limit; ++i) {
        unsigned ca = std::to_integer<unsigned>(a[i]);
        unsigned cb = std::to_integer<unsigned>(b[i]);
        if (noCase) {
            if (ca >= 'A' && ca <= 'Z') ca += 'a' - 'A';
            if (cb >= 'A' && cb <= 'Z') cb += 'a' - 'A';
        }
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
    return 0;
}

int CompareNumber(FieldType type, const std::byte* a, const std::byte* b) {
    switch (type) {
        case FieldType::Byte:
            return Order(std::to_integer<unsigned>(a[0]), std::to_integer<unsigned>(b[0]));
        case FieldType::Short:
            return Order(DecodeI16(a), DecodeI16(b));
        case FieldType::Long:
        case FieldType::AutoInc:
            return Order(DecodeI32(a), DecodeI32(b));
        case FieldType::Float:
            return Order(DecodeF32(a), DecodeF32(b));
        case FieldType::Double:
            return Order(DecodeF64(a), DecodeF64(b));
        default:
            return 0;
    }
}

int CompareSegment(const KeySegment& seg, const std::byte* a, const std::byte* b) {
    const auto len = static_cast<std::size_t>(seg.length);
    if (seg.type == FieldType::Text) return CompareText(a, b, len, seg.mode != kCompareBytes);
    if (static_cast<int>(len) == FieldWidthOf(seg.type, 0)) return CompareNumber(seg.type, a, b);
    return CompareText(a, b, len, false);  // a numeric slice of odd length: plain bytes
}

}  // namespace

int CSchema::Compare(int k, const std::byte* sought, const std::byte* stored) const {
    const KeyLayout& key = Key(k);
    if (key.composite) {
        std::size_t at = 0;
        for (const KeySegment& seg : key.segments) {
            const int c = CompareSegment(seg, sought + at, stored + at);
            if (c != 0) return c;
            at += static_cast<std::size_t>(seg.length);
        }
        return 0;
    }
    const KeySegment& seg = key.segments[0];
    if (seg.type != FieldType::Text) return CompareNumber(seg.type, sought, stored);
    if (seg.mode != kCompareBytes && seg.mode != kCompareNoCase)
        return -1;  // orders before every key
    return CompareText(sought, stored, key.slotSize, seg.mode == kCompareNoCase);
}
