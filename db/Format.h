// The on-disk layout of a table file (".sdb") and its encode/decode functions.
// db/FORMAT.md describes the same layout in prose. All integers are little-endian;
// a "position" is a signed 32-bit byte offset from the start of the file, -1 = none.
//
// Header, 15472 bytes at offset 0:
//   OFFSET  SIZE  DESCRIPTION
//        0    32  signature "Korv,Signature_Talmar", NUL, rest zero (never checked)
//       32     4  record length: sum of all field widths (u32)
//       36     4  number of live records (i32)
//       40  4096  field names, char[128][32]
//     4136   256  field type codes, i16[128] (FieldType)
//     4392   256  field widths, i16[128]
//     4648     2  field count, 0-128 (i16)
//     4650   320  key names, char[10][32]
//     4970    20  key kind, i16[10]: 1 duplicates allowed, 2 unique
//     4990  2560  segment field number, i16[10][128]
//     7550  2560  segment compare mode (Text only): 1 byte order, 2 case-insensitive
//    10110  2560  segment start inside its field
//    12670  2560  segment length in bytes
//    15230    20  segment count, i16[10]: -1 single-field key (segment 0), n>=1 composite
//    15250     2  key count, 0-10 (i16)
//    15252    40  root node position per key (i32[10], -1 empty)
//    15292    40  first leaf position per key
//    15332    40  last leaf position per key
//    15372     4  head of the free record list (-1 empty)
//    15376     4  head of the free duplicate-entry list
//    15380     2  record format: -1 fixed, anything else packed (create writes 0)
//    15382    60  description text
//    15442    10  format version text "2.60"
//    15452     4  head of the free block list
//    15456    16  reserved, zero
//
// Index node (one B+-tree per key), header part of 1628 bytes then the key area:
//   OFFSET  SIZE  DESCRIPTION
//        0     4  entry count, 1-200
//        4   804  child position per entry, i32[201]; -1 in a leaf
//      808   804  record position per entry (leaf: record, chain head, or -1 tombstone)
//     1612     4  parent node position (-1 root)
//     1616     4  own position
//     1620     4  previous node on the level (-1 first)
//     1624     4  next node on the level (-1 last)
//     1628     -  keys: Byte u8[201] (node 1832), Short i16[201] (2032), Long/AutoInc/Float
//                 4-byte[201] (2432); Double f64[201] at 1632 (3240); Text and composite
//                 201 slots of L+1 bytes at 1632 (node 1632 + 201*(L+1))
//
// Duplicate entry (chains of keys of kind 1), 24 bytes:
//   OFFSET  SIZE  DESCRIPTION
//        0     8  tag "fDUPKEY" NUL
//        8     4  record position
//       12     4  next entry (-1 last)
//       16     4  previous entry (-1 head)
//       20     4  head: last entry of the chain; others: own position
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "db/Limits.h"

// ---- fixed-width little-endian helpers ----
inline std::uint16_t DecodeU16(const std::byte* p) {
    return static_cast<std::uint16_t>(std::to_integer<unsigned>(p[0]) |
                                      (std::to_integer<unsigned>(p[1]) << 8));
}
inline std::int16_t DecodeI16(const std::byte* p) {
    return static_cast<std::int16_t>(DecodeU16(p));
}
inline std::uint32_t DecodeU32(const std::byte* p) {
    return std::to_integer<std::uint32_t>(p[0]) | (std::to_integer<std::uint32_t>(p[1]) << 8) |
           (std::to_integer<std::uint32_t>(p[2]) << 16) |
           (std::to_integer<std::uint32_t>(p[3]) << 24);
}
inline std::int32_t DecodeI32(const std::byte* p) {
    return static_cast<std::int32_t>(DecodeU32(p));
}
inline void EncodeU16(std::byte* p, std::uint16_t v) {
    p[0] = static_cast<std::byte>(v & 0xff);
    p[1] = static_cast<std::byte>(v >> 8);
}
inline void EncodeI16(std::byte* p, std::int16_t v) { EncodeU16(p, static_cast<std::uint16_t>(v)); }
inline void EncodeU32(std::byte* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::byte>((v >> (8 * i)) & 0xff);
}
inline void EncodeI32(std::byte* p, std::int32_t v) { EncodeU32(p, static_cast<std::uint32_t>(v)); }
inline float DecodeF32(const std::byte* p) {
    const std::uint32_t bits = DecodeU32(p);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}
inline double DecodeF64(const std::byte* p) {
    const std::uint64_t bits = DecodeU32(p) | (static_cast<std::uint64_t>(DecodeU32(p + 4)) << 32);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

inline constexpr std::int32_t kNoPosition = -1;

// ---- header ----
namespace header {
inline constexpr std::size_t kSignature = 0;
inline constexpr std::size_t kRecordLength = 32;
inline constexpr std::size_t kRecordCount = 36;
inline constexpr std::size_t kFieldNames = 40;
inline constexpr std::size_t kFieldTypes = 4136;
inline constexpr std::size_t kFieldWidths = 4392;
inline constexpr std::size_t kFieldCount = 4648;
inline constexpr std::size_t kKeyNames = 4650;
inline constexpr std::size_t kKeyKinds = 4970;
inline constexpr std::size_t kSegField = 4990;
inline constexpr std::size_t kSegMode = 7550;
inline constexpr std::size_t kSegStart = 10110;
inline constexpr std::size_t kSegLength = 12670;
inline constexpr std::size_t kSegCount = 15230;
inline constexpr std::size_t kKeyCount = 15250;
inline constexpr std::size_t kRoot = 15252;
inline constexpr std::size_t kFirstLeaf = 15292;
inline constexpr std::size_t kLastLeaf = 15332;
inline constexpr std::size_t kFreeRecord = 15372;
inline constexpr std::size_t kFreeEntry = 15376;
inline constexpr std::size_t kRecordFormat = 15380;
inline constexpr std::size_t kDescription = 15382;
inline constexpr std::size_t kVersion = 15442;
inline constexpr std::size_t kFreeBlock = 15452;
inline constexpr std::size_t kReserved = 15456;
inline constexpr std::size_t kSize = 15472;
}  // namespace header

inline constexpr char kSignatureText[] = "Korv,Signature_Talmar";
inline constexpr char kVersionText[] = "2.60";

using NameSlot = std::array<char, kNameSlotSize>;

// The header as numbers. Every byte of the 15472 is kept (names and texts as raw slots),
// so Decode followed by Encode reproduces the file's header exactly.
struct TableHeader {
    static constexpr std::size_t kEncodedSize = header::kSize;

    std::array<char, 32> signature{};
    std::uint32_t recordLength = 0;
    std::int32_t recordCount = 0;
    std::array<NameSlot, kMaxFields> fieldNames{};
    std::array<std::int16_t, kMaxFields> fieldTypes{};
    std::array<std::int16_t, kMaxFields> fieldWidths{};
    std::int16_t fieldCount = 0;
    std::array<NameSlot, kMaxKeys> keyNames{};
    std::array<std::int16_t, kMaxKeys> keyKinds{};
    std::array<std::array<std::int16_t, kMaxSegments>, kMaxKeys> segField{};
    std::array<std::array<std::int16_t, kMaxSegments>, kMaxKeys> segMode{};
    std::array<std::array<std::int16_t, kMaxSegments>, kMaxKeys> segStart{};
    std::array<std::array<std::int16_t, kMaxSegments>, kMaxKeys> segLength{};
    std::array<std::int16_t, kMaxKeys> segCount{};
    std::int16_t keyCount = 0;
    std::array<std::int32_t, kMaxKeys> root{};
    std::array<std::int32_t, kMaxKeys> firstLeaf{};
    std::array<std::int32_t, kMaxKeys> lastLeaf{};
    std::int32_t freeRecord = kNoPosition;
    std::int32_t freeEntry = kNoPosition;
    std::int16_t recordFormat = 0;
    std::array<char, kDescriptionSize> description{};
    std::array<char, 10> version{};
    std::int32_t freeBlock = kNoPosition;
    std::array<std::byte, 16> reserved{};

    void Encode(std::span<std::byte, kEncodedSize> out) const;
    void Decode(std::span<const std::byte, kEncodedSize> in);
};

// The file position of the field at `offset` in the structure at `pos`.
inline constexpr std::int64_t FieldAt(std::int64_t pos, std::size_t offset) {
    return pos + static_cast<std::int64_t>(offset);
}

// ---- index node ----
namespace node {
inline constexpr std::size_t kCount = 0;
inline constexpr std::size_t kChild = 4;
inline constexpr std::size_t kRecord = 808;
inline constexpr std::size_t kParent = 1612;
inline constexpr std::size_t kSelf = 1616;
inline constexpr std::size_t kPrev = 1620;
inline constexpr std::size_t kNext = 1624;
inline constexpr std::size_t kHeaderSize = 1628;  // the part without keys
}  // namespace node

// The 1628-byte part of a node without its keys.
struct NodeHeader {
    static constexpr std::size_t kEncodedSize = node::kHeaderSize;

    std::int32_t count = 0;
    std::array<std::int32_t, kNodeSlots> child{};
    std::array<std::int32_t, kNodeSlots> record{};
    std::int32_t parent = kNoPosition;
    std::int32_t self = kNoPosition;
    std::int32_t prev = kNoPosition;
    std::int32_t next = kNoPosition;

    void Encode(std::span<std::byte, kEncodedSize> out) const;
    void Decode(std::span<const std::byte, kEncodedSize> in);
};

// ---- duplicate entry ----
namespace dupentry {
inline constexpr std::size_t kTag = 0;
inline constexpr std::size_t kRecord = 8;
inline constexpr std::size_t kNext = 12;
inline constexpr std::size_t kPrev = 16;
inline constexpr std::size_t kLast = 20;
inline constexpr std::size_t kTagCompareSize = 7;  // "fDUPKEY" without its NUL
}  // namespace dupentry
inline constexpr char kDuplicateTag[8] = "fDUPKEY";

struct DuplicateEntry {
    static constexpr std::size_t kEncodedSize = 24;

    std::int32_t record = kNoPosition;
    std::int32_t next = kNoPosition;
    std::int32_t prev = kNoPosition;
    std::int32_t last = kNoPosition;  // head: last entry; others: own position

    void Encode(std::span<std::byte, kEncodedSize> out) const;
    // False when the bytes do not begin with the tag.
    [[nodiscard]] bool Decode(std::span<const std::byte, kEncodedSize> in);
};

// ---- free lists and blocks ----
inline constexpr std::size_t kFreeSlotNext = 2;  // packed slot: next free slot at bytes 2-5
inline constexpr std::size_t kMinPackedFreeSlot = 6;
inline constexpr std::size_t kBlockHeaderSize = 8;  // first i32: next block (<= 0 last)
