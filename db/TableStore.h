// The stored parts of an open table other than the indexes: records (packed or fixed),
// duplicate chains and the three free lists. Used by CKorvTable; one thread at a time.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "db/BTree.h"
#include "db/Format.h"
#include "db/Schema.h"
#include "db/TableFile.h"

class CTableStore {
public:
    CTableFile m_file;
    TableHeader m_header;
    CSchema m_schema;

    bool IsFixed() const { return m_header.recordFormat == kFixedRecordFormat; }

    // ---- records (RecordIO.cpp) ----
    // Reads the record at `pos` into `image` (record length bytes).
    [[nodiscard]] bool ReadRecord(std::int32_t pos, std::span<std::byte> image, std::string& error);
    // The packed form of `image`; false when it would exceed the 16-bit length.
    [[nodiscard]] bool PackRecord(std::span<const std::byte> image, std::vector<std::byte>& out,
                                  std::string& error) const;
    // Writes `image` into a free slot or at the end; `pos` receives where.
    [[nodiscard]] bool WriteRecord(std::span<const std::byte> image, std::int32_t& pos,
                                   std::string& error);
    // The stored length of the record at `pos` (fixed: the record length).
    [[nodiscard]] bool StoredLength(std::int32_t pos, std::uint32_t& length, std::string& error);

    // ---- free lists (FreeLists.cpp) ----
    [[nodiscard]] bool TakePackedSlot(std::uint32_t length, std::int32_t& pos, std::string& error);
    [[nodiscard]] bool TakeFixedSlot(std::int32_t& pos, std::string& error);
    [[nodiscard]] bool ReleaseRecordSlot(std::int32_t pos, std::string& error);
    // A 24-byte place for a new chain entry: the head of the free entry list, else the end.
    [[nodiscard]] bool AllocateEntry(std::int32_t& pos, std::string& error);
    [[nodiscard]] bool ReleaseEntry(std::int32_t pos, std::string& error);
    // Moves the block chain starting at `first` to the free block list; a chain that is
    // longer than the limit or leaves the file is left alone.
    [[nodiscard]] bool ReleaseBlockChain(std::int32_t first, std::string& error);
    // True when `pos` may head or continue a free list (-1 and damaged values end it).
    bool IsListPosition(std::int32_t pos, std::size_t size) const;

    // ---- duplicate chains (DupChain.cpp) ----
    // Adds record `record` to the leaf entry found by `r` for key `k`.
    [[nodiscard]] bool AddToEntry(int k, const SearchResult& r, std::int32_t record,
                                  std::string& error);
    // Reads the entry at `pos` when it is a chain entry (keys of kind 1 only).
    [[nodiscard]] bool ReadChainEntry(std::int32_t pos, DuplicateEntry& e, bool& isEntry,
                                      std::string& error);
    // Removes chain entry `entryPos` of the chain headed at leaf entry (node, slot).
    [[nodiscard]] bool UnlinkEntry(int k, std::int32_t nodePos, int slot, std::int32_t headPos,
                                   std::int32_t entryPos, std::string& error);
    // The chain entry of the chain at `headPos` that names `record`, or -1.
    [[nodiscard]] bool FindInChain(std::int32_t headPos, std::int32_t record,
                                   std::int32_t& entryPos, std::string& error);
    // Most entries a chain of this file can have: a longer walk is a cycle.
    std::uint64_t MaxChainSteps() const { return m_file.Size() / DuplicateEntry::kEncodedSize + 1; }
};
