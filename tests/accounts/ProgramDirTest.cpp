// Which program directory tarvona-admin works in, run as a program: from its build tree,
// and installed (a copy in a "bin" directory) under different environments.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

ProgramRun Admin(const std::string& binary, const std::vector<std::string>& environment,
                 std::vector<std::string> args) {
    args.insert(args.begin(), binary);
    return RunToEnd(args, environment);
}

// The directory --help names.
std::string HelpDir(const std::string& binary, const std::vector<std::string>& environment,
                    std::vector<std::string> before = {}) {
    before.push_back("--help");
    const std::string out = Admin(binary, environment, before).output;
    const std::string mark = "program directory: ";
    const auto at = out.find(mark);
    if (at == std::string::npos) return out;
    return out.substr(at + mark.size(), out.find(" (", at) - at - mark.size());
}

// tarvona-admin as installed: a copy in <root>/usr/bin.
class InstalledAdmin : public testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_root.Path("usr/bin"));
        std::filesystem::copy_file(TARVONA_ADMIN_BINARY, m_binary);
    }
    TempDir m_root;
    const std::string m_binary = m_root.Path("usr/bin/tarvona-admin");
    const std::string m_home = m_root.Path("home");
};

}  // namespace

TEST(ProgramDir, BuildTreeUsesTheExecutablesDirectory) {
    const std::string dir = std::filesystem::path(TARVONA_ADMIN_BINARY).parent_path().string();
    EXPECT_EQ(HelpDir(TARVONA_ADMIN_BINARY, {"HOME=/nonexistent"}), dir + "/");
}

TEST_F(InstalledAdmin, UsesTheXdgDataDirectoryUnlessToldOtherwise) {
    EXPECT_EQ(HelpDir(m_binary, {"HOME=" + m_home}), m_home + "/.local/share/tarvona/");
    EXPECT_EQ(HelpDir(m_binary, {"HOME=" + m_home, "XDG_DATA_HOME=/data"}), "/data/tarvona/");
    // The XDG rules ignore a relative XDG_DATA_HOME.
    EXPECT_EQ(HelpDir(m_binary, {"HOME=" + m_home, "XDG_DATA_HOME=data"}),
              m_home + "/.local/share/tarvona/");
    EXPECT_EQ(HelpDir(m_binary, {"HOME=" + m_home, "XDG_DATA_HOME=/data", "TARVONA_HOME=/th"}),
              "/th/");
    EXPECT_EQ(HelpDir(m_binary, {"TARVONA_HOME=/th"}, {"--dir", "/given"}), "/given/");

    // The first account command makes the directory and its tables.
    EXPECT_EQ(Admin(m_binary, {"HOME=" + m_home}, {"group", "add", "Staff"}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(m_home + "/.local/share/tarvona/group.sdb"));
}

TEST_F(InstalledAdmin, RefusesWhenNoDirectoryCanBeChosenOrMade) {
    const std::string help = Admin(m_binary, {}, {"--help"}).output;
    EXPECT_NE(help.find("no program directory: HOME is not set"), std::string::npos) << help;
    EXPECT_EQ(Admin(m_binary, {}, {"user", "list"}).status, 1);
    EXPECT_EQ(Admin(m_binary, {}, {"ip", "add", "allow", "10.0.0.1"}).status, 1);
    // A directory below a file can be made by nobody, root included.
    WriteFile(m_root.Path("file"), "x");
    EXPECT_EQ(Admin(m_binary, {}, {"--dir", m_root.Path("file/sub"), "user", "list"}).status, 1);
}
