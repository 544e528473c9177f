// The layout a table header implies: field offsets in the record image, and per key its
// segments, key length, node size and ordering. Built once per open or create; every
// value read from a header is checked here before the engine relies on it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "db/FieldType.h"
#include "db/Format.h"

struct FieldLayout {
    FieldType type = FieldType::Long;
    int offset = 0;  // inside the record image
    int width = 0;
};

struct KeySegment {
    int field = 0;
    FieldType type = FieldType::Long;
    int mode = 0;
    int start = 0;   // inside the field
    int length = 0;  // bytes
};

struct KeyLayout {
    KeyKind kind = KeyKind::Unique;
    bool composite = false;
    std::vector<KeySegment> segments;  // one for a single-field key
    int length = 0;                    // L: bytes of the key value without terminator
    std::size_t slotSize = 0;          // bytes per key slot in a node
    std::size_t keyAreaOffset = 0;     // offset of slot 0 inside a node
    std::size_t nodeSize = 0;

    // Single-field Text keys and composite keys carry a NUL-terminated slot of L+1 bytes.
    bool IsTextLike() const { return composite || segments[0].type == FieldType::Text; }
    std::size_t KeyOffset(int slot) const {
        return keyAreaOffset + static_cast<std::size_t>(slot) * slotSize;
    }
};

class CSchema {
public:
    // Derives the layout from `h`. False (with `error` set) when the header describes
    // something the format does not allow: counts out of range, a record length that is
    // not the sum of the field widths, a key on an unusable field or longer than 128 bytes.
    [[nodiscard]] bool Build(const TableHeader& h, std::string& error);

    int FieldCount() const { return static_cast<int>(m_fields.size()); }
    int KeyCount() const { return static_cast<int>(m_keys.size()); }
    std::size_t RecordLength() const { return m_recordLength; }
    const FieldLayout& Field(int i) const { return m_fields[static_cast<std::size_t>(i)]; }
    const KeyLayout& Key(int k) const { return m_keys[static_cast<std::size_t>(k)]; }

    // The key value of key `k` in a record image, written into `out` (slotSize bytes).
    void MakeKey(int k, std::span<const std::byte> record, std::span<std::byte> out) const;
    // The key value of key `k` from a caller's search value (binary form, Text as a
    // NUL-terminated text). False when a Text value is longer than the key.
    bool MakeSearchKey(int k, const void* value, std::span<std::byte> out) const;
    // <0, 0, >0 as `sought` orders before, equal to, after `stored` (both slotSize bytes).
    int Compare(int k, const std::byte* sought, const std::byte* stored) const;

private:
    bool BuildFields(const TableHeader& h, std::string& error);
    bool BuildKey(const TableHeader& h, int k, std::string& error);
    bool BuildSegment(const TableHeader& h, int k, int s, bool composite, KeySegment& seg,
                      std::string& error) const;

    std::vector<FieldLayout> m_fields;
    std::vector<KeyLayout> m_keys;
    std::size_t m_recordLength = 0;
};

// Node size and key slot placement for a single-field key of `type` or a Text/composite
// key of `length` bytes.
void PlaceKeySlots(KeyLayout& key);
