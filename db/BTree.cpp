// B+-tree search and insertion for one key of a table file.
#include "db/BTree.h"

#include <cstring>

namespace {

bool Fail(std::string& error, std::string why) {
    error = std::move(why);
    return false;
}

}  // namespace

CBTree::CBTree(CTableFile& file, TableHeader& header, const CSchema& schema, int k)
    : m_file(file), m_header(header), m_schema(schema), m_key(schema.Key(k)), m_k(k) {}

int CBTree::FindSlot(const IndexNode& n, const std::byte* value, bool& greaterThanAll) const {
    const int count = n.head.count;
    greaterThanAll = false;
    if (m_schema.Compare(m_k, value, n.Key(m_key, 0)) < 0) return 0;
    if (m_schema.Compare(m_k, value, n.Key(m_key, count - 1)) > 0) {
        greaterThanAll = true;
        return count - 1;
    }
    int lo = 0;
    int hi = count - 1;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        const int c = m_schema.Compare(m_k, value, n.Key(m_key, mid));
        if (c == 0) return mid;
        if (c < 0)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return lo;
}

bool CBTree::Search(std::span<const std::byte> value, bool updateMaxima, SearchResult& r,
                    std::string& error) {
    r = SearchResult{};
    r.node.pos = kNoPosition;
    std::int32_t pos = m_header.root[static_cast<std::size_t>(m_k)];
    if (pos == kNoPosition) return true;
    for (int depth = 0; depth < kMaxTreeDepth; ++depth) {
        if (!m_file.ReadNode(pos, m_key, r.node, error)) return false;
        const NodeHeader& h = r.node.head;
        bool greater = false;
        const int i = FindSlot(r.node, value.data(), greater);
        if (greater && updateMaxima && h.child[static_cast<std::size_t>(h.count - 1)] >= 0) {
            std::memcpy(r.node.Key(m_key, h.count - 1), value.data(), m_key.slotSize);
            if (!m_file.WriteNode(r.node, error)) return false;
        }
        const std::int32_t child = h.child[static_cast<std::size_t>(i)];
        if (child == kNoPosition &&
            m_schema.Compare(m_k, value.data(), r.node.Key(m_key, i)) == 0) {
            r.found = true;
            r.slot = i;
            r.recordPos = h.record[static_cast<std::size_t>(i)];
            return true;
        }
        r.greaterThanAll = greater;
        r.slot = greater ? i + 1 : i;
        if (child == kNoPosition) return true;
        pos = child;
    }
    return Fail(error, "index deeper than allowed");
}

void CBTree::PutEntry(IndexNode& n, int slot, const std::byte* key, std::int32_t record,
                      std::int32_t child) const {
    std::memcpy(n.Key(m_key, slot), key, m_key.slotSize);
    n.head.record[static_cast<std::size_t>(slot)] = record;
    n.head.child[static_cast<std::size_t>(slot)] = child;
}

void CBTree::CopyEntry(const IndexNode& from, int i, IndexNode& to, int j) const {
    PutEntry(to, j, from.Key(m_key, i), from.head.record[static_cast<std::size_t>(i)],
             from.head.child[static_cast<std::size_t>(i)]);
}

bool CBTree::Insert(std::span<const std::byte> value, std::int32_t record, SearchResult& r,
                    std::string& error) {
    const auto k = static_cast<std::size_t>(m_k);
    if (m_header.root[k] == kNoPosition) {
        IndexNode leaf;
        leaf.Reset(m_key);
        leaf.head.count = 1;
        PutEntry(leaf, 0, value.data(), record, kNoPosition);
        if (!m_file.AppendNode(leaf, error)) return false;
        m_header.root[k] = m_header.firstLeaf[k] = m_header.lastLeaf[k] = leaf.pos;
        return true;
    }
    IndexNode& n = r.node;
    if (n.pos == kNoPosition || !n.IsLeaf() || r.slot < 0 || r.slot > n.head.count)
        return Fail(error, "index damaged");
    for (int j = n.head.count; j > r.slot; --j) CopyEntry(n, j - 1, n, j);
    PutEntry(n, r.slot, value.data(), record, kNoPosition);
    ++n.head.count;
    return InsertIntoNode(n, 0, error);
}

bool CBTree::InsertIntoNode(IndexNode& n, int depth, std::string& error) {
    if (depth > kMaxTreeDepth) return Fail(error, "index deeper than allowed");
    if (n.head.count <= kMaxNodeEntries) {
        if (!m_file.WriteNode(n, error)) return false;
        if (n.head.next == kNoPosition && n.IsLeaf())
            m_header.lastLeaf[static_cast<std::size_t>(m_k)] = n.pos;
        return true;
    }
    return Split(n, depth, error);
}

// The old node keeps entries 0-99 in place; entries 100-200 move to a node written at
// the end of the file. A root split writes the new root first, then the new node.
bool CBTree::Split(IndexNode& old, int depth, std::string& error) {
    const auto k = static_cast<std::size_t>(m_k);
    const bool wasRoot = old.pos == m_header.root[k];
    if (!wasRoot && old.head.parent == kNoPosition) return Fail(error, "index damaged");
    IndexNode root;
    if (wasRoot) {
        root.Reset(m_key);
        if (!m_file.AppendNode(root, error)) return false;
    }
    IndexNode fresh;
    fresh.Reset(m_key);
    fresh.head.count = kNodeSlots - kSplitKeep;
    for (int i = 0; i < fresh.head.count; ++i) CopyEntry(old, kSplitKeep + i, fresh, i);
    fresh.head.parent = wasRoot ? root.pos : old.head.parent;
    fresh.head.prev = old.pos;
    fresh.head.next = old.head.next;
    if (!m_file.AppendNode(fresh, error)) return false;
    old.head.count = kSplitKeep;
    old.head.next = fresh.pos;
    if (fresh.head.next != kNoPosition &&
        !m_file.WriteI32(FieldAt(fresh.head.next, node::kPrev), fresh.pos, error))
        return false;
    if (fresh.IsLeaf() && fresh.head.next == kNoPosition) m_header.lastLeaf[k] = fresh.pos;
    for (int i = 0; !fresh.IsLeaf() && i < fresh.head.count; ++i) {
        const std::int32_t child = fresh.head.child[static_cast<std::size_t>(i)];
        if (!m_file.WriteI32(FieldAt(child, node::kParent), fresh.pos, error)) return false;
    }
    if (!wasRoot) {
        if (!m_file.WriteNode(old, error)) return false;
        return AttachSplitToParent(old, fresh, depth, error);
    }
    old.head.parent = root.pos;
    if (!m_file.WriteNode(old, error)) return false;
    if (!WriteNewRoot(root.pos, old, fresh, error)) return false;
    m_header.root[k] = root.pos;
    return true;
}

bool CBTree::AttachSplitToParent(IndexNode& old, const IndexNode& fresh, int depth,
                                 std::string& error) {
    IndexNode parent;
    if (!m_file.ReadNode(old.head.parent, m_key, parent, error)) return false;
    const std::byte* b = old.Key(m_key, kSplitKeep - 1);
    int j = 0;  // the first entry whose key is not below b: the one that named the old node
    while (j < parent.head.count && m_schema.Compare(m_k, b, parent.Key(m_key, j)) > 0) ++j;
    if (j >= parent.head.count || parent.head.child[static_cast<std::size_t>(j)] != old.pos)
        return Fail(error, "index damaged");
    for (int i = parent.head.count; i > j; --i) CopyEntry(parent, i - 1, parent, i);
    PutEntry(parent, j, b, old.head.record[kSplitKeep - 1], old.pos);
    parent.head.child[static_cast<std::size_t>(j + 1)] = fresh.pos;
    ++parent.head.count;
    return InsertIntoNode(parent, depth + 1, error);
}

bool CBTree::WriteNewRoot(std::int32_t rootPos, const IndexNode& left, const IndexNode& right,
                          std::string& error) {
    IndexNode root;
    root.Reset(m_key);
    root.pos = rootPos;
    root.head.self = rootPos;
    root.head.count = 2;
    const int l = left.head.count - 1;
    const int r = right.head.count - 1;
    PutEntry(root, 0, left.Key(m_key, l), left.head.record[static_cast<std::size_t>(l)], left.pos);
    PutEntry(root, 1, right.Key(m_key, r), right.head.record[static_cast<std::size_t>(r)],
             right.pos);
    return m_file.WriteNode(root, error);
}

bool CBTree::SetRecord(std::int32_t nodePos, int slot, std::int32_t record, std::string& error) {
    if (slot < 0 || slot >= kNodeSlots) return Fail(error, "index damaged");
    return m_file.WriteI32(FieldAt(nodePos, node::kRecord) + 4 * std::int64_t{slot}, record, error);
}
