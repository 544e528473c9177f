// Large indexes: three levels of nodes, key-order walks for Long and Text keys in both
// compare modes, and searches.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "db/KorvTable.h"
#include "tests/db/TableFixtures.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int kRows = 10000;

std::string NameOf(int i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Name%05d", (i * 7919) % kRows);  // a scattered order
    return buf;
}

// A table with an AutoInc key, a unique Text key in `mode` and a Long key of kind 1.
void DefineNames(CKorvTable& t, int mode) {
    ASSERT_TRUE(t.AddField("id", FieldType::AutoInc, -1));
    ASSERT_TRUE(t.AddField("name", FieldType::Text, 40));
    ASSERT_TRUE(t.AddField("score", FieldType::Long, -1));
    ASSERT_TRUE(t.AddKey("name", KeyKind::Unique, 1, mode, 0, -1));
    ASSERT_TRUE(t.AddKey("score", KeyKind::Duplicates, 2));
}

int Depth(const std::string& path, int key) {
    std::int32_t pos = ReadI32At(path, 15252 + 4 * static_cast<std::size_t>(key));
    int depth = 0;
    while (pos != -1 && depth < 10) {
        ++depth;
        pos = ReadI32At(path, static_cast<std::size_t>(pos) + 4);  // child[0]
    }
    return depth;
}

class KorvTableIndex : public ::testing::TestWithParam<int> {};

TEST_P(KorvTableIndex, TenThousandRowsWalkInKeyOrder) {
    TempDir dir;
    const std::string path = dir.Path("t.sdb");
    const int mode = GetParam();
    {
        CKorvTable t;
        DefineNames(t, mode);
        ASSERT_TRUE(t.Create(path));
        for (int i = 0; i < kRows; ++i) {
            std::string name = NameOf(i);
            if (mode == 2 && i % 2 == 1)
                std::transform(name.begin(), name.end(), name.begin(), ::toupper);
            const std::int32_t score = i % 97;
            ASSERT_TRUE(t.SetFieldText("name", name) && t.SetFieldValue("score", score));
            ASSERT_TRUE(t.Append()) << t.GetLastError() << " at " << i;
        }
        EXPECT_EQ(t.GetLastId(), kRows);
    }
    EXPECT_EQ(Depth(path, 0), 2);
    EXPECT_EQ(Depth(path, 1), 2);
    std::string report;
    EXPECT_EQ(CheckTable(path, &report), 0) << report;

    CKorvTable t;
    ASSERT_TRUE(t.Open(path, OpenMode::Read));
    int n = 0;
    for (bool ok = t.MoveFirst(0); ok; ok = t.MoveNext(0))
        EXPECT_EQ(t.GetFieldText("id"), std::to_string(++n));
    EXPECT_EQ(n, kRows);

    std::string previous;
    n = 0;
    for (bool ok = t.MoveFirst(1); ok; ok = t.MoveNext(1), ++n) {
        std::string name = t.GetFieldText("name");
        if (mode == 2) std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        EXPECT_LT(previous, name);
        previous = name;
    }
    EXPECT_EQ(n, kRows);

    std::int32_t previousScore = -1;
    n = 0;
    for (bool ok = t.MoveFirst(2); ok; ok = t.MoveNext(2), ++n) {
        std::int32_t score = 0;
        ASSERT_TRUE(t.GetFieldValue("score", score));
        EXPECT_LE(previousScore, score);
        previousScore = score;
    }
    EXPECT_EQ(n, kRows);

    for (int i = 0; i < kRows; i += 333) {
        std::int32_t id = i + 1;
        ASSERT_TRUE(t.Seek(0, &id));
        std::string name = NameOf(i);
        const std::string wanted = mode == 2 ? "nAmE" + name.substr(4) : name;
        ASSERT_TRUE(t.SeekByName(" NAME ", wanted.c_str())) << name;
        EXPECT_EQ(t.GetFieldText("id"), std::to_string(i + 1));
    }
    EXPECT_FALSE(t.SeekByName("name", "Name99999"));
    EXPECT_FALSE(t.SeekByName("nokey", "Name00000"));
}

// Appends at the right edge leave leaves half full (100 entries), so a third level needs
// more than 200 leaves.
TEST(KorvTableIndexDepth, ThreeLevels) {
    TempDir dir;
    const std::string path = dir.Path("t.sdb");
    constexpr int kMany = 20500;
    {
        CKorvTable t;
        ASSERT_TRUE(t.AddField("id", FieldType::AutoInc, -1));
        ASSERT_TRUE(t.AddField("v", FieldType::Long, -1));
        ASSERT_TRUE(t.AddKey("v", KeyKind::Unique, 1));
        ASSERT_TRUE(t.Create(path));
        for (int i = 0; i < kMany; ++i) {
            const std::int32_t v = kMany - i;  // descending: inserts at the left edge
            ASSERT_TRUE(t.SetFieldValue("v", v) && t.Append()) << t.GetLastError();
        }
    }
    EXPECT_EQ(Depth(path, 0), 3);
    std::string report;
    EXPECT_EQ(CheckTable(path, &report), 0) << report;
    CKorvTable t;
    ASSERT_TRUE(t.Open(path, OpenMode::Read));
    std::int32_t expected = 0;
    for (bool ok = t.MoveFirst(1); ok; ok = t.MoveNext(1)) {
        std::int32_t v = 0;
        ASSERT_TRUE(t.GetFieldValue("v", v));
        ASSERT_EQ(v, ++expected);
    }
    EXPECT_EQ(expected, kMany);
}

INSTANTIATE_TEST_SUITE_P(BothTextModes, KorvTableIndex, ::testing::Values(1, 2));

TEST(KorvTableIndexOrder, CaseInsensitiveFoldsToLowerCase) {
    TempDir dir;
    for (const int mode : {1, 2}) {
        CKorvTable t;
        ASSERT_TRUE(t.AddField("name", FieldType::Text, 8));
        ASSERT_TRUE(t.AddKey("name", KeyKind::Unique, 0, mode, 0, -1));
        ASSERT_TRUE(t.Create(dir.Path("t" + std::to_string(mode) + ".sdb")));
        for (const char* name : {"aB", "a_", "Ab0"})
            ASSERT_TRUE(t.SetFieldText("name", name) && t.Append());
        std::vector<std::string> order;
        for (bool ok = t.MoveFirst(0); ok; ok = t.MoveNext(0))
            order.push_back(t.GetFieldText("name"));
        if (mode == 1)
            EXPECT_EQ(order, (std::vector<std::string>{"Ab0", "aB", "a_"}));
        else
            EXPECT_EQ(order, (std::vector<std::string>{"a_", "aB", "Ab0"}));
    }
}

TEST(KorvTableIndexOrder, SearchEdgeCases) {
    TempDir dir;
    const std::string path = dir.Path("t.sdb");
    CKorvTable t;
    ASSERT_TRUE(t.AddField("name", FieldType::Text, 8));
    ASSERT_TRUE(t.AddField("d", FieldType::Double, -1));
    ASSERT_TRUE(t.AddKey("name", KeyKind::Unique, 0, 1, 0, 4));
    ASSERT_TRUE(t.AddKey("d", KeyKind::Unique, 1));
    ASSERT_TRUE(t.Create(path));
    EXPECT_FALSE(t.Seek(0, "abc"));  // empty table
    ASSERT_TRUE(t.SetFieldText("name", "abcdefg") && t.SetFieldText("d", "-2.5e1xyz") &&
                t.Append());
    EXPECT_TRUE(t.Seek(0, "abcd"));    // the key holds 4 bytes
    EXPECT_FALSE(t.Seek(0, "abcde"));  // one longer than the key: not searched
    const double d = -25.0;
    ASSERT_TRUE(t.Seek(1, &d));
    EXPECT_EQ(t.GetFieldText("d"), "-25.00000000000000");
    EXPECT_FALSE(t.Seek(5, "abcd"));
}

// Random inserts and deletes, checked against a model after every batch.
TEST(KorvTableIndexOrder, RandomChangesMatchModel) {
    TempDir dir;
    const std::string path = dir.Path("t.sdb");
    std::mt19937 rng(42);
    std::set<std::string> model;
    CKorvTable t;
    DefineNames(t, 1);
    ASSERT_TRUE(t.Create(path));
    for (int step = 0; step < 6000; ++step) {
        const std::string name = "n" + std::to_string(rng() % 1500);
        if (rng() % 3 != 0) {
            const std::int32_t score = static_cast<std::int32_t>(rng() % 5);
            ASSERT_TRUE(t.SetFieldText("name", name) && t.SetFieldValue("score", score));
            EXPECT_EQ(t.Append(), model.insert(name).second) << name;
        } else if (t.SeekByName("name", name.c_str())) {
            ASSERT_TRUE(t.Delete()) << t.GetLastError();
            model.erase(name);
        } else {
            EXPECT_EQ(model.count(name), 0u);
        }
    }
    std::vector<std::string> walked;
    for (bool ok = t.MoveFirst(1); ok; ok = t.MoveNext(1)) walked.push_back(t.GetFieldText("name"));
    EXPECT_EQ(walked, std::vector<std::string>(model.begin(), model.end()));
    int viaScore = 0;
    for (bool ok = t.MoveFirst(2); ok; ok = t.MoveNext(2)) ++viaScore;
    EXPECT_EQ(viaScore, static_cast<int>(model.size()));
    t.Close();
    std::string report;
    EXPECT_EQ(CheckTable(path, &report), 0) << report;
}

}  // namespace
