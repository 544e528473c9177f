#include "config/Options.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "config/Autostart.h"
#include "tests/support/TempDir.h"

namespace {

TEST(Options, MissingFileGivesEveryDefault) {
    TempDir dir;
    const OptionValues v = COptions(dir.ProgramDir()).Load();
    EXPECT_EQ(v.port, 21);
    EXPECT_EQ(v.maxUsers, 20);
    EXPECT_EQ(v.timeoutMinutes, 10);
    EXPECT_EQ(v.minPort, 1024);
    EXPECT_EQ(v.maxPort, 65535);
    EXPECT_EQ(v.passiveIp, "");
    EXPECT_EQ(v.filterMode, 0);
    EXPECT_EQ(v.startup + v.autoActive + v.minimize + v.saveLog + v.dnsEnable, 0);
    EXPECT_EQ(v.defaultDir + v.dnsName + v.dnsPassword + v.defaultUser + v.defaultPass, "");
    EXPECT_FALSE(std::filesystem::exists(dir.Path("option.ini")));
}

TEST(Options, ReadsHandWrittenValuesAsTheProfileFunctionsDo) {
    TempDir dir;
    WriteFile(dir.Path("option.ini"),
              "[SERVER]\nPORT=2121\nmaxusers= 7x\ntimeout=abc\nMinPort=2000\nMaxPort=1000\n"
              "PassiveIP=auto\nFilterMode=3\nSTARTUP=1\nsavelog=1\ndefaultdir=/srv/ftp\n"
              "[dns]\nenable=1\nname=me\npassword=pw\n[Default]\nuser=bob\npass=secret\n");
    const COptions options(dir.ProgramDir());
    const OptionValues v = options.Load();
    EXPECT_EQ(v.port, 2121);
    EXPECT_EQ(v.maxUsers, 7);
    EXPECT_EQ(v.timeoutMinutes, 0);
    EXPECT_EQ(v.minPort, 2000);
    EXPECT_EQ(v.maxPort, 1000);  // the controller collapses the range, not the reader
    EXPECT_TRUE(IsAutoPassiveIp(v.passiveIp));
    EXPECT_EQ(v.filterMode, 3);
    EXPECT_EQ(v.startup, 1);
    EXPECT_EQ(v.saveLog, 1);
    EXPECT_EQ(v.defaultDir, "/srv/ftp");
    EXPECT_EQ(v.dnsEnable, 1);
    EXPECT_EQ(v.dnsName + "/" + v.dnsPassword, "me/pw");
    EXPECT_EQ(v.defaultUser + "/" + v.defaultPass, "bob/secret");
    EXPECT_EQ(options.ReadInt(OptionKey::Port), 2121);
    EXPECT_EQ(options.ReadText(OptionKey::DnsName), "me");
    EXPECT_FALSE(IsAutoPassiveIp("Automatic"));
}

TEST(Options, WritesUnderTheWrittenSpellingOntoTheSameLine) {
    TempDir dir;
    WriteFile(dir.Path("option.ini"), "[Server]\nport=21\nStartup=1\n");
    COptions options(dir.ProgramDir());
    ASSERT_TRUE(options.WriteInt(OptionKey::Port, 2121)) << options.GetLastError();
    ASSERT_TRUE(options.WriteInt(OptionKey::Startup, 0));
    ASSERT_TRUE(options.WriteText(OptionKey::PassiveIp, "Auto"));
    ASSERT_TRUE(options.WriteText(OptionKey::DefaultPass, ""));
    EXPECT_EQ(ReadFile(dir.Path("option.ini")),
              "[Server]\nport=2121\nStartup=0\nPassiveIP=Auto\n\n[DEFAULT]\nPASS=\n");
    EXPECT_FALSE(options.WriteText(OptionKey::Port, "21"));
    EXPECT_FALSE(options.WriteInt(OptionKey::PassiveIp, 1));
}

TEST(Autostart, StartupOneWritesTheEntryAndAnyOtherValueRemovesIt) {
    TempDir dir;
    const std::string autostart = dir.Path("cfg/autostart");
    const std::string entry = autostart + "/" + kAutostartFileName;
    std::string error;
    ASSERT_TRUE(ApplyStartupOption(1, "/opt/my apps/tar\"vona$%\\x", autostart, &error)) << error;
    const std::string text = ReadFile(entry);
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(text.find("\nExec=\"/opt/my apps/tar\\\\\"vona\\\\$%%\\\\\\\\x\"\n"),
              std::string::npos)
        << text;
    ASSERT_TRUE(ApplyStartupOption(2, "", autostart, &error));
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_TRUE(ApplyStartupOption(0, "", autostart, &error));  // already absent
    EXPECT_FALSE(ApplyStartupOption(1, "/bin/x\nExec=/bin/evil", autostart, &error));
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_FALSE(ApplyStartupOption(1, "/bin/x", "", &error));
}

TEST(Autostart, DirectoryFollowsXdgConfigHomeThenHome) {
    TempDir dir;
    ::setenv("HOME", dir.Path().c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(DefaultAutostartDir(), dir.Path(".config/autostart"));
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(DefaultAutostartDir(), dir.Path(".config/autostart"));
    ::setenv("XDG_CONFIG_HOME", dir.Path("xdg").c_str(), 1);
    EXPECT_EQ(DefaultAutostartDir(), dir.Path("xdg/autostart"));
}

}  // namespace
