#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>

#include "config/Autostart.h"
#include "config/Options.h"
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
    EXPECT_EQ(options.ReadInt(&OptionValues::port), 2121);
    EXPECT_EQ(options.ReadText(&OptionValues::dnsName), "me");
    EXPECT_FALSE(IsAutoPassiveIp("Automatic"));
}

TEST(Options, WritesUnderTheWrittenSpellingOntoTheSameLine) {
    TempDir dir;
    WriteFile(dir.Path("option.ini"), "[Server]\nport=21\nStartup=1\n");
    COptions options(dir.ProgramDir());
    ASSERT_TRUE(options.WriteInt(&OptionValues::port, 2121)) << options.GetLastError();
    ASSERT_TRUE(options.WriteInt(&OptionValues::startup, 0));
    ASSERT_TRUE(options.WriteText(&OptionValues::passiveIp, "Auto"));
    ASSERT_TRUE(options.WriteText(&OptionValues::defaultPass, ""));
    EXPECT_EQ(ReadFile(dir.Path("option.ini")),
              "[Server]\nport=2121\nStartup=0\nPassiveIP=Auto\n\n[DEFAULT]\nPASS=\n");
}

// Save writes every row once, under its written spelling, and Load reads back what it
// wrote; lines of the administrator's own stay.
TEST(Options, SaveWritesEveryRowAndLoadReadsItBack) {
    TempDir dir;
    WriteFile(dir.Path("option.ini"), "; mine\n[Server]\nport=21\nmine=1\n");
    COptions options(dir.ProgramDir());
    OptionValues written;
    written.port = 2121;
    written.passiveIp = "Auto";
    written.dnsPassword = "pw";
    written.defaultUser = "bob";
    ASSERT_TRUE(options.Save(written)) << options.GetLastError();
    const OptionValues read = options.Load();
    for (const OptionRow& row : OptionRows()) {
        if (const auto* member = std::get_if<IntOption>(&row.member))
            EXPECT_EQ(read.*(*member), written.*(*member)) << row.readName;
        else
            EXPECT_EQ(read.*std::get<TextOption>(row.member),
                      written.*std::get<TextOption>(row.member));
    }
    const std::string text = ReadFile(dir.Path("option.ini"));
    EXPECT_EQ(text.rfind("; mine\n[Server]\nport=2121\nmine=1\n", 0), 0u) << text;
    for (const OptionRow& row : OptionRows())
        EXPECT_NE(text.find(std::string(row.writeName) + "="), std::string::npos) << row.writeName;
    written.dnsName = "a\nPASS=evil";
    EXPECT_FALSE(options.Save(written));
    EXPECT_EQ(ReadFile(dir.Path("option.ini")), text);
}

TEST(Options, SaveKeysWritesOnlyTheKeysNamed) {
    TempDir dir;
    WriteFile(dir.Path("option.ini"), "[Server]\nFilterMode=2\n[DNS]\nLookupUrl=http://a/\n");
    COptions options(dir.ProgramDir());
    OptionValues values;  // defaults: FilterMode 0, no service address
    values.port = 2121;
    values.passiveIp = "Auto";
    const std::array<OptionMember, 2> keys{&OptionValues::port, &OptionValues::passiveIp};
    ASSERT_TRUE(options.SaveKeys(values, keys)) << options.GetLastError();
    const OptionValues read = options.Load();
    EXPECT_EQ(read.port, 2121);
    EXPECT_EQ(read.passiveIp, "Auto");
    EXPECT_EQ(read.filterMode, 2);
    EXPECT_EQ(read.dnsLookupUrl, "http://a/");
}

// A reload takes nothing from a file with a typo; the message names what to fix.
TEST(Options, LoadCheckedRefusesWhatTheProfileReadWouldQuietlyTake) {
    TempDir dir;
    const COptions options(dir.ProgramDir());
    OptionValues v;
    std::string error;
    ASSERT_TRUE(options.LoadChecked(v, error)) << "a missing file gives the defaults";
    EXPECT_EQ(v.port, 21);
    struct Case {
        const char* text;
        const char* named;
    };
    for (const Case& bad :
         {Case{"[Server]\r\nport=2121\r\nmaxusers 7\r\n", "line 3: \"maxusers 7\""},
          Case{"\xEF\xBB\xBF[Server\nport=1\n", "line 1: \"[Server\""},
          Case{"[Server]\n=5\n", "line 2: \"=5\""},
          Case{"[Server]\nport=2l21\n", "[Server] port=2l21"},
          Case{"[Server]\nport=21\n[Security]\nBanTime=99999999999\n", "BanTime=99999999999"}}) {
        WriteFile(dir.Path("option.ini"), bad.text);
        v.port = 7;
        EXPECT_FALSE(options.LoadChecked(v, error)) << bad.text;
        EXPECT_NE(error.find(bad.named), std::string::npos) << error;
        EXPECT_EQ(v.port, 7) << "left untouched";
    }
    WriteFile(dir.Path("option.ini"),
              "; comment\n# another\n\n[Server]\n  port = -0021 \nmaxusers=\nPassiveIP=a=b\n");
    ASSERT_TRUE(options.LoadChecked(v, error)) << error;
    EXPECT_EQ(v.port, -21);
    EXPECT_EQ(v.maxUsers, 20) << "an empty value is the default, as the profile read has it";
    EXPECT_EQ(v.passiveIp, "a=b");
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
