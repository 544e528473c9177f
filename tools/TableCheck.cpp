// The table checker: header, every index level, chains, record keys and free lists.
#include "tools/TableCheck.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "db/TableStore.h"
#include "db/Text.h"
#include "platform/DirEntries.h"

namespace {

std::string KeyLabel(int k) { return "key " + std::to_string(k) + ": "; }
std::string At(std::int32_t pos) { return " at " + std::to_string(pos); }

}  // namespace

bool CTableChecker::Check(const std::string& path) {
    m_problems.clear();
    const bool read = CheckContents(path);
    if (read) CheckMode(path);
    return read;
}

// SECURITY: account tables hold passwords in a reversible form; only the owner may read them.
void CTableChecker::CheckMode(const std::string& path) {
    DirEntry entry;
    if (!StatEntry(path, entry) || (entry.mode & 0077) == 0) return;
    char mode[16];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(entry.mode) & 07777u);
    Problem(std::string("open to group or others: mode ") + mode + " (should be 0600)");
}

bool CTableChecker::CheckContents(const std::string& path) {
    std::string error;
    if (!m_file.Open(path, true, error)) {
        Problem("cannot open: " + error);
        return false;
    }
    if (m_file.Size() < header::kSize) Problem("file is shorter than its header");
    if (!m_file.ReadHeader(m_header, error)) {
        Problem("cannot read the header: " + error);
        return false;
    }
    CheckHeader();
    if (!m_problems.empty()) return true;  // nothing after the header can be trusted
    for (int k = 0; k < m_schema.KeyCount(); ++k) CheckKey(k);
    CheckFreeRecords();
    CheckFreeEntries();
    CheckFreeBlocks();
    return true;
}

void CTableChecker::CheckHeader() {
    std::string error;
    if (SlotText(m_header.signature) != kSignatureText)
        Problem("signature is not \"Korv,Signature_Talmar\"");
    if (m_header.keyCount <= 0) Problem("no key defined");
    if (m_header.recordCount < 0) Problem("record count is negative");
    if (!m_schema.Build(m_header, error)) {
        Problem("header: " + error);
        return;
    }
    for (int k = 0; k < m_schema.KeyCount(); ++k) {
        const KeyLayout& key = m_schema.Key(k);
        for (const KeySegment& s : key.segments) {
            if (s.type == FieldType::Text && s.mode != kCompareBytes && s.mode != kCompareNoCase)
                Problem(KeyLabel(k) + "unknown compare mode " + std::to_string(s.mode));
        }
        const auto ku = static_cast<std::size_t>(k);
        const bool empty = m_header.root[ku] == kNoPosition;
        if (empty &&
            (m_header.firstLeaf[ku] != kNoPosition || m_header.lastLeaf[ku] != kNoPosition))
            Problem(KeyLabel(k) + "empty index with a first or last leaf");
    }
}

// Reads and checks the nodes of one level; false when the walk cannot go on.
bool CTableChecker::ReadLevel(int k, const std::vector<LevelNode>& wanted,
                              std::set<std::int32_t>& seen, std::vector<IndexNode>& level) {
    const KeyLayout& key = m_schema.Key(k);
    const std::uint64_t maxNodes = m_file.Size() / key.nodeSize + 1;
    std::string error;
    level.clear();
    for (const LevelNode& w : wanted) {
        if (!seen.insert(w.pos).second || seen.size() > maxNodes) {
            Problem(KeyLabel(k) + "node reached twice" + At(w.pos));
            return false;
        }
        IndexNode n;
        if (!m_file.ReadNode(w.pos, key, n, error)) {
            Problem(KeyLabel(k) + error + At(w.pos));
            return false;
        }
        if (!CheckNode(k, n, w, n.IsLeaf())) return false;
        level.push_back(std::move(n));
    }
    const bool leaves = level.front().IsLeaf();
    if (std::any_of(level.begin(), level.end(),
                    [&](const IndexNode& n) { return n.IsLeaf() != leaves; })) {
        Problem(KeyLabel(k) + "leaves on more than one level");
        return false;
    }
    return true;
}

std::vector<CTableChecker::LevelNode> CTableChecker::ChildrenOf(
    int k, const std::vector<IndexNode>& level) const {
    const KeyLayout& key = m_schema.Key(k);
    std::vector<LevelNode> children;
    for (const IndexNode& n : level) {
        for (int i = 0; i < n.head.count; ++i) {
            const std::byte* max = n.Key(key, i);
            children.push_back(
                {n.head.child[static_cast<std::size_t>(i)], n.pos, {max, max + key.slotSize}});
        }
    }
    return children;
}

// Walks the index level by level from the root, checking each node and each level's
// links; then the leaves' entries against the records.
void CTableChecker::CheckKey(int k) {
    const auto ku = static_cast<std::size_t>(k);
    if (m_header.root[ku] == kNoPosition) {
        if (m_header.recordCount != 0)
            Problem(KeyLabel(k) + "empty index but " + std::to_string(m_header.recordCount) +
                    " records");
        return;
    }
    std::set<std::int32_t> seen;
    std::vector<LevelNode> wanted{{m_header.root[ku], kNoPosition, {}}};
    std::vector<IndexNode> level;
    for (int depth = 0;; ++depth) {
        if (depth >= kMaxTreeDepth) return Problem(KeyLabel(k) + "index deeper than allowed");
        if (!ReadLevel(k, wanted, seen, level)) return;
        CheckLevelLinks(k, level, depth);
        if (level.front().IsLeaf()) break;
        wanted = ChildrenOf(k, level);
    }
    std::int64_t live = 0;
    for (const IndexNode& leaf : level) live += CheckLeafEntries(k, leaf);
    if (m_header.firstLeaf[ku] != level.front().pos || m_header.lastLeaf[ku] != level.back().pos)
        Problem(KeyLabel(k) + "first or last leaf in the header is not the end of the leaf level");
    if (live != m_header.recordCount)
        Problem(KeyLabel(k) + std::to_string(live) + " live entries but " +
                std::to_string(m_header.recordCount) + " records");
}

bool CTableChecker::CheckNode(int k, const IndexNode& n, const LevelNode& wanted, bool leafLevel) {
    const KeyLayout& key = m_schema.Key(k);
    if (n.head.self != n.pos) Problem(KeyLabel(k) + "node's own position is wrong" + At(n.pos));
    if (n.head.parent != wanted.parent)
        Problem(KeyLabel(k) + "parent position is wrong" + At(n.pos));
    if (!wanted.max.empty() &&
        m_schema.Compare(k, wanted.max.data(), n.Key(key, n.head.count - 1)) != 0)
        Problem(KeyLabel(k) + "inner key is not the maximum of its subtree" + At(n.pos));
    for (int i = 0; i < n.head.count; ++i) {
        const bool hasChild = n.head.child[static_cast<std::size_t>(i)] != kNoPosition;
        if (hasChild == leafLevel) {
            Problem(KeyLabel(k) + "node mixes leaf and inner entries" + At(n.pos));
            return false;
        }
        if (i > 0 && m_schema.Compare(k, n.Key(key, i - 1), n.Key(key, i)) >= 0)
            Problem(KeyLabel(k) + "keys not ascending" + At(n.pos));
    }
    return true;
}

void CTableChecker::CheckLevelLinks(int k, const std::vector<IndexNode>& level, int depth) {
    const KeyLayout& key = m_schema.Key(k);
    const std::string where = KeyLabel(k) + "level " + std::to_string(depth) + ": ";
    if (level.front().head.prev != kNoPosition) Problem(where + "first node has a previous node");
    if (level.back().head.next != kNoPosition) Problem(where + "last node has a next node");
    for (std::size_t i = 0; i + 1 < level.size(); ++i) {
        const IndexNode& a = level[i];
        const IndexNode& b = level[i + 1];
        if (a.head.next != b.pos || b.head.prev != a.pos)
            Problem(where + "level links broken" + At(a.pos));
        if (m_schema.Compare(k, a.Key(key, a.head.count - 1), b.Key(key, 0)) >= 0)
            Problem(where + "keys not ascending across nodes" + At(b.pos));
    }
}

std::int64_t CTableChecker::CheckLeafEntries(int k, const IndexNode& leaf) {
    std::int64_t live = 0;
    for (int i = 0; i < leaf.head.count; ++i) {
        const std::int32_t rec = leaf.head.record[static_cast<std::size_t>(i)];
        if (rec == kNoPosition) continue;
        if (m_schema.Key(k).kind == KeyKind::Duplicates) {
            live += CheckChain(k, leaf, i);
        } else {
            CheckRecordKey(k, leaf, i, rec);
            ++live;
        }
    }
    return live;
}

std::int64_t CTableChecker::CheckChain(int k, const IndexNode& leaf, int slot) {
    const std::int32_t head = leaf.head.record[static_cast<std::size_t>(slot)];
    std::string error;
    DuplicateEntry e;
    bool isEntry = false;
    if (!m_file.ReadEntry(head, e, isEntry, error)) {
        Problem(KeyLabel(k) + "record position outside the file" + At(head));
        return 1;
    }
    if (!isEntry) {
        CheckRecordKey(k, leaf, slot, head);
        return 1;
    }
    const std::int32_t last = e.last;
    std::int32_t prev = kNoPosition;
    std::int64_t count = 0;
    for (std::int32_t cur = head; cur != kNoPosition; cur = e.next) {
        if (!m_seenEntries.insert(cur).second) {
            Problem(KeyLabel(k) + "duplicate chain reaches an entry twice" + At(cur));
            return count;
        }
        if (!m_file.ReadEntry(cur, e, isEntry, error) || !isEntry) {
            Problem(KeyLabel(k) + "duplicate chain entry damaged" + At(cur));
            return count;
        }
        if (e.prev != prev) Problem(KeyLabel(k) + "duplicate chain back link wrong" + At(cur));
        CheckRecordKey(k, leaf, slot, e.record);
        ++count;
        prev = cur;
    }
    if (last != prev)
        Problem(KeyLabel(k) + "duplicate chain head names the wrong last entry" + At(head));
    return count;
}

void CTableChecker::CheckRecordKey(int k, const IndexNode& leaf, int slot, std::int32_t record) {
    std::vector<std::byte> image(m_schema.RecordLength());
    std::string error;
    const bool ok = m_store.ReadRecord(record, image, error);
    if (!ok) return Problem(KeyLabel(k) + "record unreadable (" + error + ")" + At(record));
    std::vector<std::byte> packed;
    std::uint32_t stored = 0;
    if (!m_store.IsFixed() && m_store.StoredLength(record, stored, error) &&
        m_store.PackRecord(image, packed, error) && packed.size() != stored)
        Problem(KeyLabel(k) + "packed length differs from the record's fields" + At(record));
    std::vector<std::byte> value(m_schema.Key(k).slotSize);
    m_schema.MakeKey(k, image, value);
    if (m_schema.Compare(k, value.data(), leaf.Key(m_schema.Key(k), slot)) != 0)
        Problem(KeyLabel(k) + "entry key differs from its record's key" + At(record));
}

void CTableChecker::CheckFreeRecords() {
    const bool fixed = m_header.recordFormat == kFixedRecordFormat;
    const std::size_t minimum =
        fixed ? std::max<std::size_t>(4, m_schema.RecordLength()) : kMinPackedFreeSlot;
    std::set<std::int32_t> seen;
    std::string error;
    for (std::int32_t cur = m_header.freeRecord; cur != kNoPosition;) {
        if (!m_file.InBody(cur, minimum))
            return Problem("free record list: position outside the file" + At(cur));
        if (!seen.insert(cur).second) return Problem("free record list: cycle" + At(cur));
        std::byte buf[kMinPackedFreeSlot]{};
        if (!m_file.Read(cur, std::span<std::byte>(buf, fixed ? 4 : kMinPackedFreeSlot), error))
            return Problem("free record list: " + error);
        if (!fixed && DecodeU16(buf) < kMinPackedFreeSlot)
            Problem("free record list: slot too small" + At(cur));
        cur = fixed ? DecodeI32(buf) : DecodeI32(buf + kFreeSlotNext);
    }
}

void CTableChecker::CheckFreeEntries() {
    std::set<std::int32_t> seen;
    std::string error;
    for (std::int32_t cur = m_header.freeEntry; cur != kNoPosition;) {
        if (!m_file.InBody(cur, DuplicateEntry::kEncodedSize))
            return Problem("free entry list: position outside the file" + At(cur));
        if (!seen.insert(cur).second) return Problem("free entry list: cycle" + At(cur));
        if (m_seenEntries.count(cur) != 0)
            Problem("free entry list: entry still in a chain" + At(cur));
        if (!m_file.ReadI32(cur, cur, error)) return Problem("free entry list: " + error);
    }
}

void CTableChecker::CheckFreeBlocks() {
    std::set<std::int32_t> seen;
    std::string error;
    for (std::int32_t cur = m_header.freeBlock; cur > 0;) {
        if (!m_file.InBody(cur, kBlockHeaderSize))
            return Problem("free block list: position outside the file" + At(cur));
        if (!seen.insert(cur).second) return Problem("free block list: cycle" + At(cur));
        if (!m_file.ReadI32(cur, cur, error)) return Problem("free block list: " + error);
    }
}
