// CKorvTable: Append, Update and Delete, keeping every index, chain and free list current.
#include <algorithm>
#include <cstring>

#include "db/KorvTable.h"

struct CKorvTable::SavedState {
    int currentKey;
    KeyPosition key0;
    std::vector<std::byte> current;
    std::vector<std::byte> edit;
};

namespace {

// The caller's record image, or a copy of `fallback`; a short buffer fills the front.
std::vector<std::byte> ImageFrom(const void* buffer, std::size_t length,
                                 const std::vector<std::byte>& fallback) {
    if (buffer == nullptr) return fallback;
    std::vector<std::byte> image(fallback.size(), std::byte{0});
    const std::size_t n = length == 0 ? image.size() : std::min(length, image.size());
    std::memcpy(image.data(), buffer, n);
    return image;
}

int FindAutoInc(const CSchema& schema) {
    for (int i = 0; i < schema.FieldCount(); ++i) {
        if (schema.Field(i).type == FieldType::AutoInc) return i;
    }
    return -1;
}

}  // namespace

// The AutoInc value is one above that of the last record by key 0 (1 for none). The
// look-up must not disturb the caller's position or buffers.
bool CKorvTable::AssignAutoInc(void* buffer, std::size_t length) {
    const int field = FindAutoInc(m_store.m_schema);
    if (field < 0) return true;
    const SavedState saved{m_currentKey, m_pos[0], m_current, m_edit};
    std::uint32_t value = 1;
    if (MoveLast(0)) value = DecodeU32(m_current.data() + m_store.m_schema.Field(field).offset) + 1;
    m_currentKey = saved.currentKey;
    m_pos[0] = saved.key0;
    m_current = saved.current;
    m_edit = saved.edit;
    const auto offset = static_cast<std::size_t>(m_store.m_schema.Field(field).offset);
    EncodeU32(m_edit.data() + offset, value);
    if (buffer != nullptr && (length == 0 || length >= offset + 4))
        EncodeU32(static_cast<std::byte*>(buffer) + offset, value);
    return true;
}

bool CKorvTable::Append(void* buffer, std::size_t length) {
    if (!CanWrite()) return false;
    if (!m_updating) AssignAutoInc(buffer, length);
    const CSchema& schema = m_store.m_schema;
    for (int i = 0; i < schema.FieldCount(); ++i) {
        const FieldLayout& f = schema.Field(i);
        if (f.type == FieldType::Block && !m_assigned[static_cast<std::size_t>(i)])
            std::fill_n(m_edit.begin() + f.offset, f.width, std::byte{0});
    }
    m_assigned.fill(false);
    if (schema.KeyCount() == 0) return Fail("key not found");
    if (!m_indexUsable) return Fail("index file not found!");
    std::vector<std::byte> image = ImageFrom(buffer, length, m_edit);
    return AppendImage(image);
}

bool CKorvTable::AppendCopy(const void* buffer, std::size_t length) {
    if (!CanWrite()) return false;
    const CSchema& schema = m_store.m_schema;
    for (int i = 0; i < schema.FieldCount(); ++i) {
        // A block position would name a block of the other file.
        if (schema.Field(i).type == FieldType::Block) return Fail("Block fields cannot be copied");
    }
    if (schema.KeyCount() == 0) return Fail("key not found");
    if (!m_indexUsable) return Fail("index file not found!");
    std::vector<std::byte> image = m_edit;
    std::memcpy(image.data(), buffer, std::min(length, image.size()));
    return AppendImage(image);
}

// Searches every key for the new record's values; false when a unique key already
// holds one (nothing has been written then).
bool CKorvTable::SearchAllKeys(std::span<const std::byte> image,
                               std::vector<std::vector<std::byte>>& values,
                               std::vector<SearchResult>& found) {
    const CSchema& schema = m_store.m_schema;
    const auto keys = static_cast<std::size_t>(schema.KeyCount());
    values.assign(keys, {});
    found.assign(keys, SearchResult{});
    std::string error;
    for (int k = 0; k < schema.KeyCount(); ++k) {
        const auto ku = static_cast<std::size_t>(k);
        values[ku].resize(schema.Key(k).slotSize);
        schema.MakeKey(k, image, values[ku]);
        CBTree tree(m_store.m_file, m_store.m_header, schema, k);
        if (!tree.Search(values[ku], false, found[ku], error)) return Fail(error);
        if (schema.Key(k).kind != KeyKind::Duplicates && found[ku].found &&
            found[ku].recordPos != kNoPosition)
            return FailDuplicateKey();
    }
    return true;
}

bool CKorvTable::AppendImage(std::vector<std::byte>& image) {
    std::vector<std::vector<std::byte>> values;
    std::vector<SearchResult> found;
    if (!SearchAllKeys(image, values, found)) return false;
    if (!m_store.IsFixed()) m_edit = image;
    std::int32_t record = kNoPosition;
    std::string error;
    m_headerChanged = true;  // taking a free slot already changes the header
    if (!m_store.WriteRecord(image, record, error)) return Fail(error);
    for (int k = 0; k < m_store.m_schema.KeyCount(); ++k) {
        const auto ku = static_cast<std::size_t>(k);
        CBTree tree(m_store.m_file, m_store.m_header, m_store.m_schema, k);
        SearchResult& r = found[ku];
        bool ok = true;
        if (r.found)
            ok = m_store.AddToEntry(k, r, record, error);
        else if (r.greaterThanAll)
            ok = tree.Search(values[ku], true, r, error) &&
                 tree.Insert(values[ku], record, r, error);
        else
            ok = tree.Insert(values[ku], record, r, error);
        if (!ok) return Fail(error);
    }
    ++m_store.m_header.recordCount;
    for (KeyPosition& p : m_pos) ++p.walkLimit;  // a walk may meet the new record
    m_leafCachePos = kNoPosition;
    std::fill(m_edit.begin(), m_edit.end(), std::byte{0});
    return true;
}

// For a key of kind 1 whose entry names a chain: unlinks the current record's chain
// entry (`handled` set). An entry naming a record directly is left to the caller.
bool CKorvTable::RemoveFromChain(int k, const SearchResult& r, std::int32_t record, bool& handled) {
    handled = false;
    const KeyPosition& p = m_pos[static_cast<std::size_t>(k)];
    std::int32_t entry = kNoPosition;
    std::string error;
    if (k == m_currentKey && p.entryPos != kNoPosition) {
        entry = p.entryPos;
    } else {
        DuplicateEntry head;
        bool isChain = false;
        if (!m_store.ReadChainEntry(r.recordPos, head, isChain, error)) return Fail(error);
        if (!isChain) return true;
        if (!m_store.FindInChain(r.recordPos, record, entry, error)) return Fail(error);
        if (entry == kNoPosition) return false;  // the chain does not hold the record
    }
    handled = true;
    if (!m_store.UnlinkEntry(k, r.node.pos, r.slot, r.recordPos, entry, error)) return Fail(error);
    return true;
}

// Takes the current record out of key k's index; false when the index does not hold it.
bool CKorvTable::RemoveKey(int k, std::int32_t record) {
    CSchema& schema = m_store.m_schema;
    std::vector<std::byte> value(schema.Key(k).slotSize);
    schema.MakeKey(k, m_current, value);
    CBTree tree(m_store.m_file, m_store.m_header, schema, k);
    SearchResult r;
    std::string error;
    if (!tree.Search(value, false, r, error)) return Fail(error);
    if (!r.found || r.recordPos == kNoPosition) return false;
    if (schema.Key(k).kind == KeyKind::Duplicates) {
        bool handled = false;
        if (!RemoveFromChain(k, r, record, handled)) return false;
        if (handled) return true;
    }
    // NOTE: an entry naming another record means a damaged index; leave it alone.
    if (r.recordPos != record) return Fail("index does not hold the current record");
    if (!tree.SetRecord(r.node.pos, r.slot, kNoPosition, error)) return Fail(error);
    return true;
}

bool CKorvTable::ReleaseRecord(std::int32_t record) {
    const CSchema& schema = m_store.m_schema;
    std::string error;
    for (int i = 0; i < schema.FieldCount(); ++i) {
        const FieldLayout& f = schema.Field(i);
        if (f.type != FieldType::Block) continue;
        const std::int32_t first = DecodeI32(m_current.data() + f.offset);
        const bool changed =
            std::memcmp(m_current.data() + f.offset, m_edit.data() + f.offset, 8) != 0;
        if (first > 0 && (!m_assigned[static_cast<std::size_t>(i)] || changed) &&
            !m_store.ReleaseBlockChain(first, error))
            return Fail(error);
    }
    if (!m_store.ReleaseRecordSlot(record, error)) return Fail(error);
    return true;
}

bool CKorvTable::DeleteCurrent() {
    const std::int32_t record = m_pos[static_cast<std::size_t>(m_currentKey)].record;
    if (record == kNoPosition) return false;
    m_headerChanged = true;
    for (int k = 0; k < m_store.m_schema.KeyCount(); ++k) {
        if (!RemoveKey(k, record)) return false;
    }
    --m_store.m_header.recordCount;
    m_leafCachePos = kNoPosition;
    if (!ReleaseRecord(record)) return false;
    m_pos[static_cast<std::size_t>(m_currentKey)].record = kNoPosition;
    return true;
}

bool CKorvTable::Delete() {
    if (!m_open || m_store.m_header.recordCount <= 0) return false;
    if (!CanWrite()) return false;
    if (m_currentKey < 0) return Fail("Can't locate a record  ");
    if (m_store.m_schema.KeyCount() == 0) return Fail("key not found");
    if (!m_indexUsable) return Fail("index file not found!");
    return DeleteCurrent();
}

bool CKorvTable::Update(void* buffer, std::size_t length) {
    if (!m_open || m_store.m_header.recordCount <= 0) return false;
    if (!CanWrite()) return false;
    if (m_store.m_schema.KeyCount() == 0) return Fail("key not found");
    if (m_currentKey < 0) return Fail("current key invalid");
    if (m_pos[static_cast<std::size_t>(m_currentKey)].record == kNoPosition) return false;
    if (!m_indexUsable) return Fail("index file not found!");
    std::vector<std::byte> packed;
    std::string error;
    if (!m_store.IsFixed() && !m_store.PackRecord(ImageFrom(buffer, length, m_edit), packed, error))
        return Fail(error);  // refused before anything is removed
    m_assigned.fill(true);
    m_updating = true;
    bool ok = DeleteCurrent();
    if (ok && !Append(buffer, length)) {
        // Put the old contents back under their old values; the caller learns it failed.
        const bool duplicate = m_duplicateKey;
        m_edit = m_current;
        static_cast<void>(Append());
        ok = duplicate ? FailDuplicateKey() : Fail("the key is unduplicated");
    }
    m_updating = false;
    return ok;
}

std::int32_t CKorvTable::GetLastId() {
    if (!MoveLast(0) || m_store.m_schema.FieldCount() == 0) return 0;
    const FieldLayout& f = m_store.m_schema.Field(0);
    std::byte value[4]{};
    std::memcpy(value, m_current.data() + f.offset, static_cast<std::size_t>(std::min(f.width, 4)));
    return DecodeI32(value);
}
