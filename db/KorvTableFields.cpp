// CKorvTable: reading and writing single fields of the current record and edit buffer.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "db/KorvTable.h"
#include "db/Text.h"

namespace {

std::string Format(const char* pattern, double value) {
    char buf[400];  // "%.14f" of the largest double needs 324 characters
    std::snprintf(buf, sizeof buf, pattern, value);
    return buf;
}

}  // namespace

int CKorvTable::FindField(std::string_view fieldName) const {
    // While a table is being defined only the header knows the fields.
    const int count = std::clamp<int>(m_store.m_header.fieldCount, 0, kMaxFields);
    for (int i = 0; i < count; ++i) {
        const std::string_view name =
            SlotText(m_store.m_header.fieldNames[static_cast<std::size_t>(i)]);
        // Without copies: a whole record is read field by field, by name.
        if (EqualsNoCase(TrimBlanks(name), fieldName)) return i;
    }
    return -1;
}

int CKorvTable::GetFieldType(int fieldNumber) const {
    if (fieldNumber < 0 || fieldNumber >= m_store.m_schema.FieldCount()) return -1;
    return static_cast<int>(m_store.m_schema.Field(fieldNumber).type);
}

std::string CKorvTable::GetFieldName(int fieldNumber) const {
    if (fieldNumber < 0 || fieldNumber >= m_store.m_schema.FieldCount()) return {};
    return std::string(
        SlotText(m_store.m_header.fieldNames[static_cast<std::size_t>(fieldNumber)]));
}

bool CKorvTable::GetFieldValue(int fieldNumber, void* destination, std::size_t size) {
    if (!m_open || fieldNumber < 0 || fieldNumber >= m_store.m_schema.FieldCount()) return false;
    if (m_currentKey < 0 || m_pos[static_cast<std::size_t>(m_currentKey)].record == kNoPosition)
        return false;
    const FieldLayout& f = m_store.m_schema.Field(fieldNumber);
    if (f.type == FieldType::Block) return Fail("field invalidation");
    // SECURITY: the width comes from the file; never copy more than the caller has room for.
    if (static_cast<std::size_t>(f.width) > size) return Fail("field wider than the destination");
    std::memcpy(destination, m_current.data() + f.offset, static_cast<std::size_t>(f.width));
    return true;
}

bool CKorvTable::GetFieldValue(std::string_view fieldName, void* destination, std::size_t size) {
    return GetFieldValue(FindField(fieldName), destination, size);
}

bool CKorvTable::SetFieldValue(int fieldNumber, const void* value, std::size_t size) {
    if (!m_open || fieldNumber < 0 || fieldNumber >= m_store.m_schema.FieldCount()) return false;
    const FieldLayout& f = m_store.m_schema.Field(fieldNumber);
    if (f.type == FieldType::AutoInc || f.type == FieldType::Block)
        return Fail("field invalidation");
    std::byte* field = m_edit.data() + f.offset;
    const auto width = static_cast<std::size_t>(f.width);
    if (f.type == FieldType::Text) {
        const std::size_t n = ::strnlen(static_cast<const char*>(value), std::min(width, size));
        std::fill_n(field, width, std::byte{0});
        std::memcpy(field, value, n);
        return true;
    }
    if (size < width) return Fail("value narrower than the field");
    std::memcpy(field, value, width);
    return true;
}

bool CKorvTable::SetFieldValue(std::string_view fieldName, const void* value, std::size_t size) {
    return SetFieldValue(FindField(fieldName), value, size);
}

std::string CKorvTable::GetFieldText(int fieldNumber) const {
    if (!m_open || fieldNumber < 0 || fieldNumber >= m_store.m_schema.FieldCount()) return {};
    if (m_currentKey < 0 || m_pos[static_cast<std::size_t>(m_currentKey)].record == kNoPosition)
        return {};
    const FieldLayout& f = m_store.m_schema.Field(fieldNumber);
    const std::byte* p = m_current.data() + f.offset;
    switch (f.type) {
        case FieldType::Short:
            return std::to_string(DecodeI16(p));
        case FieldType::Long:
        case FieldType::AutoInc:
            return std::to_string(DecodeI32(p));
        case FieldType::Byte:
            return std::to_string(std::to_integer<unsigned>(p[0]));
        case FieldType::Float:
            return Format("%.6f", static_cast<double>(DecodeF32(p)));
        case FieldType::Double:
            return Format("%.14f", DecodeF64(p));
        case FieldType::Text:
            return std::string(SlotText(std::span<const char>(reinterpret_cast<const char*>(p),
                                                              static_cast<std::size_t>(f.width))));
        case FieldType::Block:
            break;
    }
    return {};
}

std::string CKorvTable::GetFieldText(std::string_view fieldName) const {
    return GetFieldText(FindField(fieldName));
}

bool CKorvTable::SetFieldText(int fieldNumber, std::string_view text) {
    if (!m_open || fieldNumber < 0 || fieldNumber >= m_store.m_schema.FieldCount()) return false;
    const FieldLayout& f = m_store.m_schema.Field(fieldNumber);
    std::byte* field = m_edit.data() + f.offset;
    const std::int64_t integer = LeadingInteger(text);
    switch (f.type) {
        case FieldType::Short:
            EncodeI16(field, static_cast<std::int16_t>(integer));
            return true;
        case FieldType::Long:
            EncodeI32(field, static_cast<std::int32_t>(integer));
            return true;
        case FieldType::Byte:
            field[0] = std::byte{integer != 0 ? std::uint8_t{1} : std::uint8_t{0}};
            return true;
        case FieldType::Float: {
            EncodeU32(field, std::bit_cast<std::uint32_t>(static_cast<float>(LeadingNumber(text))));
            return true;
        }
        case FieldType::Double: {
            const auto bits = std::bit_cast<std::uint64_t>(LeadingNumber(text));
            EncodeU32(field, static_cast<std::uint32_t>(bits));
            EncodeU32(field + 4, static_cast<std::uint32_t>(bits >> 32));
            return true;
        }
        case FieldType::Text: {
            const std::string copy(text.substr(0, static_cast<std::size_t>(f.width)));
            return SetFieldValue(fieldNumber, copy.c_str(), copy.size() + 1);
        }
        case FieldType::AutoInc:
        case FieldType::Block:
            return false;
    }
    return false;
}

bool CKorvTable::SetFieldText(std::string_view fieldName, std::string_view text) {
    return SetFieldText(FindField(fieldName), text);
}
