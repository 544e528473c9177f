// A validator of every invariant of a table file, for `db check`. Reads the file under a
// shared lock and never changes it; every position is checked before use and every chain
// and list is followed a bounded number of steps, so a damaged file yields problems,
// never a crash or a hang.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "db/Format.h"
#include "db/Schema.h"
#include "db/TableStore.h"

class CTableChecker {
public:
    CTableChecker() = default;
    CTableChecker(const CTableChecker&) = delete;
    CTableChecker& operator=(const CTableChecker&) = delete;

    // Checks `path`, its permission bits included; false when it could not be read at
    // all (see Problems()).
    [[nodiscard]] bool Check(const std::string& path);
    const std::vector<std::string>& Problems() const { return m_problems; }

private:
    struct LevelNode {
        std::int32_t pos;
        std::int32_t parent;
        std::vector<std::byte> max;  // the parent entry's key: this subtree's maximum
    };
    void Problem(std::string text) { m_problems.push_back(std::move(text)); }
    bool CheckContents(const std::string& path);
    void CheckMode(const std::string& path);
    void CheckHeader();
    void CheckKey(int k);
    bool ReadLevel(int k, const std::vector<LevelNode>& wanted, std::set<std::int32_t>& seen,
                   std::vector<IndexNode>& level);
    std::vector<LevelNode> ChildrenOf(int k, const std::vector<IndexNode>& level) const;
    bool CheckNode(int k, const IndexNode& n, const LevelNode& wanted, bool leafLevel);
    void CheckLevelLinks(int k, const std::vector<IndexNode>& level, int depth);
    std::int64_t CheckLeafEntries(int k, const IndexNode& leaf);
    std::int64_t CheckChain(int k, const IndexNode& leaf, int slot);
    void CheckRecordKey(int k, const IndexNode& leaf, int slot, std::int32_t record);
    void CheckFreeRecords();
    void CheckFreeEntries();
    void CheckFreeBlocks();

    CTableStore m_store;
    CTableFile& m_file = m_store.m_file;
    TableHeader& m_header = m_store.m_header;
    CSchema& m_schema = m_store.m_schema;
    std::vector<std::string> m_problems;
    std::set<std::int32_t> m_seenEntries;
};
