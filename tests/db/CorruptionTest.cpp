// Damaged files: every operation fails or finds nothing, never crashes or hangs, and
// `db check` reports the damage.
#include <gtest/gtest.h>

#include <random>

#include "db/KorvTable.h"
#include "tests/db/TableFixtures.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int kRows = 600;  // two levels for both keys

// Runs every kind of operation on `path`; what they return does not matter here.
void Exercise(const std::string& path) {
    CKorvTable t;
    if (!t.Open(path)) return;
    for (int k = 0; k < 2; ++k) {
        int steps = 0;
        for (bool ok = t.MoveFirst(k); ok && steps < 5 * kRows; ok = t.MoveNext(k)) ++steps;
        EXPECT_LT(steps, 5 * kRows);  // a walk ends by itself
        static_cast<void>(t.MoveLast(k));
    }
    for (int i = 0; i < kRows; i += 37) {
        const std::int32_t id = i + 1;
        if (t.Seek(0, &id)) static_cast<void>(t.Delete());
        char name[32];
        std::snprintf(name, sizeof name, "folder%05d", i + 1);
        if (t.SeekByName("name", name)) {
            static_cast<void>(t.SetFieldText("dir", "/changed"));
            static_cast<void>(t.Update());
        }
    }
    for (int i = 0; i < 30; ++i) static_cast<void>(AppendFolder(t, "new" + std::to_string(i)));
    static_cast<void>(t.GetLastId());
}

class KorvTableCorruption : public ::testing::Test {
protected:
    void SetUp() override { WriteFolderTable(m_path, kRows); }
    std::size_t Root(int k) {
        return static_cast<std::size_t>(ReadI32At(m_path, 15252 + 4 * static_cast<std::size_t>(k)));
    }
    std::size_t FirstLeaf(int k) {
        return static_cast<std::size_t>(ReadI32At(m_path, 15292 + 4 * static_cast<std::size_t>(k)));
    }
    void ExpectReported() {
        std::string report;
        EXPECT_EQ(CheckTable(m_path, &report), 1) << report;
    }

    TempDir m_dir;
    std::string m_path = m_dir.Path("t.sdb");
};

TEST_F(KorvTableCorruption, TruncatedInsideTheIndex) {
    TruncateFile(m_path, FileSize(m_path) - 5000);
    ExpectReported();
    Exercise(m_path);
}

TEST_F(KorvTableCorruption, TruncatedInsideTheHeader) {
    TruncateFile(m_path, 15000);
    ExpectReported();
    Exercise(m_path);
}

TEST_F(KorvTableCorruption, NodeCountOf500IsNotFound) {
    PatchI32(m_path, Root(1), 500);
    ExpectReported();
    CKorvTable t;
    ASSERT_TRUE(t.Open(m_path));
    EXPECT_FALSE(t.SeekByName("name", "folder00010"));
    EXPECT_FALSE(AppendFolder(t, "zzz"));
    t.Close();
    Exercise(m_path);
}

TEST_F(KorvTableCorruption, CyclicLevelLinksEndTheWalk) {
    const std::size_t leaf = FirstLeaf(0);
    const std::int32_t next = ReadI32At(m_path, leaf + 1624);
    PatchI32(m_path, static_cast<std::size_t>(next) + 1624, static_cast<std::int32_t>(leaf));
    ExpectReported();
    CKorvTable t;
    ASSERT_TRUE(t.Open(m_path, OpenMode::Read));
    int steps = 0;
    for (bool ok = t.MoveFirst(0); ok && steps < 100000; ok = t.MoveNext(0)) ++steps;
    EXPECT_LT(steps, 100000);
    t.Close();
    Exercise(m_path);
}

TEST_F(KorvTableCorruption, CyclicFreeListIsCutShort) {
    {
        CKorvTable t;
        ASSERT_TRUE(t.Open(m_path));
        for (const char* name : {"folder00001", "folder00002"}) {
            ASSERT_TRUE(t.SeekByName("name", name));
            ASSERT_TRUE(t.Delete());
        }
    }
    const std::int32_t head = ReadI32At(m_path, 15372);
    PatchI32(m_path, static_cast<std::size_t>(head) + 2, head);  // the slot names itself
    ExpectReported();
    CKorvTable t;
    ASSERT_TRUE(t.Open(m_path));
    const std::string longName(60, 'x');  // fits no free slot: the whole list is probed
    EXPECT_TRUE(AppendFolder(t, longName, std::string(500, 'd')));
    EXPECT_TRUE(t.SeekByName("name", longName.c_str()));
}

TEST_F(KorvTableCorruption, PackedLengthPastTheEnd) {
    CKorvTable t;
    ASSERT_TRUE(t.Open(m_path));
    ASSERT_TRUE(t.SeekByName("name", "folder00007"));
    const std::int32_t pos = t.CurrentPosition(1);
    t.Close();
    PatchI16(m_path, static_cast<std::size_t>(pos), static_cast<std::int16_t>(-2));  // 65534
    TruncateFile(m_path, static_cast<std::size_t>(pos) + 100);
    ASSERT_TRUE(t.Open(m_path));
    EXPECT_FALSE(t.SeekByName("name", "folder00007"));
    t.Close();
    Exercise(m_path);
}

TEST_F(KorvTableCorruption, TextLengthPastItsField) {
    CKorvTable t;
    ASSERT_TRUE(t.Open(m_path));
    ASSERT_TRUE(t.SeekByName("name", "folder00009"));
    const std::int32_t pos = t.CurrentPosition(1);
    t.Close();
    PatchI16(m_path, static_cast<std::size_t>(pos) + 6, 5000);  // the name's byte count
    ExpectReported();
    ASSERT_TRUE(t.Open(m_path));
    EXPECT_FALSE(t.SeekByName("name", "folder00009"));
    t.Close();
    Exercise(m_path);
}

TEST_F(KorvTableCorruption, PositionsInsideTheHeaderAreNeverFollowed) {
    PatchI32(m_path, 15252, 100);  // root of key 0
    PatchI32(m_path, 15372, 20);   // free record list head
    PatchI32(m_path, 15376, 30);   // free entry list head
    const std::string before = ReadFile(m_path).substr(0, 15372);
    ExpectReported();
    {
        CKorvTable t;
        ASSERT_TRUE(t.Open(m_path));
        const std::int32_t id = 3;
        EXPECT_FALSE(t.Seek(0, &id));
        EXPECT_FALSE(AppendFolder(t, "another"));  // key 0 cannot take it
    }
    EXPECT_EQ(ReadFile(m_path).substr(0, 15372), before);
}

TEST_F(KorvTableCorruption, HeaderCountsOutOfRangeFailOpen) {
    PatchI16(m_path, 4648, 300);  // field count
    CKorvTable t;
    EXPECT_FALSE(t.Open(m_path));
    EXPECT_FALSE(t.IsOpen());
    ExpectReported();
}

// Random damage anywhere in the body: operations may fail but must stay in bounds.
TEST_F(KorvTableCorruption, RandomByteDamage) {
    const std::string original = ReadFile(m_path);
    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
        std::string bytes = original;
        for (int i = 0; i < 20; ++i) {
            const std::size_t at = 15252 + rng() % (bytes.size() - 15252);
            bytes[at] = static_cast<char>(rng());
        }
        WriteFile(m_path, bytes);
        static_cast<void>(CheckTable(m_path));
        Exercise(m_path);
    }
}

}  // namespace
