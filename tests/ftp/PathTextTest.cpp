#include <gtest/gtest.h>

#include "ftp/PathText.h"

TEST(PathText, NormalizeTurnsBackslashesCollapsesAndStrips) {
    EXPECT_EQ(NormalizeArgument("\\a\\\\b\\"), "/a/b");
    EXPECT_EQ(NormalizeArgument("//a///b/"), "/a/b");
    EXPECT_EQ(NormalizeArgument("/"), "");
    EXPECT_EQ(NormalizeArgument("a b/c d"), "a b/c d");
    EXPECT_EQ(NormalizeArgument("name\\with"), "name/with");
}

TEST(PathText, SplitDropsDotsButKeepsParentMarker) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitVirtualPath("/./a/."), V{"a"});
    EXPECT_EQ(SplitVirtualPath("/.hidden/x."), (V{"hidden", "x"}));
    EXPECT_EQ(SplitVirtualPath("/.../...."), V{});
    EXPECT_EQ(SplitVirtualPath("/a/../b"), (V{"a", "..", "b"}));
    EXPECT_EQ(SplitVirtualPath("..a/b.."), (V{"a", "b"}));
    EXPECT_EQ(SplitVirtualPath(""), V{});
}

TEST(PathText, JoinToCurrentAddsOneSlash) {
    EXPECT_EQ(JoinToCurrent("/", "a"), "/a");
    EXPECT_EQ(JoinToCurrent("/docs", "sub/a.txt"), "/docs/sub/a.txt");
}

TEST(PathText, UsableLocalDirRefusesEmptyAndRelative) {
    EXPECT_EQ(UsableLocalDir(""), "");
    EXPECT_EQ(UsableLocalDir("relative/dir"), "");
    EXPECT_EQ(UsableLocalDir("/srv/ftp/"), "/srv/ftp");
    EXPECT_EQ(UsableLocalDir("/"), "/");
}

TEST(PathText, SameOrBelowComparesWholeComponentsAndCase) {
    EXPECT_TRUE(IsSameOrBelow("/srv/ftp", "/srv/ftp"));
    EXPECT_TRUE(IsSameOrBelow("/srv/ftp", "/srv/ftp/"));
    EXPECT_TRUE(IsSameOrBelow("/srv/ftp", "/srv/ftp/a/b"));
    EXPECT_FALSE(IsSameOrBelow("/srv/ftp", "/srv/ftp2/a"));
    EXPECT_FALSE(IsSameOrBelow("/srv/ftp", "/srv/FTP/a"));
    EXPECT_FALSE(IsSameOrBelow("/srv/ftp", "/srv"));
    EXPECT_FALSE(IsSameOrBelow("", "/srv"));
    EXPECT_TRUE(IsSameOrBelow("/", "/etc"));
}

TEST(PathText, VirtualPathKeepsCaseOfRestAndFolderName) {
    EXPECT_EQ(JoinVirtual("", RemainderBelow("/srv/ftp", "/srv/ftp")), "/");
    EXPECT_EQ(JoinVirtual("", RemainderBelow("/srv/ftp", "/srv/ftp/Docs/A")), "/Docs/A");
    EXPECT_EQ(JoinVirtual("Music", RemainderBelow("/data/music", "/data/music/Rock")),
              "/Music/Rock");
    EXPECT_EQ(JoinVirtual("Music", RemainderBelow("/data/music", "/data/music")), "/Music");
}

TEST(PathText, LocalParentAndJoinKeepOneSlash) {
    EXPECT_EQ(ParentOf("/srv/ftp/a.txt"), "/srv/ftp");
    EXPECT_EQ(ParentOf("/a.txt"), "/");
    EXPECT_EQ(ParentOf("a.txt"), "/");
    EXPECT_EQ(JoinLocal("/srv/ftp", "a.txt"), "/srv/ftp/a.txt");
    EXPECT_EQ(JoinLocal("/", "a.txt"), "/a.txt");
}
