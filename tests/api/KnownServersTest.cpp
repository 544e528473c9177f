// The per-user file of pinned certificates: private, one line per server, and a garbled
// or hostile file pins nothing.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "api/KnownServers.h"
#include "tests/support/TempDir.h"

using namespace std::string_literals;

namespace {

const std::string kFirst = std::string(64, 'a');
const std::string kSecond = std::string(64, 'B');

std::string Colons(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) out += (i ? ":" : "") + hex.substr(i, 2);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

class KnownServersTest : public testing::Test {
protected:
    void SetUp() override { ::setenv("XDG_CONFIG_HOME", m_home.Path().c_str(), 1); }
    void TearDown() override { ::unsetenv("XDG_CONFIG_HOME"); }

    TempDir m_home;
};

TEST_F(KnownServersTest, PinsArePrivateAndAnAcceptedChangeReplacesTheLine) {
    EXPECT_EQ(KnownServersFile(), m_home.Path() + "/tarvona/known_servers");
    EXPECT_EQ(ServerKey({"::1", 14148}), "[::1]:14148");
    std::string error;
    EXPECT_EQ(KnownFingerprint("files.example:14148", error), "");
    EXPECT_EQ(error, "");  // no file yet is no error

    ASSERT_TRUE(RememberFingerprint("files.example:14148", kFirst, error)) << error;
    ASSERT_TRUE(RememberFingerprint("[::1]:14148", kSecond, error)) << error;
    ASSERT_TRUE(RememberFingerprint("files.example:14148", Colons(kSecond), error)) << error;
    EXPECT_EQ(KnownFingerprint("files.example:14148", error), Colons(kSecond));
    EXPECT_EQ(KnownFingerprint("[::1]:14148", error), Colons(kSecond));
    EXPECT_EQ(KnownFingerprint("files.example:21", error), "");
    EXPECT_EQ(ReadFile(KnownServersFile()),
              "[::1]:14148 " + Colons(kSecond) + "\nfiles.example:14148 " + Colons(kSecond) + "\n");
    struct stat info {};
    ASSERT_EQ(::stat(KnownServersFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U);

    EXPECT_FALSE(RememberFingerprint("files.example:14148", "not a fingerprint", error));
    EXPECT_FALSE(RememberFingerprint("two words:1", kFirst, error));

    ServerUrl server;
    EXPECT_FALSE(RememberedServer(server));
    ASSERT_TRUE(RememberServer({"::1", 2121}, error)) << error;
    ASSERT_TRUE(RememberedServer(server));
    EXPECT_EQ(ServerKey(server), "[::1]:2121");
}

TEST_F(KnownServersTest, GarbledOrHostileFilePinsNothing) {
    std::string error;
    ASSERT_TRUE(RememberFingerprint("a:1", kFirst, error)) << error;
    const std::string file = KnownServersFile();
    WriteFile(file, "b:2\nb:2 " + std::string(63, 'a') + "\n\0\xff junk\nc:3 "s + kFirst +
                        "zz\nd:4 " + kFirst + "\r\n");
    EXPECT_EQ(KnownFingerprint("b:2", error), "");
    EXPECT_EQ(KnownFingerprint("c:3", error), "");
    EXPECT_EQ(KnownFingerprint("d:4", error), Colons(kFirst));  // a line a text editor ended
    // Too large to be a file this program wrote: read as an error, never as a pin.
    WriteFile(file, "a:1 " + kFirst + "\n" + std::string(1 << 20, '#'));
    EXPECT_EQ(KnownFingerprint("a:1", error), "");
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(RememberFingerprint("a:1", kFirst, error));  // nor overwritten blindly
}

}  // namespace
