// The bytes a table file holds: header offsets, packed and fixed records, node layout.
#include <gtest/gtest.h>

#include "db/Format.h"
#include "db/KorvTable.h"
#include "tests/db/TableFixtures.h"
#include "tests/support/TempDir.h"

namespace {

std::string Text(const std::string& path, std::size_t offset, std::size_t n) {
    return ReadFile(path).substr(offset, n);
}

TEST(KorvTableFormat, EmptyFolderTableHeaderBytes) {
    TempDir dir;
    const std::string path = dir.Path("t.sdb");
    {
        CKorvTable t;
        DefineFolderSchema(t);
        ASSERT_TRUE(t.Create(path, "demo table"));
    }
    ASSERT_EQ(FileSize(path), 15472u);
    EXPECT_EQ(Text(path, 0, 32), std::string("Korv,Signature_Talmar") + std::string(11, '\0'));
    EXPECT_EQ(ReadI32At(path, 32), 660);  // the folder schema's record length
    EXPECT_EQ(ReadI32At(path, 36), 0);
    EXPECT_EQ(Text(path, 40, 3), std::string("id\0", 3));
    EXPECT_EQ(Text(path, 40 + 32 * 15, 10), std::string("reserved2\0", 10));
    EXPECT_EQ(ReadI16At(path, 4136), 8);      // AutoInc
    EXPECT_EQ(ReadI16At(path, 4136 + 2), 5);  // Text
    EXPECT_EQ(ReadI16At(path, 4392), 4);      // AutoInc width rewritten from -1
    EXPECT_EQ(ReadI16At(path, 4392 + 2 * 2), 512);
    EXPECT_EQ(ReadI16At(path, 4392 + 2 * 3), 4);  // Long
    EXPECT_EQ(ReadI16At(path, 4648), 16);
    EXPECT_EQ(Text(path, 4650, 3), std::string("id\0", 3));
    EXPECT_EQ(Text(path, 4650 + 32, 5), std::string("name\0", 5));
    EXPECT_EQ(ReadI16At(path, 4970), 2);
    EXPECT_EQ(ReadI16At(path, 4970 + 2), 2);
    EXPECT_EQ(ReadI16At(path, 4990 + 256), 1);  // key 1 segment 0: field 1
    EXPECT_EQ(ReadI16At(path, 7550), 0);        // non-Text key: mode 0
    EXPECT_EQ(ReadI16At(path, 7550 + 256), 1);
    EXPECT_EQ(ReadI16At(path, 12670), 4);
    EXPECT_EQ(ReadI16At(path, 12670 + 256), 64);
    EXPECT_EQ(ReadI16At(path, 15230), -1);
    EXPECT_EQ(ReadI16At(path, 15250), 2);
    for (std::size_t k = 0; k < 2; ++k) {
        EXPECT_EQ(ReadI32At(path, 15252 + 4 * k), -1);
        EXPECT_EQ(ReadI32At(path, 15292 + 4 * k), -1);
        EXPECT_EQ(ReadI32At(path, 15332 + 4 * k), -1);
    }
    EXPECT_EQ(ReadI32At(path, 15372), -1);
    EXPECT_EQ(ReadI32At(path, 15376), -1);
    EXPECT_EQ(ReadI16At(path, 15380), 0);
    EXPECT_EQ(Text(path, 15382, 11), std::string("demo table\0", 11));
    EXPECT_EQ(Text(path, 15442, 5), std::string("2.60\0", 5));
    EXPECT_EQ(ReadI32At(path, 15452), -1);
    EXPECT_EQ(Text(path, 15456, 16), std::string(16, '\0'));
    EXPECT_EQ(CheckTable(path), 0);
}

TEST(KorvTableFormat, PackedRecordAndFirstLeaves) {
    TempDir dir;
    const std::string path = dir.Path("t.sdb");
    {
        CKorvTable t;
        DefineFolderSchema(t);
        ASSERT_TRUE(t.Create(path));
        ASSERT_TRUE(AppendFolder(t, "music", "/srv/m"));
    }
    // u16 length, AutoInc, name (u16 count + bytes), dir, 12 Longs, empty reserved2.
    const int length = 2 + 4 + 2 + 5 + 2 + 6 + 12 * 4 + 2;
    EXPECT_EQ(ReadI16At(path, 15472), length);
    EXPECT_EQ(ReadI32At(path, 15474), 1);
    EXPECT_EQ(ReadI16At(path, 15478), 5);
    EXPECT_EQ(Text(path, 15480, 5), "music");
    EXPECT_EQ(ReadI32At(path, 15472 + 2 + 4 + 7 + 8), 1);  // "read"
    const std::int32_t leaf0 = 15472 + length;
    EXPECT_EQ(ReadI32At(path, 15252), leaf0);
    EXPECT_EQ(ReadI32At(path, 15292), leaf0);
    EXPECT_EQ(ReadI32At(path, 15332), leaf0);
    EXPECT_EQ(ReadI32At(path, leaf0), 1);            // count
    EXPECT_EQ(ReadI32At(path, leaf0 + 4), -1);       // child[0]
    EXPECT_EQ(ReadI32At(path, leaf0 + 808), 15472);  // record[0]
    EXPECT_EQ(ReadI32At(path, leaf0 + 1612), -1);
    EXPECT_EQ(ReadI32At(path, leaf0 + 1616), leaf0);
    EXPECT_EQ(ReadI32At(path, leaf0 + 1628), 1);  // Long key
    const std::int32_t leaf1 = leaf0 + 2432;      // Long node size
    EXPECT_EQ(ReadI32At(path, 15256), leaf1);
    EXPECT_EQ(Text(path, leaf1 + 1632, 6), std::string("music\0", 6));
    EXPECT_EQ(FileSize(path), static_cast<std::size_t>(leaf1 + 1632 + 201 * 65));
    EXPECT_EQ(ReadI32At(path, 36), 1);
}

TEST(KorvTableFormat, FullWidthTextHasNoTerminator) {
    TempDir dir;
    const std::string path = dir.Path("t.sdb");
    CKorvTable t;
    ASSERT_TRUE(t.AddField("id", FieldType::AutoInc, -1));
    ASSERT_TRUE(t.AddField("code", FieldType::Text, 8));
    ASSERT_TRUE(t.AddField("after", FieldType::Long, -1));
    ASSERT_TRUE(t.Create(path));
    ASSERT_TRUE(t.SetFieldText("code", "ABCDEFGHIJ"));  // cut to the width
    const std::int32_t seven = 7;
    ASSERT_TRUE(t.SetFieldValue("after", seven));
    ASSERT_TRUE(t.Append());
    EXPECT_EQ(ReadI16At(path, 15472 + 6), 8);
    const std::int32_t id = 1;
    ASSERT_TRUE(t.Seek(0, &id));
    EXPECT_EQ(t.GetFieldText("code"), "ABCDEFGH");
    EXPECT_EQ(t.GetFieldText("after"), "7");
}

TEST(KorvTableFormat, FixedRecordFileStaysFixed) {
    TempDir dir;
    const std::string path = dir.Path("t.sdb");
    WriteFolderTable(path, 0);
    PatchI16(path, 15380, -1);
    CKorvTable t;
    ASSERT_TRUE(t.Open(path));
    ASSERT_TRUE(AppendFolder(t, "a"));
    ASSERT_TRUE(AppendFolder(t, "b"));
    EXPECT_EQ(ReadI32At(path, 15472), 1);  // fixed: the image itself, AutoInc first
    EXPECT_EQ(Text(path, 15476, 2), std::string("a\0", 2));
    ASSERT_TRUE(t.SeekByName("name", "a"));
    const std::int32_t first = t.CurrentPosition(1);
    EXPECT_EQ(first, 15472);
    ASSERT_TRUE(t.Delete());
    ASSERT_TRUE(AppendFolder(t, "c"));  // takes the freed slot
    ASSERT_TRUE(t.SeekByName("name", "c"));
    EXPECT_EQ(t.CurrentPosition(1), first);
    EXPECT_EQ(t.GetFieldText("id"), "3");
    t.Close();
    EXPECT_EQ(ReadI16At(path, 15380), -1);
    EXPECT_EQ(CheckTable(path), 0);
}

}  // namespace
