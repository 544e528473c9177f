// A session reads the account tables through a cache checked once per command: edits
// made between two commands, faster than file times advance, apply to the second.
#include <filesystem>
#include <string>

#include "accounts/AccountEditor.h"
#include "tests/ftp/TransferFixture.h"

namespace {

std::string Code(const std::string& reply) { return reply.substr(0, 3); }

}  // namespace

TEST_F(TransferTest, PermissionEditsApplyToTheNextCommandOfAnOpenSession) {
    MakeFile("f.txt", 10);
    auto client = LoggedIn();
    // Same record size every time, so only the file's times can tell the versions
    // apart, and many edits fall within one tick of them.
    for (int round = 0; round < 40; ++round) {
        const bool readable = round % 2 == 1;
        SaveAlice([&](UserRecord& user) {
            user.permissions.granted[static_cast<std::size_t>(Permission::Read)] = readable;
        });
        EXPECT_EQ(Code(client->Ask("SIZE f.txt")), readable ? "213" : "550") << "round " << round;
    }
}

TEST_F(TransferTest, FolderEditsApplyToTheNextCommandOfAnOpenSession) {
    const std::string music = m_dir.Path("music");
    std::filesystem::create_directory(music);
    PermissionSet everything;
    everything.granted.fill(true);
    auto client = LoggedIn();
    CAccountEditor editor(m_dir.ProgramDir());
    for (int round = 0; round < 20; ++round) {
        const bool present = round % 2 == 0;
        std::vector<VirtualFolder> folders;
        if (present) folders.push_back(VirtualFolder{0, "Music", music, everything});
        UserRecord alice = ReadAlice();
        ASSERT_TRUE(editor.SaveUser(alice, folders)) << editor.GetLastError();
        EXPECT_EQ(Code(client->Ask("CWD /Music")), present ? "250" : "550") << "round " << round;
    }
}
