// How an [Hooks] program line becomes arguments, and what the editor refuses.
#include <gtest/gtest.h>

#include "config/HookCommand.h"
#include "config/OptionChecks.h"

namespace {

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> argv;
    std::string error;
    EXPECT_TRUE(SplitHookCommand(line, argv, error)) << line << ": " << error;
    return argv;
}

std::string ErrorOf(const std::string& line) {
    std::vector<std::string> argv{"kept"};
    std::string error;
    EXPECT_FALSE(SplitHookCommand(line, argv, error)) << line;
    EXPECT_EQ(argv, std::vector<std::string>{"kept"});
    return error;
}

}  // namespace

TEST(HookCommand, QuotesAndBackslashesMakeArguments) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Split("  /bin/a  b\tc "), (V{"/bin/a", "b", "c"}));
    EXPECT_EQ(Split("/bin/a \"two words\" \"\" x\"y z\""), (V{"/bin/a", "two words", "", "xy z"}));
    EXPECT_EQ(Split("/bin/a \\\"q \\\\ a\\ b \"in \\\" it\""),
              (V{"/bin/a", "\"q", "\\", "a b", "in \" it"}));
    // No shell: its characters are arguments like any other.
    EXPECT_EQ(Split("/bin/a $HOME;rm *|x"), (V{"/bin/a", "$HOME;rm", "*|x"}));
    EXPECT_TRUE(Split("   ").empty());
    EXPECT_EQ(ErrorOf("/bin/a \"open"), "a double quote is not closed");
    EXPECT_EQ(ErrorOf("/bin/a b\\"), "the line ends with a backslash");
    EXPECT_EQ(ErrorOf("notify.sh x"), "the program must be given by its absolute path");
    EXPECT_EQ(ErrorOf("\"\" x"), "the program must be given by its absolute path");
}

TEST(HookCommand, EditorRefusesWhatTheServerCouldNotUse) {
    OptionValues v;
    EXPECT_EQ(HooksOptionsProblem(v), "");
    v.hookOnRename = "/usr/bin/logger \"renamed";
    EXPECT_EQ(HooksOptionsProblem(v), "OnRename: a double quote is not closed.");
    v.hookOnRename = "/usr/bin/logger renamed";
    v.hookOnBanUrl = "http://hooks.example/ban";
    EXPECT_EQ(HooksOptionsProblem(v), "OnBanUrl must be an https:// URL.");
    v.hookOnBanUrl = "HTTPS://hooks.example/ban";
    v.hookQueueSize = 0;
    EXPECT_EQ(HooksOptionsProblem(v), "The hook queue size must be from 1 to 100000.");
    v.hookQueueSize = 100;
    v.hookSecret = "a\nb";
    EXPECT_EQ(HooksOptionsProblem(v), "The signing secret must not contain control characters.");
}
