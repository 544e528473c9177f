// Field and key definitions: limits, defaults and every definition message.
#include <gtest/gtest.h>

#include "db/KorvTable.h"
#include "tests/db/TableFixtures.h"
#include "tests/support/TempDir.h"

namespace {

TEST(KorvTableDefine, AutoIncOwnsKeyZeroAndTextKeyDefaults) {
    TempDir dir;
    CKorvTable t;
    ASSERT_TRUE(t.AddField("id", FieldType::AutoInc, -1));
    ASSERT_TRUE(t.AddField("name", FieldType::Text, 64));
    ASSERT_TRUE(t.AddKey("name", KeyKind::Unique, 1, 0, 0, -1));
    ASSERT_TRUE(t.Create(dir.Path("t.sdb")));
    const TableHeader& h = t.Header();
    ASSERT_EQ(h.keyCount, 2);
    EXPECT_STREQ(h.keyNames[0].data(), "id");
    EXPECT_EQ(h.keyKinds[0], 2);
    EXPECT_EQ(h.segLength[0][0], 4);
    EXPECT_STREQ(h.keyNames[1].data(), "name");
    EXPECT_EQ(h.segMode[1][0], 1);
    EXPECT_EQ(h.segStart[1][0], 0);
    EXPECT_EQ(h.segLength[1][0], 64);
}

TEST(KorvTableDefine, TextKeySlicesAndModes) {
    TempDir dir;
    CKorvTable t;
    ASSERT_TRUE(t.AddField("wide", FieldType::Text, 300));
    ASSERT_TRUE(t.AddKey("whole", KeyKind::Unique, 0, 0, 0, -1));
    ASSERT_TRUE(t.AddKey("k200", KeyKind::Unique, 0, 7, 0, 200));
    ASSERT_TRUE(t.AddKey("slice", KeyKind::Duplicates, 0, 2, 8, 16));
    ASSERT_TRUE(t.AddKey("badstart", KeyKind::Unique, 0, 1, 300, 10));
    ASSERT_TRUE(t.Create(dir.Path("t.sdb")));
    const TableHeader& h = t.Header();
    EXPECT_EQ(h.segLength[0][0], 128);
    EXPECT_EQ(h.segMode[0][0], 1);  // mode 0 becomes 1
    EXPECT_EQ(h.segLength[1][0], 128);
    EXPECT_EQ(h.segMode[1][0], 1);  // mode 7 becomes 1
    EXPECT_EQ(h.segStart[2][0], 8);
    EXPECT_EQ(h.segLength[2][0], 16);
    EXPECT_EQ(h.segMode[2][0], 2);
    EXPECT_EQ(h.segStart[3][0], 0);  // start past the field becomes 0
}

TEST(KorvTableDefine, FieldMessages) {
    CKorvTable t;
    ASSERT_TRUE(t.AddField(" Name ", FieldType::Text, 10));
    EXPECT_FALSE(t.AddField("name", FieldType::Long, -1));
    EXPECT_EQ(t.GetLastError(), "The FieldName exist already!");
    EXPECT_FALSE(t.AddField("t0", FieldType::Text, 0));
    EXPECT_EQ(t.GetLastError(), "field length must between 1 and 1024");
    EXPECT_FALSE(t.AddField("t1", FieldType::Text, 1025));
    EXPECT_EQ(t.GetLastError(), "field length must between 1 and 1024");
    ASSERT_TRUE(t.AddField("a1", FieldType::AutoInc, -1));
    EXPECT_FALSE(t.AddField("a2", FieldType::AutoInc, -1));
    EXPECT_EQ(t.GetLastError(), "Too many AutoInc fields");
    EXPECT_EQ(t.Header().fieldCount, 3);  // the second AutoInc stays defined
    EXPECT_EQ(t.FindField("NAME"), 0);
}

TEST(KorvTableDefine, FieldCountOverflowClearsFields) {
    CKorvTable t;
    for (int i = 0; i < 128; ++i)
        ASSERT_TRUE(t.AddField("f" + std::to_string(i), FieldType::Long, -1));
    EXPECT_FALSE(t.AddField("f128", FieldType::Long, -1));
    EXPECT_EQ(t.GetLastError(), "Field count must less than 128  ");
    EXPECT_EQ(t.Header().fieldCount, 0);
}

TEST(KorvTableDefine, KeyMessages) {
    CKorvTable t;
    EXPECT_FALSE(t.AddKey("k", KeyKind::Unique, 0));
    EXPECT_EQ(t.GetLastError(), "must create field first");
    ASSERT_TRUE(t.AddField("n", FieldType::Long, -1));
    ASSERT_TRUE(t.AddField("b", FieldType::Block, -1));
    EXPECT_FALSE(t.AddKey("k", KeyKind::Unique, 2));
    EXPECT_EQ(t.GetLastError(), "FieldNo must less than 2");
    EXPECT_FALSE(t.AddKey("blk", KeyKind::Unique, 1));
    EXPECT_EQ(t.GetLastError(), "This field can't be key!");
    ASSERT_TRUE(t.AddKey(" Key ", KeyKind::Unique, 0));
    EXPECT_FALSE(t.AddKey("key", KeyKind::Unique, 0));
    EXPECT_EQ(t.GetLastError(), "The KeyName exist already!");
    for (int i = 1; i < 10; ++i)
        ASSERT_TRUE(t.AddKey("k" + std::to_string(i), KeyKind::Duplicates, 0));
    EXPECT_FALSE(t.AddKey("k10", KeyKind::Unique, 0));
    EXPECT_EQ(t.GetLastError(), "key count must less than 10  ");
}

TEST(KorvTableDefine, CreateAndOpenMessages) {
    TempDir dir;
    {
        CKorvTable t;
        ASSERT_TRUE(t.AddField("n", FieldType::Long, -1));
        EXPECT_FALSE(t.Create(dir.Path("nokey.sdb")));
        EXPECT_EQ(t.GetLastError(), "Create Index error,please CreateKey first!");
        EXPECT_EQ(FileSize(dir.Path("nokey.sdb")), 0u);
    }
    EXPECT_EQ(FileSize(dir.Path("nokey.sdb")), 0u);
    CKorvTable t;
    ASSERT_TRUE(t.AddField("n", FieldType::Long, -1));
    ASSERT_TRUE(t.AddKey("n", KeyKind::Unique, 0));
    EXPECT_FALSE(t.Create(dir.Path("missing/t.sdb")));
    EXPECT_EQ(t.GetLastError(), "can't create file ");
    ASSERT_TRUE(t.Create(dir.Path("t.sdb")));
    EXPECT_FALSE(t.AddField("late", FieldType::Long, -1));
    EXPECT_EQ(t.GetLastError(), "must do before create db");
    EXPECT_FALSE(t.AddKey("late", KeyKind::Unique, 0));
    EXPECT_EQ(t.GetLastError(), "must do before create db");
    t.Close();

    EXPECT_FALSE(t.Open(dir.Path("absent.sdb")));
    EXPECT_EQ(t.GetLastError(), "file can't be  opened!");
    PatchI16(dir.Path("t.sdb"), 15250, 0);
    EXPECT_FALSE(t.Open(dir.Path("t.sdb")));
    EXPECT_EQ(t.GetLastError(), "key not found");
    EXPECT_TRUE(t.IsOpen());  // stays open, but nothing can be found or written
    EXPECT_FALSE(t.Append());
    EXPECT_EQ(t.GetLastError(), "key not found");
}

}  // namespace
