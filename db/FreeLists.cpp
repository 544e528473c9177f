// The free record, entry and block lists. Every position taken from a list is checked
// first; a damaged list ends early and the end of the file is used instead.
#include "db/TableStore.h"

namespace {

bool Fail(std::string& error, std::string why) {
    error = std::move(why);
    return false;
}

}  // namespace

bool CTableStore::IsListPosition(std::int32_t pos, std::size_t size) const {
    // A position inside the header ends the list, so a damaged head never aims a write there.
    return pos >= static_cast<std::int32_t>(header::kSize) && m_file.InBody(pos, size);
}

bool CTableStore::TakePackedSlot(std::uint32_t length, std::int32_t& pos, std::string& error) {
    pos = kNoPosition;
    std::int32_t prev = kNoPosition;
    std::int32_t cur = m_header.freeRecord;
    for (int probe = 0; probe < kFreeSlotProbes && IsListPosition(cur, kMinPackedFreeSlot);
         ++probe) {
        std::byte buf[kMinPackedFreeSlot];
        if (!m_file.Read(cur, buf, error)) return false;
        const std::uint32_t slotLength = DecodeU16(buf);
        const std::int32_t next = DecodeI32(buf + kFreeSlotNext);
        if (slotLength >= length && m_file.InBody(cur, slotLength)) {
            if (prev == kNoPosition)
                m_header.freeRecord = next;
            else if (!m_file.WriteI32(FieldAt(prev, kFreeSlotNext), next, error))
                return false;
            pos = cur;
            return true;
        }
        prev = cur;
        cur = next;
    }
    return true;
}

bool CTableStore::TakeFixedSlot(std::int32_t& pos, std::string& error) {
    pos = kNoPosition;
    const std::size_t length = m_schema.RecordLength();
    if (length < 4 || !IsListPosition(m_header.freeRecord, length)) return true;
    std::int32_t next = kNoPosition;
    if (!m_file.ReadI32(m_header.freeRecord, next, error)) return false;
    pos = m_header.freeRecord;
    m_header.freeRecord = next;
    return true;
}

bool CTableStore::ReleaseRecordSlot(std::int32_t pos, std::string& error) {
    if (IsFixed()) {
        if (m_schema.RecordLength() < 4) return true;  // too small to hold the link: abandoned
        if (!m_file.WriteI32(pos, m_header.freeRecord, error)) return false;
        m_header.freeRecord = pos;
        return true;
    }
    std::uint32_t length = 0;
    if (!StoredLength(pos, length, error)) return false;
    if (length < kMinPackedFreeSlot) return true;
    if (!m_file.WriteI32(FieldAt(pos, kFreeSlotNext), m_header.freeRecord, error)) return false;
    m_header.freeRecord = pos;
    return true;
}

bool CTableStore::AllocateEntry(std::int32_t& pos, std::string& error) {
    if (IsListPosition(m_header.freeEntry, DuplicateEntry::kEncodedSize)) {
        std::int32_t next = kNoPosition;
        if (!m_file.ReadI32(m_header.freeEntry, next, error)) return false;
        pos = m_header.freeEntry;
        m_header.freeEntry = next;
        return true;
    }
    const std::byte zeros[DuplicateEntry::kEncodedSize]{};
    return m_file.Append(zeros, pos, error);
}

bool CTableStore::ReleaseEntry(std::int32_t pos, std::string& error) {
    if (!m_file.WriteI32(pos, m_header.freeEntry, error)) return false;
    m_header.freeEntry = pos;
    return true;
}

bool CTableStore::ReleaseBlockChain(std::int32_t first, std::string& error) {
    std::int32_t cur = first;
    for (int blocks = 1; blocks <= kMaxBlockChain; ++blocks) {
        if (!IsListPosition(cur, kBlockHeaderSize)) return true;  // leaves the file: left alone
        std::int32_t next = 0;
        if (!m_file.ReadI32(cur, next, error)) return false;
        if (next <= 0) {
            if (!m_file.WriteI32(cur, m_header.freeBlock, error)) return false;
            m_header.freeBlock = first;
            return true;
        }
        cur = next;
    }
    return true;  // longer than the limit (or a cycle): left alone
}

bool CTableStore::ReadChainEntry(std::int32_t pos, DuplicateEntry& e, bool& isEntry,
                                 std::string& error) {
    return m_file.ReadEntry(pos, e, isEntry, error);
}

bool CTableStore::FindInChain(std::int32_t headPos, std::int32_t record, std::int32_t& entryPos,
                              std::string& error) {
    entryPos = kNoPosition;
    std::int32_t cur = headPos;
    for (std::uint64_t steps = 0; cur != kNoPosition; ++steps) {
        if (steps > MaxChainSteps()) return Fail(error, "duplicate chain does not end");
        DuplicateEntry e;
        bool isEntry = false;
        if (!ReadChainEntry(cur, e, isEntry, error)) return false;
        if (!isEntry) return Fail(error, "duplicate chain damaged");
        if (e.record == record) {
            entryPos = cur;
            return true;
        }
        cur = e.next;
    }
    return true;
}
