// Append, Update and Delete: slot and tombstone reuse, AutoInc, duplicate chains,
// field access and the messages of record access.
#include <gtest/gtest.h>

#include "db/KorvTable.h"
#include "tests/db/TableFixtures.h"
#include "tests/support/TempDir.h"

namespace {

class KorvTableChange : public ::testing::Test {
protected:
    void SetUp() override {
        DefineFolderSchema(m_table);
        ASSERT_TRUE(m_table.Create(m_path));
        for (const char* name : {"alpha", "beta", "gamma"})
            ASSERT_TRUE(AppendFolder(m_table, name));
    }
    // Entries in the last leaf of `key` (the header on disk is current only after Close).
    std::int32_t LeafCount(int key) {
        return ReadI32At(m_path, static_cast<std::size_t>(
                                     m_table.Header().lastLeaf[static_cast<std::size_t>(key)]));
    }

    TempDir m_dir;
    std::string m_path = m_dir.Path("t.sdb");
    CKorvTable m_table;
};

TEST_F(KorvTableChange, DeletedSlotIsReusedByASmallerRecord) {
    ASSERT_TRUE(m_table.SeekByName("name", "beta"));
    const std::int32_t slot = m_table.CurrentPosition(1);
    const std::int16_t oldLength = ReadI16At(m_path, static_cast<std::size_t>(slot));
    ASSERT_TRUE(m_table.Delete());
    EXPECT_FALSE(m_table.SeekByName("name", "beta"));
    ASSERT_TRUE(AppendFolder(m_table, "b", "/"));
    ASSERT_TRUE(m_table.SeekByName("name", "b"));
    EXPECT_EQ(m_table.CurrentPosition(1), slot);
    EXPECT_EQ(ReadI16At(m_path, static_cast<std::size_t>(slot)), oldLength - 3 - 3);
    EXPECT_EQ(m_table.RecordCount(), 3);
    m_table.Close();
    EXPECT_EQ(CheckTable(m_path), 0);
}

TEST_F(KorvTableChange, LargestKeyComesBackIntoItsTombstone) {
    ASSERT_TRUE(m_table.SeekByName("name", "gamma"));
    ASSERT_TRUE(m_table.Delete());
    const std::size_t size = FileSize(m_path);
    ASSERT_TRUE(AppendFolder(m_table, "gamma"));  // AutoInc 3 again: the highest was deleted
    EXPECT_EQ(LeafCount(0), 3);
    EXPECT_EQ(LeafCount(1), 3);
    EXPECT_EQ(FileSize(m_path), size);  // slot and both tombstones reused
    ASSERT_TRUE(m_table.SeekByName("name", "gamma"));
    EXPECT_EQ(m_table.GetFieldText("id"), "3");
    EXPECT_EQ(m_table.GetLastId(), 3);
}

TEST_F(KorvTableChange, UniqueKeyRefusesRepeatAndWritesNothing) {
    const std::size_t size = FileSize(m_path);
    EXPECT_FALSE(AppendFolder(m_table, "alpha"));
    EXPECT_EQ(m_table.GetLastError(), "the key is unduplicated");
    EXPECT_TRUE(m_table.IsDuplicateKey());
    EXPECT_EQ(FileSize(m_path), size);
    EXPECT_EQ(m_table.RecordCount(), 3);
}

TEST_F(KorvTableChange, MoveNextPastTheEndKeepsPosition) {
    ASSERT_TRUE(m_table.MoveLast(1));
    EXPECT_FALSE(m_table.MoveNext(1));
    EXPECT_EQ(m_table.GetFieldText("name"), "gamma");
    EXPECT_FALSE(m_table.MoveNext(7));
}

TEST_F(KorvTableChange, UpdateKeepsRecordFindableByEveryKey) {
    ASSERT_TRUE(m_table.SeekByName("name", "beta"));
    ASSERT_TRUE(m_table.SetFieldText("dir", "/elsewhere"));
    ASSERT_TRUE(m_table.Update());
    EXPECT_EQ(m_table.RecordCount(), 3);
    const std::int32_t id = 2;
    ASSERT_TRUE(m_table.Seek(0, &id));
    EXPECT_EQ(m_table.GetFieldText("dir"), "/elsewhere");
    ASSERT_TRUE(m_table.SeekByName("name", "beta"));
    EXPECT_EQ(m_table.GetFieldText("id"), "2");

    ASSERT_TRUE(m_table.SetFieldText("name", "delta"));  // a key change
    ASSERT_TRUE(m_table.Update());
    EXPECT_FALSE(m_table.SeekByName("name", "beta"));
    ASSERT_TRUE(m_table.SeekByName("name", "delta"));
    EXPECT_EQ(m_table.GetFieldText("id"), "2");
    m_table.Close();
    EXPECT_EQ(CheckTable(m_path), 0);
}

TEST_F(KorvTableChange, UpdateToATakenKeyRestoresTheOldRecord) {
    ASSERT_TRUE(m_table.SeekByName("name", "beta"));
    ASSERT_TRUE(m_table.SetFieldText("name", "alpha"));
    EXPECT_FALSE(m_table.Update());
    EXPECT_EQ(m_table.GetLastError(), "the key is unduplicated");
    EXPECT_TRUE(m_table.IsDuplicateKey());
    ASSERT_TRUE(m_table.SeekByName("name", "beta"));
    EXPECT_EQ(m_table.GetFieldText("id"), "2");
    EXPECT_EQ(m_table.RecordCount(), 3);
    m_table.Close();
    EXPECT_EQ(CheckTable(m_path), 0);
}

TEST_F(KorvTableChange, RecordAccessMessages) {
    m_table.Close();  // a second object on the same file would wait for this one
    CKorvTable fresh;
    ASSERT_TRUE(fresh.Open(m_path));
    EXPECT_FALSE(fresh.Delete());
    EXPECT_EQ(fresh.GetLastError(), "Can't locate a record  ");
    EXPECT_FALSE(fresh.Update());
    EXPECT_EQ(fresh.GetLastError(), "current key invalid");
    EXPECT_EQ(fresh.GetFieldText("name"), "");  // nothing current yet
    const std::int32_t v = 5;
    EXPECT_FALSE(fresh.SetFieldValue("id", v));
    EXPECT_EQ(fresh.GetLastError(), "field invalidation");
    EXPECT_FALSE(fresh.SetFieldText("id", "5"));
    EXPECT_FALSE(fresh.SetFieldValue("nosuchfield", v));
    ASSERT_TRUE(fresh.MoveFirst(0));
    std::int32_t id = 0;
    ASSERT_TRUE(fresh.GetFieldValue("id", id));
    EXPECT_EQ(id, 1);
    char small[2];
    EXPECT_FALSE(fresh.GetFieldValue("name", small, sizeof small));  // wider than the room
    ASSERT_TRUE(fresh.Delete());
    EXPECT_FALSE(fresh.Delete());  // the current key has no record now
    fresh.Close();

    CKorvTable blocks;
    ASSERT_TRUE(blocks.AddField("n", FieldType::Long, -1));
    ASSERT_TRUE(blocks.AddField("b", FieldType::Block, -1));
    ASSERT_TRUE(blocks.AddKey("n", KeyKind::Unique, 0));
    ASSERT_TRUE(blocks.Create(m_dir.Path("b.sdb")));
    ASSERT_TRUE(blocks.SetFieldText("n", "1") && blocks.Append());
    ASSERT_TRUE(blocks.MoveFirst(0));
    char b[8];
    EXPECT_FALSE(blocks.GetFieldValue("b", b, sizeof b));
    EXPECT_EQ(blocks.GetLastError(), "field invalidation");
    EXPECT_FALSE(blocks.SetFieldValue("b", b, sizeof b));
    EXPECT_EQ(blocks.GetFieldText("b"), "");
}

TEST_F(KorvTableChange, ReadModeRefusesChanges) {
    m_table.Close();
    CKorvTable t;
    ASSERT_TRUE(t.Open(m_path, OpenMode::Read));
    ASSERT_TRUE(t.MoveFirst(1));
    EXPECT_FALSE(t.Delete());
    EXPECT_FALSE(AppendFolder(t, "zeta"));
    EXPECT_EQ(t.GetLastError(), "table is open for reading only");
}

TEST_F(KorvTableChange, FieldTextConversions) {
    m_table.Close();
    CKorvTable t;
    ASSERT_TRUE(t.AddField("s", FieldType::Short, -1));
    ASSERT_TRUE(t.AddField("f", FieldType::Float, -1));
    ASSERT_TRUE(t.AddField("d", FieldType::Double, -1));
    ASSERT_TRUE(t.AddField("y", FieldType::Byte, -1));
    ASSERT_TRUE(t.AddKey("s", KeyKind::Duplicates, 0));
    ASSERT_TRUE(t.Create(m_dir.Path("c.sdb")));
    ASSERT_TRUE(t.SetFieldText("s", "  -42abc") && t.SetFieldText("f", "1.5") &&
                t.SetFieldText("d", ".25e2") && t.SetFieldText("y", " -3x") && t.Append());
    ASSERT_TRUE(t.MoveFirst(0));
    EXPECT_EQ(t.GetFieldText("s"), "-42");
    EXPECT_EQ(t.GetFieldText("f"), "1.500000");
    EXPECT_EQ(t.GetFieldText("d"), "25.00000000000000");
    EXPECT_EQ(t.GetFieldText("y"), "1");
    ASSERT_TRUE(t.SetFieldText("s", "x") && t.SetFieldText("y", "0") && t.Append());
    const std::int16_t zero = 0;
    ASSERT_TRUE(t.Seek(0, &zero));
    EXPECT_EQ(t.GetFieldText("y"), "0");
}

TEST_F(KorvTableChange, TooLongRecordIsRefused) {
    m_table.Close();
    CKorvTable t;
    for (int i = 0; i < 64; ++i)
        ASSERT_TRUE(t.AddField("t" + std::to_string(i), FieldType::Text, 1024));
    ASSERT_TRUE(t.AddKey("t0", KeyKind::Unique, 0));
    ASSERT_TRUE(t.Create(m_dir.Path("long.sdb")));
    const std::string full(1024, 'x');
    for (int i = 0; i < 64; ++i) ASSERT_TRUE(t.SetFieldText(i, full));
    EXPECT_FALSE(t.Append());
    EXPECT_EQ(FileSize(m_dir.Path("long.sdb")), 15472u);
    ASSERT_TRUE(t.SetFieldText(5, "") && t.Append());
}

// Keys of kind 1 keep every record with the same value in a chain, in insertion order.
TEST(KorvTableChains, DuplicateChainsGrowShrinkAndEmpty) {
    TempDir dir;
    const std::string path = dir.Path("t.sdb");
    CKorvTable t;
    ASSERT_TRUE(t.AddField("id", FieldType::AutoInc, -1));
    ASSERT_TRUE(t.AddField("group", FieldType::Long, -1));
    ASSERT_TRUE(t.AddKey("group", KeyKind::Duplicates, 1));
    ASSERT_TRUE(t.Create(path));
    const std::int32_t seven = 7;
    const std::int32_t three = 3;
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(t.SetFieldValue("group", seven) && t.Append());
    ASSERT_TRUE(t.SetFieldValue("group", three) && t.Append());
    auto walk = [&t]() {
        std::string ids;
        for (bool ok = t.MoveFirst(1); ok; ok = t.MoveNext(1)) ids += t.GetFieldText("id");
        return ids;
    };
    EXPECT_EQ(walk(), "612345");
    ASSERT_TRUE(t.MoveLast(1));
    EXPECT_EQ(t.GetFieldText("id"), "5");
    ASSERT_TRUE(t.Seek(1, &seven));
    EXPECT_EQ(t.GetFieldText("id"), "1");

    const std::int32_t three_id = 3;
    ASSERT_TRUE(t.Seek(0, &three_id));  // not through the chain: the chain is searched
    ASSERT_TRUE(t.Delete());
    EXPECT_EQ(walk(), "61245");
    ASSERT_TRUE(t.Seek(1, &seven));  // the head itself, through the chain
    ASSERT_TRUE(t.Delete());
    EXPECT_EQ(walk(), "6245");
    ASSERT_TRUE(t.MoveLast(1));  // the chain's last entry
    ASSERT_TRUE(t.Delete());
    EXPECT_EQ(walk(), "624");
    ASSERT_TRUE(t.Seek(1, &seven) && t.MoveNext(1));
    EXPECT_EQ(t.GetFieldText("id"), "4");
    t.Close();
    std::string report;
    EXPECT_EQ(CheckTable(path, &report), 0) << report;

    ASSERT_TRUE(t.Open(path));
    for (int id : {2, 4}) {
        ASSERT_TRUE(t.Seek(0, &id));
        ASSERT_TRUE(t.Delete());
    }
    EXPECT_EQ(walk(), "6");
    ASSERT_TRUE(t.SetFieldValue("group", seven) &&
                t.Append());  // into the emptied chain's tombstone
    ASSERT_TRUE(t.SetFieldValue("group", seven) && t.Append());  // a new chain from freed entries
    EXPECT_EQ(walk(), "678");
    t.Close();
    EXPECT_EQ(CheckTable(path, &report), 0) << report;
}

}  // namespace
