// Transfer files: only regular files open, and a named pipe never blocks the opener.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/DataFile.h"
#include "tests/support/TempDir.h"

TEST(DataFile, OnlyRegularFilesOpenAndNoneBlocks) {
    TempDir dir;
    const std::string pipe = dir.Path("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::filesystem::create_directory(dir.Path("sub"));
    CDataFile file;
    // Without a peer a blocking open of either end would never return.
    EXPECT_FALSE(file.OpenRead(pipe));
    EXPECT_FALSE(file.OpenWrite(pipe));
    EXPECT_FALSE(file.OpenRead(dir.Path("sub")));
    EXPECT_FALSE(file.OpenWrite(dir.Path("sub")));
    EXPECT_FALSE(file.IsOpen());
    std::ofstream(dir.Path("plain")) << "abc";
    ASSERT_TRUE(file.OpenRead(dir.Path("plain"))) << file.GetLastError();
    EXPECT_EQ(::fcntl(file.Handle(), F_GETFL) & O_NONBLOCK, 0);  // ordinary reads again
    EXPECT_EQ(file.LengthAtOpen(), 3);
    char bytes[3];
    EXPECT_EQ(file.ReadAt(0, bytes, sizeof bytes), 3);
    ASSERT_TRUE(file.OpenWrite(dir.Path("plain"))) << file.GetLastError();
    EXPECT_EQ(::fcntl(file.Handle(), F_GETFL) & O_NONBLOCK, 0);
}
