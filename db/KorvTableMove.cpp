// CKorvTable: finding records by key and walking them in key order.
#include <algorithm>
#include <cstring>

#include "db/KorvTable.h"

bool CKorvTable::ReadyForMove(int k) const {
    return m_open && m_indexUsable && m_store.m_header.recordCount > 0 && ValidKey(k);
}

bool CKorvTable::ReadLeafHeader(std::int32_t pos, NodeHeader& h) {
    std::string error;
    if (!m_store.m_file.ReadNodeHeader(pos, h, error)) return Fail(error);
    if (h.count < 1 || h.count > kMaxNodeEntries) return Fail("index node damaged");
    return true;
}

// MoveNext reads only the node part of leaves and keeps the last one.
bool CKorvTable::ReadLeafIntoCache(std::int32_t pos, NodeHeader& h) {
    if (!ReadLeafHeader(pos, h)) return false;
    m_leafCache = h;
    m_leafCachePos = pos;
    return true;
}

// Reads record `record` into the current-record buffer, the edit buffer (not during an
// Update) and the caller's buffer.
bool CKorvTable::LoadCurrent(std::int32_t record, void* buffer, std::size_t length) {
    std::vector<std::byte> image(m_store.m_schema.RecordLength());
    std::string error;
    if (!m_store.ReadRecord(record, image, error)) return Fail(error);
    m_current = image;
    if (!m_updating) m_edit = image;
    if (buffer != nullptr) {
        const std::size_t n = length == 0 ? image.size() : std::min(length, image.size());
        std::memcpy(buffer, image.data(), n);
    }
    return true;
}

// Makes leaf entry (nodePos, slot) naming `leafRecord` current for key k: for a chain
// of a kind-1 key its first (or with `last` its last) entry. Reads the record; on
// failure the previous position stays.
bool CKorvTable::EnterEntry(int k, std::int32_t nodePos, int slot, std::int32_t leafRecord,
                            bool last) {
    KeyPosition& p = m_pos[static_cast<std::size_t>(k)];
    KeyPosition next = p;
    next.node = nodePos;
    next.slot = slot;
    next.record = leafRecord;
    next.entryPos = kNoPosition;
    next.entry = DuplicateEntry{};
    if (m_store.m_schema.Key(k).kind == KeyKind::Duplicates) {
        DuplicateEntry e;
        bool isEntry = false;
        std::string error;
        if (!m_store.ReadChainEntry(leafRecord, e, isEntry, error)) return Fail(error);
        if (isEntry) {
            next.entryPos = leafRecord;
            if (last && e.last != kNoPosition && e.last != leafRecord) {
                next.entryPos = e.last;
                if (!m_store.ReadChainEntry(e.last, e, isEntry, error)) return Fail(error);
                if (!isEntry) return Fail("duplicate chain damaged");
            }
            next.entry = e;
            next.record = e.record;
        }
    }
    p = next;  // Position restores the old one when the record cannot be read
    return true;
}

bool CKorvTable::Seek(int keyNumber, const void* keyValue, void* buffer, std::size_t length) {
    if (!m_open || !ValidKey(keyNumber) || m_store.m_header.recordCount <= 0 || keyValue == nullptr)
        return false;
    if (!m_indexUsable) return Fail("index file not found!");
    const KeyLayout& key = m_store.m_schema.Key(keyNumber);
    std::vector<std::byte> value(key.slotSize);
    if (!m_store.m_schema.MakeSearchKey(keyNumber, keyValue, value)) return false;
    CBTree tree(m_store.m_file, m_store.m_header, m_store.m_schema, keyNumber);
    SearchResult r;
    std::string error;
    if (!tree.Search(value, false, r, error)) return Fail(error);
    if (!r.found || r.recordPos == kNoPosition) return false;
    if (!Position(keyNumber, r.node.pos, r.slot, r.recordPos, false, buffer, length)) return false;
    StartWalk(keyNumber);
    return true;
}

bool CKorvTable::SeekByName(std::string_view keyName, const void* keyValue, void* buffer,
                            std::size_t length) {
    const int k = FindKey(keyName);
    if (k < 0) return false;
    return Seek(k, keyValue, buffer, length);
}

bool CKorvTable::Position(int k, std::int32_t nodePos, int slot, std::int32_t leafRecord, bool last,
                          void* buffer, std::size_t length) {
    KeyPosition& p = m_pos[static_cast<std::size_t>(k)];
    const KeyPosition saved = p;
    if (!EnterEntry(k, nodePos, slot, leafRecord, last) || !LoadCurrent(p.record, buffer, length)) {
        p = saved;
        return false;
    }
    m_currentKey = k;
    return true;
}

bool CKorvTable::MoveFirst(int keyNumber, void* buffer, std::size_t length) {
    if (!ReadyForMove(keyNumber)) return false;
    const auto k = static_cast<std::size_t>(keyNumber);
    const std::uint64_t maxHops =
        m_store.m_file.Size() / m_store.m_schema.Key(keyNumber).nodeSize + 1;
    std::int32_t pos = m_store.m_header.firstLeaf[k];
    for (std::uint64_t hops = 0; pos != kNoPosition && hops <= maxHops; ++hops) {
        NodeHeader h;
        if (!ReadLeafHeader(pos, h)) return false;
        for (int s = 0; s < h.count; ++s) {
            const std::int32_t rec = h.record[static_cast<std::size_t>(s)];
            if (rec == kNoPosition) continue;
            if (!Position(keyNumber, pos, s, rec, false, buffer, length)) return false;
            StartWalk(keyNumber);
            return true;
        }
        pos = h.next;
    }
    return false;
}

bool CKorvTable::MoveLast(int keyNumber, void* buffer, std::size_t length) {
    if (!ReadyForMove(keyNumber)) return false;
    const auto k = static_cast<std::size_t>(keyNumber);
    const std::uint64_t maxHops =
        m_store.m_file.Size() / m_store.m_schema.Key(keyNumber).nodeSize + 1;
    std::int32_t pos = m_store.m_header.lastLeaf[k];
    for (std::uint64_t hops = 0; pos != kNoPosition && hops <= maxHops; ++hops) {
        NodeHeader h;
        if (!ReadLeafHeader(pos, h)) return false;
        for (int s = h.count - 1; s >= 0; --s) {
            const std::int32_t rec = h.record[static_cast<std::size_t>(s)];
            if (rec == kNoPosition) continue;
            if (!Position(keyNumber, pos, s, rec, true, buffer, length)) return false;
            StartWalk(keyNumber);
            return true;
        }
        pos = h.prev;
    }
    return false;
}

void CKorvTable::StartWalk(int k) {
    KeyPosition& p = m_pos[static_cast<std::size_t>(k)];
    p.nodeHops = 0;
    p.yielded = 1;
    p.walkLimit = static_cast<std::uint64_t>(std::max(m_store.m_header.recordCount, 0));
}

bool CKorvTable::CountStep(int k) {
    KeyPosition& p = m_pos[static_cast<std::size_t>(k)];
    if (++p.yielded > p.walkLimit) return Fail("index walk does not end");
    return true;
}

bool CKorvTable::StepInChain(int k, void* buffer, std::size_t length) {
    KeyPosition& p = m_pos[static_cast<std::size_t>(k)];
    if (!CountStep(k)) return false;
    DuplicateEntry e;
    bool isEntry = false;
    std::string error;
    if (!m_store.ReadChainEntry(p.entry.next, e, isEntry, error)) return Fail(error);
    if (!isEntry) return Fail("duplicate chain damaged");
    if (!LoadCurrent(e.record, buffer, length)) return false;
    p.entryPos = p.entry.next;
    p.entry = e;
    p.record = e.record;
    m_currentKey = k;
    return true;
}

bool CKorvTable::MoveNext(int keyNumber, void* buffer, std::size_t length) {
    if (!ReadyForMove(keyNumber)) return false;
    const auto k = static_cast<std::size_t>(keyNumber);
    KeyPosition& p = m_pos[k];
    if (p.node == kNoPosition) return false;
    if (m_store.m_schema.Key(keyNumber).kind == KeyKind::Duplicates && p.entryPos != kNoPosition &&
        p.entry.next != kNoPosition)
        return StepInChain(keyNumber, buffer, length);
    NodeHeader h;
    if (m_leafCachePos == p.node && m_currentKey == keyNumber)
        h = m_leafCache;
    else if (!ReadLeafIntoCache(p.node, h))
        return false;
    const std::uint64_t maxHops =
        m_store.m_file.Size() / m_store.m_schema.Key(keyNumber).nodeSize + 1;
    std::int32_t pos = p.node;
    for (int s = p.slot + 1;; ++s) {
        if (s >= h.count) {
            if (h.next == kNoPosition) return false;
            if (++p.nodeHops > maxHops) return Fail("index level does not end");
            pos = h.next;
            if (!ReadLeafIntoCache(pos, h)) return false;
            s = -1;
            continue;
        }
        const std::int32_t rec = h.record[static_cast<std::size_t>(s)];
        if (rec != kNoPosition)
            return CountStep(keyNumber) && Position(keyNumber, pos, s, rec, false, buffer, length);
    }
}
