// The B+-tree index of one key: search, insertion with node splits, and the pointer
// patches that chains and tombstones need. Inner keys are the maxima of their subtrees;
// nodes never shrink or merge.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "db/Format.h"
#include "db/Schema.h"
#include "db/TableFile.h"

struct SearchResult {
    bool found = false;           // an equal key in a leaf (maybe a tombstone)
    bool greaterThanAll = false;  // the value is above every key of the final node
    std::int32_t recordPos = kNoPosition;
    int slot = 0;    // where the value is, or where it would be inserted
    IndexNode node;  // the leaf reached (node.pos -1 for an empty index)
};

class CBTree {
public:
    // Works on key `k` of the open `file`; root, first and last leaf live in `header`.
    CBTree(CTableFile& file, TableHeader& header, const CSchema& schema, int k);

    // Finds `value` (slotSize bytes). False (error set) when the index is damaged: then
    // nothing may be inserted into it. With `updateMaxima`, every inner node whose last
    // key is below the value gets the value as its last key (written at once), so the
    // tree stays correct once the value is inserted at the right edge.
    [[nodiscard]] bool Search(std::span<const std::byte> value, bool updateMaxima, SearchResult& r,
                              std::string& error);
    // Inserts (value, record) at the leaf and slot of a search that did not find it.
    [[nodiscard]] bool Insert(std::span<const std::byte> value, std::int32_t record,
                              SearchResult& r, std::string& error);
    // Rewrites the record position of one leaf entry (tombstone, chain head).
    [[nodiscard]] bool SetRecord(std::int32_t nodePos, int slot, std::int32_t record,
                                 std::string& error);

private:
    int FindSlot(const IndexNode& n, const std::byte* value, bool& greaterThanAll) const;
    bool InsertIntoNode(IndexNode& n, int depth, std::string& error);
    bool Split(IndexNode& old, int depth, std::string& error);
    bool AttachSplitToParent(IndexNode& old, const IndexNode& fresh, int depth, std::string& error);
    bool WriteNewRoot(std::int32_t rootPos, const IndexNode& left, const IndexNode& right,
                      std::string& error);
    void PutEntry(IndexNode& n, int slot, const std::byte* key, std::int32_t record,
                  std::int32_t child) const;
    void CopyEntry(const IndexNode& from, int i, IndexNode& to, int j) const;

    CTableFile& m_file;
    TableHeader& m_header;
    const CSchema& m_schema;
    const KeyLayout& m_key;
    int m_k;
};
