// CKorvTable: lifecycle (open, create, close) and the field and key definitions.
#include "db/KorvTable.h"

#include <algorithm>
#include <cstdio>

#include "db/Text.h"

CKorvTable::CKorvTable() { ResetState(); }

CKorvTable::~CKorvTable() { Close(); }

bool CKorvTable::Fail(std::string why) {
    m_lastError = std::move(why);
    m_duplicateKey = false;
    return false;
}

bool CKorvTable::FailDuplicateKey() {
    Fail("the key is unduplicated");
    m_duplicateKey = true;
    return false;
}

void CKorvTable::ResetState() {
    m_store.m_header = TableHeader{};
    m_store.m_schema = CSchema{};
    m_open = m_indexUsable = m_headerChanged = m_updating = m_readOnly = false;
    m_current.clear();
    m_edit.clear();
    m_currentKey = -1;
    m_pos.fill(KeyPosition{});
    m_leafCachePos = kNoPosition;
    m_assigned.fill(false);
}

void CKorvTable::Close() {
    if (m_open && m_headerChanged && !m_readOnly) {
        std::string error;
        if (!m_store.m_file.WriteHeader(m_store.m_header, error)) m_lastError = error;
    }
    m_store.m_file.Close();
    ResetState();
}

bool CKorvTable::Open(const std::string& path, OpenMode mode) {
    if (m_open) Close();
    ResetState();
    m_path = path;
    std::string error;
    const bool readOnly = mode == OpenMode::Read;
    if (!m_store.m_file.Open(path, readOnly, error)) return Fail("file can't be  opened!");
    if (!m_store.m_file.ReadHeader(m_store.m_header, error)) {
        m_store.m_file.Close();
        return Fail(error);
    }
    TableHeader& h = m_store.m_header;
    const std::int16_t keyCount = h.keyCount;
    if (keyCount <= 0) h.keyCount = 0;  // the fields stay readable
    const bool built = m_store.m_schema.Build(h, error);
    h.keyCount = keyCount;
    if (!built) {
        m_store.m_file.Close();
        ResetState();
        return Fail("file header damaged: " + error);
    }
    m_open = true;
    m_readOnly = readOnly;
    m_current.assign(m_store.m_schema.RecordLength(), std::byte{0});
    m_edit = m_current;
    if (keyCount <= 0) return Fail("key not found");
    m_indexUsable = true;
    return true;
}

bool CKorvTable::Create(const std::string& path, std::string_view description) {
    if (m_open) Close();
    m_path = path;
    std::string error;
    if (!m_store.m_file.Create(path, error)) return Fail("can't create file ");
    m_open = true;
    TableHeader& h = m_store.m_header;
    if (h.keyCount <= 0) return Fail("Create Index error,please CreateKey first!");
    SetSlotText(h.signature, kSignatureText);
    SetSlotText(h.description, description.substr(0, kDescriptionSize - 1));
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(h.fieldCount); ++i) {
        const auto width = FieldWidthOf(static_cast<FieldType>(h.fieldTypes[i]), h.fieldWidths[i]);
        h.fieldWidths[i] = static_cast<std::int16_t>(width);
        length += static_cast<std::uint32_t>(width);
    }
    h.recordLength = length;
    h.recordCount = 0;
    h.freeRecord = h.freeEntry = h.freeBlock = kNoPosition;
    h.recordFormat = 0;
    SetSlotText(h.version, kVersionText);
    h.root.fill(kNoPosition);
    h.firstLeaf.fill(kNoPosition);
    h.lastLeaf.fill(kNoPosition);
    if (!m_store.m_schema.Build(h, error)) return Fail(error);
    if (!m_store.m_file.WriteHeader(h, error)) return Fail(error);
    m_indexUsable = true;
    m_current.assign(length, std::byte{0});
    m_edit = m_current;
    return true;
}

bool CKorvTable::AddField(std::string_view name, FieldType type, int width) {
    if (m_open) return Fail("must do before create db");
    TableHeader& h = m_store.m_header;
    if (h.fieldCount >= kMaxFields) {
        h.fieldCount = 0;
        return Fail("Field count must less than 128  ");
    }
    name = TrimBlanks(name);
    if (name.size() > kMaxNameLength) return Fail("field name longer than 31 characters");
    for (std::size_t i = 0; i < static_cast<std::size_t>(h.fieldCount); ++i) {
        if (EqualsNoCase(SlotText(h.fieldNames[i]), name))
            return Fail("The FieldName exist already!");
    }
    const auto slot = static_cast<std::size_t>(h.fieldCount);
    SetSlotText(h.fieldNames[slot], name);
    h.fieldTypes[slot] = static_cast<std::int16_t>(type);
    if (type == FieldType::Text && (width < kMinTextWidth || width > kMaxTextWidth))
        return Fail("field length must between 1 and 1024");
    h.fieldWidths[slot] = static_cast<std::int16_t>(std::clamp(width, -1, kMaxTextWidth));
    ++h.fieldCount;
    int autoIncs = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(h.fieldCount); ++i)
        autoIncs += h.fieldTypes[i] == static_cast<std::int16_t>(FieldType::AutoInc) ? 1 : 0;
    if (autoIncs > kMaxAutoIncFields) return Fail("Too many AutoInc fields");
    if (type == FieldType::AutoInc) {
        // An AutoInc field always owns a unique key of its own name; its outcome is not ours.
        static_cast<void>(AddKey(name, KeyKind::Unique, h.fieldCount - 1, 0, 0, -1));
    }
    return true;
}

bool CKorvTable::DefineLike(const CKorvTable& source) {
    if (m_open) return Fail("must do before create db");
    if (!source.IsOpen()) return Fail("the table to copy is not open");
    const TableHeader& from = source.m_store.m_header;
    TableHeader& h = m_store.m_header;
    h = TableHeader{};
    h.fieldNames = from.fieldNames;
    h.fieldTypes = from.fieldTypes;
    h.fieldWidths = from.fieldWidths;
    h.fieldCount = from.fieldCount;
    h.keyNames = from.keyNames;
    h.keyKinds = from.keyKinds;
    h.segField = from.segField;
    h.segMode = from.segMode;
    h.segStart = from.segStart;
    h.segLength = from.segLength;
    h.segCount = from.segCount;
    h.keyCount = from.keyCount;
    return true;
}

void CKorvTable::InitTextKey(std::size_t k, int width, int compareMode, int start, int length) {
    TableHeader& h = m_store.m_header;
    h.segStart[k][0] = static_cast<std::int16_t>(start >= 0 && start < width ? start : 0);
    h.segLength[k][0] = static_cast<std::int16_t>(
        length >= 1 && length <= kMaxKeyLength ? length : std::min(width, kMaxKeyLength));
    h.segMode[k][0] = static_cast<std::int16_t>(
        compareMode == kCompareBytes || compareMode == kCompareNoCase ? compareMode
                                                                      : kCompareBytes);
}

bool CKorvTable::AddKey(std::string_view name, KeyKind kind, int fieldNumber, int compareMode,
                        int start, int length) {
    if (m_open) return Fail("must do before create db");
    TableHeader& h = m_store.m_header;
    if (h.fieldCount <= 0) return Fail("must create field first");
    if (fieldNumber >= h.fieldCount || fieldNumber < 0)
        return Fail("FieldNo must less than " + std::to_string(h.fieldCount));
    if (h.keyCount >= kMaxKeys) return Fail("key count must less than 10  ");
    name = TrimBlanks(name);
    if (name.size() > kMaxNameLength) return Fail("key name longer than 31 characters");
    for (std::size_t i = 0; i < static_cast<std::size_t>(h.keyCount); ++i) {
        if (EqualsNoCase(SlotText(h.keyNames[i]), name)) return Fail("The KeyName exist already!");
    }
    const auto k = static_cast<std::size_t>(h.keyCount);
    const auto f = static_cast<std::size_t>(fieldNumber);
    SetSlotText(h.keyNames[k], name);
    h.keyKinds[k] = static_cast<std::int16_t>(kind);
    const auto type = static_cast<FieldType>(h.fieldTypes[f]);
    if (!IsKeyableType(type)) return Fail("This field can't be key!");
    h.segField[k][0] = static_cast<std::int16_t>(fieldNumber);
    if (type == FieldType::Text) {
        InitTextKey(k, h.fieldWidths[f], compareMode, start, length);
    } else {
        h.segStart[k][0] = 0;
        h.segLength[k][0] = static_cast<std::int16_t>(FieldWidthOf(type, 0));
        h.segMode[k][0] = 0;
    }
    h.segCount[k] = -1;
    ++h.keyCount;
    return true;
}

int CKorvTable::FindKey(std::string_view name) const {
    name = TrimBlanks(name);
    for (int k = 0; k < m_store.m_schema.KeyCount(); ++k) {
        if (EqualsNoCase(SlotText(m_store.m_header.keyNames[static_cast<std::size_t>(k)]), name))
            return k;
    }
    return -1;
}

std::int32_t CKorvTable::CurrentPosition(int k) const {
    return ValidKey(k) ? m_pos[static_cast<std::size_t>(k)].record : kNoPosition;
}

bool CKorvTable::CanWrite() {
    if (!m_open) return false;
    if (m_readOnly) return Fail("table is open for reading only");
    return true;
}
