// Field type codes, key kinds and open modes of record tables, as stored in the file.
#pragma once
#include <cstdint>

enum class FieldType : std::int16_t {
    Short = 1,
    Long = 2,
    Float = 3,
    Double = 4,
    Text = 5,
    Byte = 6,
    Block = 7,
    AutoInc = 8,
};

enum class KeyKind : std::int16_t { Duplicates = 1, Unique = 2 };

// Compare modes of Text key segments.
inline constexpr int kCompareBytes = 1;
inline constexpr int kCompareNoCase = 2;

// Record format word at header offset 15380: this value selects fixed records, any other
// value packed records.
inline constexpr std::int16_t kFixedRecordFormat = -1;

// The width a field of `type` occupies in a record; Text uses its declared width and
// unknown codes occupy nothing.
int FieldWidthOf(FieldType type, int declaredWidth);
bool IsKeyableType(FieldType type);
