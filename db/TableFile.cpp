// Checked reads and writes of headers, nodes, entries and raw body bytes.
#include "db/TableFile.h"

#include <algorithm>
#include <array>

#include "db/Limits.h"
#include "platform/FileIdentity.h"

namespace {

bool Fail(std::string& error, std::string why) {
    error = std::move(why);
    return false;
}

// Positions are signed 32-bit; the file may not grow past what they can address.
constexpr std::uint64_t kMaxFileSize = 0x7fffffff;

constexpr int kMaxReopens = 3;

// True when `path` still names the file `file` holds: a table replaced while this
// process waited for the old file's lock (an upgrade renames a new file over it) must be
// opened again, or what is written here lands in the replaced file.
bool StillNamedBy(const CFile& file, const std::string& path) {
    FileIdentity held;
    FileIdentity named;
    if (!file.Identity(held) || StatIdentity(path, named) != IdentityResult::Found) return true;
    return held.device == named.device && held.inode == named.inode;
}

}  // namespace

void IndexNode::Reset(const KeyLayout& key) {
    head = NodeHeader{};
    head.child.fill(kNoPosition);
    head.record.fill(kNoPosition);
    keys.assign(key.nodeSize - node::kHeaderSize, std::byte{0});
}

bool CTableFile::Open(const std::string& path, bool readOnly, std::string& error) {
    for (int attempt = 0; attempt < kMaxReopens; ++attempt) {
        if (!m_file.Open(path, readOnly ? FileOpenMode::ReadOnly : FileOpenMode::ReadWrite) ||
            !m_file.Lock(readOnly ? FileLockKind::Shared : FileLockKind::Exclusive,
                         kTableLockWait) ||
            !m_file.Size(m_size)) {
            error = m_file.GetLastError();
            m_file.Close();
            return false;
        }
        if (StillNamedBy(m_file, path)) return true;
        m_file.Close();
    }
    error = path + " keeps being replaced";
    return false;
}

bool CTableFile::Create(const std::string& path, std::string& error) {
    if (!m_file.Open(path, FileOpenMode::Create) ||
        !m_file.Lock(FileLockKind::Exclusive, kTableLockWait) || !m_file.Truncate(0)) {
        error = m_file.GetLastError();
        m_file.Close();
        return false;
    }
    m_size = 0;
    return true;
}

bool CTableFile::ReadHeader(TableHeader& h, std::string& error) {
    std::array<std::byte, header::kSize> buf{};
    if (m_file.ReadAt(0, buf) < 0) return Fail(error, m_file.GetLastError());
    h.Decode(buf);
    return true;
}

bool CTableFile::WriteHeader(const TableHeader& h, std::string& error) {
    std::array<std::byte, header::kSize> buf{};
    h.Encode(buf);
    if (!m_file.WriteAt(0, buf)) return Fail(error, m_file.GetLastError());
    m_size = std::max<std::uint64_t>(m_size, buf.size());
    return true;
}

bool CTableFile::Read(std::int64_t pos, std::span<std::byte> out, std::string& error) {
    if (!InBody(pos, out.size())) return Fail(error, "position outside the file");
    if (!m_file.ReadExactAt(static_cast<std::uint64_t>(pos), out))
        return Fail(error, m_file.GetLastError());
    return true;
}

bool CTableFile::Write(std::int64_t pos, std::span<const std::byte> data, std::string& error) {
    // SECURITY: never write into the header or past what a position can address.
    if (pos < static_cast<std::int64_t>(header::kSize) ||
        static_cast<std::uint64_t>(pos) + data.size() > kMaxFileSize)
        return Fail(error, "position outside the file");
    if (!m_file.WriteAt(static_cast<std::uint64_t>(pos), data))
        return Fail(error, m_file.GetLastError());
    m_size = std::max<std::uint64_t>(m_size, static_cast<std::uint64_t>(pos) + data.size());
    return true;
}

bool CTableFile::Append(std::span<const std::byte> data, std::int32_t& pos, std::string& error) {
    const std::uint64_t at = std::max<std::uint64_t>(m_size, header::kSize);
    if (at + data.size() > kMaxFileSize) return Fail(error, "table file full");
    pos = static_cast<std::int32_t>(at);
    return Write(pos, data, error);
}

bool CTableFile::ReadI32(std::int64_t pos, std::int32_t& value, std::string& error) {
    std::array<std::byte, 4> buf{};
    if (!Read(pos, buf, error)) return false;
    value = DecodeI32(buf.data());
    return true;
}

bool CTableFile::WriteI32(std::int64_t pos, std::int32_t value, std::string& error) {
    if (!InBody(pos, 4)) return Fail(error, "position outside the file");
    std::array<std::byte, 4> buf{};
    EncodeI32(buf.data(), value);
    return Write(pos, buf, error);
}

bool CTableFile::ReadNodeHeader(std::int32_t pos, NodeHeader& h, std::string& error) {
    std::array<std::byte, node::kHeaderSize> buf{};
    if (!Read(pos, buf, error)) return false;
    h.Decode(buf);
    return true;
}

bool CTableFile::ReadNode(std::int32_t pos, const KeyLayout& key, IndexNode& n,
                          std::string& error) {
    m_scratch.resize(key.nodeSize);
    if (!Read(pos, m_scratch, error)) return false;
    n.pos = pos;
    n.head.Decode(
        std::span<const std::byte, node::kHeaderSize>(m_scratch.data(), node::kHeaderSize));
    n.keys.assign(m_scratch.begin() + node::kHeaderSize, m_scratch.end());
    if (n.head.count < 1 || n.head.count > kMaxNodeEntries)
        return Fail(error, "index node damaged");
    return true;
}

bool CTableFile::WriteNode(const IndexNode& n, std::string& error) {
    m_scratch.resize(node::kHeaderSize + n.keys.size());
    n.head.Encode(std::span<std::byte, node::kHeaderSize>(m_scratch.data(), node::kHeaderSize));
    std::copy(n.keys.begin(), n.keys.end(), m_scratch.begin() + node::kHeaderSize);
    return Write(n.pos, m_scratch, error);
}

bool CTableFile::AppendNode(IndexNode& n, std::string& error) {
    const std::uint64_t at = std::max<std::uint64_t>(m_size, header::kSize);
    if (at + node::kHeaderSize + n.keys.size() > kMaxFileSize)
        return Fail(error, "table file full");
    n.pos = static_cast<std::int32_t>(at);
    n.head.self = n.pos;
    return WriteNode(n, error);
}

bool CTableFile::ReadEntry(std::int32_t pos, DuplicateEntry& e, bool& isEntry, std::string& error) {
    std::array<std::byte, DuplicateEntry::kEncodedSize> buf{};
    isEntry = false;
    // A short record at the very end of the file cannot be a chain entry.
    if (pos >= static_cast<std::int32_t>(header::kSize) && !InBody(pos, buf.size()) &&
        InBody(pos, 1))
        return true;
    if (!Read(pos, buf, error)) return false;
    isEntry = e.Decode(buf);
    return true;
}

bool CTableFile::WriteEntry(std::int32_t pos, const DuplicateEntry& e, std::string& error) {
    std::array<std::byte, DuplicateEntry::kEncodedSize> buf{};
    e.Encode(buf);
    return Write(pos, buf, error);
}
