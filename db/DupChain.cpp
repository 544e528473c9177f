// Duplicate chains of keys of kind 1: adding a record to a leaf entry and unlinking.
#include "db/TableStore.h"

namespace {

bool Fail(std::string& error, std::string why) {
    error = std::move(why);
    return false;
}

}  // namespace

bool CTableStore::AddToEntry(int k, const SearchResult& r, std::int32_t record,
                             std::string& error) {
    CBTree tree(m_file, m_header, m_schema, k);
    const std::int32_t existing = r.recordPos;
    if (existing == kNoPosition)
        return tree.SetRecord(r.node.pos, r.slot, record, error);  // tombstone reused
    DuplicateEntry head;
    bool isChain = false;
    if (!ReadChainEntry(existing, head, isChain, error)) return false;
    if (!isChain) {
        // Two records now share the value: head (the old record) first, then the new one.
        std::int32_t headPos = kNoPosition;
        std::int32_t secondPos = kNoPosition;
        if (!AllocateEntry(headPos, error) || !AllocateEntry(secondPos, error)) return false;
        if (!m_file.WriteEntry(headPos, DuplicateEntry{existing, secondPos, kNoPosition, secondPos},
                               error) ||
            !m_file.WriteEntry(secondPos, DuplicateEntry{record, kNoPosition, headPos, secondPos},
                               error))
            return false;
        return tree.SetRecord(r.node.pos, r.slot, headPos, error);
    }
    std::int32_t lastPos = head.last == kNoPosition ? existing : head.last;
    DuplicateEntry last;
    bool lastIsEntry = false;
    if (!ReadChainEntry(lastPos, last, lastIsEntry, error)) return false;
    if (!lastIsEntry) return Fail(error, "duplicate chain damaged");
    std::int32_t newPos = kNoPosition;
    if (!AllocateEntry(newPos, error)) return false;
    if (!m_file.WriteEntry(newPos, DuplicateEntry{record, kNoPosition, lastPos, newPos}, error))
        return false;
    return m_file.WriteI32(FieldAt(lastPos, dupentry::kNext), newPos, error) &&
           m_file.WriteI32(FieldAt(existing, dupentry::kLast), newPos, error);
}

bool CTableStore::UnlinkEntry(int k, std::int32_t nodePos, int slot, std::int32_t headPos,
                              std::int32_t entryPos, std::string& error) {
    DuplicateEntry e;
    bool isEntry = false;
    if (!ReadChainEntry(entryPos, e, isEntry, error)) return false;
    if (!isEntry) return Fail(error, "duplicate chain damaged");
    if (e.prev == kNoPosition) {
        // The head leaves: the leaf names the next entry (an emptied chain leaves a tombstone).
        CBTree tree(m_file, m_header, m_schema, k);
        if (!tree.SetRecord(nodePos, slot, e.next, error)) return false;
        if (e.next != kNoPosition &&
            (!m_file.WriteI32(FieldAt(e.next, dupentry::kPrev), kNoPosition, error) ||
             !m_file.WriteI32(FieldAt(e.next, dupentry::kLast), e.last, error)))
            return false;
    } else {
        if (!m_file.WriteI32(FieldAt(e.prev, dupentry::kNext), e.next, error)) return false;
        if (e.next != kNoPosition) {
            if (!m_file.WriteI32(FieldAt(e.next, dupentry::kPrev), e.prev, error)) return false;
        } else if (!m_file.WriteI32(FieldAt(headPos, dupentry::kLast), e.prev, error)) {
            return false;
        }
    }
    return ReleaseEntry(entryPos, error);
}
