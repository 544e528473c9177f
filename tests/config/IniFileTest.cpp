#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "config/ConfigLimits.h"
#include "config/IniDocument.h"
#include "config/IniFile.h"
#include "tests/support/ReaderThreads.h"
#include "tests/support/TempDir.h"

namespace {

constexpr const char* kSample =
    "; options of the test server\r\n"
    "[server]\r\n"
    "port=21\r\n"
    "Unknown = keep me\r\n"
    "\r\n"
    "[DNS]\r\n"
    "Name=host\r\n";

TEST(IniFile, MatchesSectionsAndKeysInAnyCase) {
    TempDir dir;
    WriteFile(dir.Path("o.ini"), "[SERVER]\nPORT=2121\n[Other]\nport=99\n");
    CIniFile ini(dir.Path("o.ini"));
    EXPECT_EQ(ini.ReadInt("Server", "port", 21), 2121);
    EXPECT_EQ(ini.ReadInt("server", "Port", 21), 2121);
    EXPECT_EQ(ini.ReadInt("Server", "missing", 5), 5);
    EXPECT_EQ(ini.ReadInt("Absent", "port", 5), 5);
    EXPECT_EQ(CIniFile(dir.Path("none.ini")).ReadString("Server", "x", "dflt"), "dflt");
}

TEST(IniFile, ReadsTheLeadingIntegerOfAValue) {
    TempDir dir;
    WriteFile(dir.Path("o.ini"),
              "[s]\na=abc\nb= 7x\nc=-12z\nd=+3\ne=\nf=99999999999\ng=-99999999999\nh= - 4\n");
    CIniFile ini(dir.Path("o.ini"));
    EXPECT_EQ(ini.ReadInt("s", "a", 10), 0);
    EXPECT_EQ(ini.ReadInt("s", "b", 10), 7);
    EXPECT_EQ(ini.ReadInt("s", "c", 10), -12);
    EXPECT_EQ(ini.ReadInt("s", "d", 10), 3);
    EXPECT_EQ(ini.ReadInt("s", "e", 10), 10);  // an empty value counts as missing
    EXPECT_EQ(ini.ReadInt("s", "f", 10), 2147483647);
    EXPECT_EQ(ini.ReadInt("s", "g", 10), -2147483647 - 1);
    EXPECT_EQ(ini.ReadInt("s", "h", 10), 0);
}

TEST(IniFile, CutsLongValuesTo255BytesWithoutSplittingACharacter) {
    TempDir dir;
    const std::string ascii(300, 'a');
    const std::string utf8 = std::string(254, 'b') + "\xC3\xA9" + "tail";  // é straddles 255
    WriteFile(dir.Path("o.ini"), "[s]\nlong=" + ascii + "\nwide=" + utf8 + "\n");
    CIniFile ini(dir.Path("o.ini"));
    EXPECT_EQ(ini.ReadString("s", "long", ""), ascii.substr(0, config::kMaxProfileValue));
    EXPECT_EQ(ini.ReadString("s", "wide", ""), std::string(254, 'b'));
}

TEST(IniFile, WritingOneKeyKeepsEveryOtherByte) {
    TempDir dir;
    const std::string path = dir.Path("o.ini");
    WriteFile(path, kSample);
    CIniFile ini(path);
    ASSERT_TRUE(ini.WriteInt("Server", "Port", 2121)) << ini.GetLastError();
    std::string expected = kSample;
    expected.replace(expected.find("port=21"), 7, "port=2121");
    EXPECT_EQ(ReadFile(path), expected);

    ASSERT_TRUE(ini.WriteString("SERVER", "PassiveIP", "Auto"));
    expected.replace(expected.find("Unknown = keep me\r\n") + 19, 0, "PassiveIP=Auto\r\n");
    EXPECT_EQ(ReadFile(path), expected);

    ASSERT_TRUE(ini.WriteString("DEFAULT", "USER", "alice"));
    expected += "\r\n[DEFAULT]\r\nUSER=alice\r\n";
    EXPECT_EQ(ReadFile(path), expected);
    EXPECT_EQ(ini.ReadString("default", "user", ""), "alice");
}

TEST(IniFile, ReplacesAValueKeepingTheBlanksAroundTheEqualsSign) {
    TempDir dir;
    WriteFile(dir.Path("o.ini"), "[s]\nkey = old value\nlast=1");
    CIniFile ini(dir.Path("o.ini"));
    ASSERT_TRUE(ini.WriteString("s", "KEY", "new"));
    ASSERT_TRUE(ini.WriteString("s", "added", "2"));
    EXPECT_EQ(ReadFile(dir.Path("o.ini")), "[s]\nkey = new\nlast=1\nadded=2\n");
}

TEST(IniFile, FirstWriteCreatesTheFile) {
    TempDir dir;
    CIniFile ini(dir.Path("o.ini"));
    ASSERT_TRUE(ini.WriteInt("Server", "Savelog", 1));
    EXPECT_EQ(ReadFile(dir.Path("o.ini")), "[Server]\nSavelog=1\n");
    EXPECT_EQ(std::filesystem::status(dir.Path("o.ini")).permissions() &
                  std::filesystem::perms::others_read,
              std::filesystem::perms::none);
}

TEST(IniFile, RefusesWritesThatWouldDamageTheFile) {
    TempDir dir;
    const std::string path = dir.Path("o.ini");
    WriteFile(path, kSample);
    CIniFile ini(path);
    EXPECT_FALSE(ini.WriteString("DEFAULT", "PASS", "x\r\n[Server]\r\nport=1"));
    EXPECT_FALSE(ini.WriteString("Ser]ver", "a", "1"));
    EXPECT_FALSE(ini.WriteString("Server", "a=b", "1"));
    EXPECT_FALSE(ini.WriteString("Server", "", "1"));
    EXPECT_FALSE(ini.GetLastError().empty());
    EXPECT_EQ(ReadFile(path), kSample);

    // A file too large to be ours is neither loaded nor replaced by a one-key file.
    const std::string huge = "[s]\n" + std::string(config::kMaxOptionFileSize, ';');
    WriteFile(path, huge);
    EXPECT_FALSE(ini.WriteInt("s", "k", 1));
    EXPECT_EQ(ReadFile(path).size(), huge.size());
    EXPECT_EQ(ini.ReadInt("s", "k", 42), 42);
}

TEST(IniFile, KeysBeforeTheFirstSectionAndDuplicatesFollowTheFirstSection) {
    CIniDocument doc;
    doc.Parse("\xEF\xBB\xBFport=1\n[Server]\nport=2\nport=3\n[server]\nport=4\n");
    EXPECT_EQ(doc.Find("Server", "port").value_or(""), "2");
    doc.Set("Server", "Port", "5");
    EXPECT_EQ(doc.Serialize(), "\xEF\xBB\xBFport=1\n[Server]\nport=5\nport=3\n[server]\nport=4\n");
}

// Writers replace the file while readers read it: every read sees one whole version.
TEST(IniFileThreads, ReadersNeverSeeATornFile) {
    TempDir dir;
    const std::string path = dir.Path("o.ini");
    const std::string filler(4000, 'x');
    WriteFile(path, "[Server]\nport=0\n[Pad]\nfill=" + filler + "\n[Tail]\nend=1\n");
    std::atomic<int> torn{0};
    ReaderThreads readers(8, [&] {
        const CIniFile ini(path);
        CIniDocument doc;
        if (!ini.Load(&doc) || doc.Find("Tail", "end") != "1" ||
            doc.Find("Pad", "fill") != filler || !doc.Find("Server", "port"))
            torn.fetch_add(1);
    });
    readers.WaitUntilEachRan();
    const std::int64_t before = readers.Rounds();
    std::thread second([&] {
        CIniFile ini(path);
        for (int i = 0; i < 100; ++i) EXPECT_TRUE(ini.WriteInt("Server", "MinPort", i));
    });
    CIniFile ini(path);
    for (int i = 1; i <= 100; ++i) ASSERT_TRUE(ini.WriteInt("Server", "port", i));
    second.join();
    // Goes on rewriting until reads really happened during the writes.
    while (readers.Rounds() < before + 100) ASSERT_TRUE(ini.WriteInt("Server", "port", 100));
    readers.Stop();
    EXPECT_EQ(torn.load(), 0);
    // Both writers' keys survived each other's read-modify-write.
    EXPECT_EQ(ini.ReadInt("Server", "port", -1), 100);
    EXPECT_EQ(ini.ReadInt("Server", "MinPort", -1), 99);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

}  // namespace
