// The table file as the engine sees it: a locked CFile plus its size, with every access
// to a position checked against the header and the end of the file first.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "db/Format.h"
#include "db/Schema.h"
#include "platform/File.h"

// A node with its key area, as read from or written to `pos`.
struct IndexNode {
    std::int32_t pos = kNoPosition;  // where it lies in the file
    NodeHeader head;
    std::vector<std::byte> keys;  // bytes 1628..nodeSize of the node

    void Reset(const KeyLayout& key);  // an empty node: children and records -1, keys zero
    std::byte* Key(const KeyLayout& key, int slot) {
        return keys.data() + key.KeyOffset(slot) - node::kHeaderSize;
    }
    const std::byte* Key(const KeyLayout& key, int slot) const {
        return keys.data() + key.KeyOffset(slot) - node::kHeaderSize;
    }
    bool IsLeaf() const { return head.child[0] == kNoPosition; }
};

class CTableFile {
public:
    // Opens and locks: shared when `readOnly`, else exclusive. Waits at most
    // kTableLockWait for the lock; LockTimedOut() then tells a busy file from a failure.
    [[nodiscard]] bool Open(const std::string& path, bool readOnly, std::string& error);
    // Creates or empties `path` under an exclusive lock (the lock is taken before the
    // truncation, so a reader never sees the file vanish under it).
    [[nodiscard]] bool Create(const std::string& path, std::string& error);
    void Close() {
        m_file.Close();
        m_size = 0;
    }
    bool IsOpen() const { return m_file.IsOpen(); }
    bool LockTimedOut() const { return m_file.LockTimedOut(); }
    [[nodiscard]] bool Identity(FileIdentity& out) const { return m_file.Identity(out); }
    std::uint64_t Size() const { return m_size; }

    // True when [pos, pos+len) lies after the header and inside the file.
    bool InBody(std::int64_t pos, std::size_t len) const {
        return pos >= static_cast<std::int64_t>(header::kSize) &&
               static_cast<std::uint64_t>(pos) <= m_size &&
               len <= m_size - static_cast<std::uint64_t>(pos);
    }

    // Reads the header; bytes past the end of the file read as zero.
    [[nodiscard]] bool ReadHeader(TableHeader& h, std::string& error);
    [[nodiscard]] bool WriteHeader(const TableHeader& h, std::string& error);

    // Reads exactly out.size() bytes of the body at `pos`; false when outside the file.
    [[nodiscard]] bool Read(std::int64_t pos, std::span<std::byte> out, std::string& error);
    [[nodiscard]] bool Write(std::int64_t pos, std::span<const std::byte> data, std::string& error);
    // Writes at the end of the file; `pos` receives where.
    [[nodiscard]] bool Append(std::span<const std::byte> data, std::int32_t& pos,
                              std::string& error);
    [[nodiscard]] bool ReadI32(std::int64_t pos, std::int32_t& value, std::string& error);
    [[nodiscard]] bool WriteI32(std::int64_t pos, std::int32_t value, std::string& error);

    // Index nodes. ReadNode also checks the count (1-200).
    [[nodiscard]] bool ReadNode(std::int32_t pos, const KeyLayout& key, IndexNode& n,
                                std::string& error);
    [[nodiscard]] bool ReadNodeHeader(std::int32_t pos, NodeHeader& h, std::string& error);
    [[nodiscard]] bool WriteNode(const IndexNode& n, std::string& error);
    [[nodiscard]] bool AppendNode(IndexNode& n, std::string& error);  // sets n.pos and self

    [[nodiscard]] bool ReadEntry(std::int32_t pos, DuplicateEntry& e, bool& isEntry,
                                 std::string& error);
    [[nodiscard]] bool WriteEntry(std::int32_t pos, const DuplicateEntry& e, std::string& error);

private:
    CFile m_file;
    std::uint64_t m_size = 0;
    std::vector<std::byte> m_scratch;
};
