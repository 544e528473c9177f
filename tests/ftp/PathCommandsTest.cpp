// The file and directory commands over a real server: path forms, virtual folders,
// hostile arguments, account edits while a session is open, and which of the nine
// permissions each command needs, at home, in a user's folder and in a group's folder.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "accounts/AccountEditor.h"
#include "accounts/AccountSchema.h"
#include "platform/File.h"
#include "tests/support/RawFtpClient.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

PermissionSet Only(Permission p) {
    PermissionSet set;
    set.granted[static_cast<std::size_t>(p)] = true;
    return set;
}

PermissionSet All() {
    PermissionSet set;
    set.granted.fill(true);
    return set;
}

void Touch(const fs::path& path, std::size_t bytes = 10) {
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

class PathCommands : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(EnsureAccountTables(m_dir.ProgramDir(), error)) << error;
        m_home = m_dir.Path("home");
        m_outside = m_dir.Path("outside");
        fs::create_directories(m_home + "/docs/sub");
        fs::create_directories(m_outside + "/Rock");
        Touch(m_home + "/docs/sub/a.txt");
        Touch(m_home + "/file.txt");
        Touch(m_outside + "/Rock/song.mp3", 123);
    }

    // Saves "alice" with `home` permissions and her own folders; returns her record.
    UserRecord SaveAlice(PermissionSet home, const std::vector<VirtualFolder>& folders = {},
                         const std::string& groups = "") {
        UserRecord user;
        user.id = m_aliceId;
        user.name = "alice";
        user.password = "secret";
        user.homeDir = m_home;
        user.status = "1";
        user.groups = groups;
        user.permissions = home;
        CAccountEditor editor(m_dir.ProgramDir());
        EXPECT_TRUE(editor.SaveUser(user, folders)) << editor.GetLastError();
        m_aliceId = user.id;
        return user;
    }

    VirtualFolder Folder(const std::string& name, const std::string& dir, PermissionSet p) {
        VirtualFolder folder;
        folder.name = name;
        folder.dir = dir;
        folder.permissions = p;
        return folder;
    }

    std::int32_t SaveGroup(const std::string& name, const std::vector<VirtualFolder>& folders) {
        GroupRecord group;
        group.name = name;
        CAccountEditor editor(m_dir.ProgramDir());
        EXPECT_TRUE(editor.SaveGroup(group, folders)) << editor.GetLastError();
        return group.id;
    }

    void StartAndLogin() {
        m_server = std::make_unique<ServerHarness>(m_dir.ProgramDir());
        ASSERT_TRUE(m_server->Start());
        ASSERT_TRUE(m_client.Connect(m_server->Port()));
        ASSERT_TRUE(m_client.LogIn("alice", "secret"));
    }

    TempDir m_dir;
    std::string m_home;
    std::string m_outside;
    std::int32_t m_aliceId = 0;
    std::unique_ptr<ServerHarness> m_server;
    RawFtpClient m_client;
};

TEST_F(PathCommands, DirectoryFormsAndHostileArguments) {
    fs::create_directories(m_home + "/hidden");
    fs::create_directories(m_home + "/a/b");
    fs::create_directories(m_home + "/with blanks");
    fs::create_directories(m_home + "/\xc3\xbcml\xc3\xa4ut");
    SaveAlice(All());
    StartAndLogin();
    EXPECT_EQ(m_client.Ask("PWD"), "257 \"/\" is current directory.");
    EXPECT_EQ(m_client.Ask("CWD .."), "550 \"..\": CWD command failed. No permission.");
    EXPECT_EQ(m_client.Ask("CWD /a/../b"), "550 \"/a/../b\": CWD command failed. No permission.");
    EXPECT_EQ(m_client.Ask("CWD \\a\\\\b\\"),
              "250 CWD command successful \"/a/b\" is current directory.");
    EXPECT_EQ(m_client.Ask("CWD //a///b/"),
              "250 CWD command successful \"/a/b\" is current directory.");
    EXPECT_EQ(m_client.Ask("CWD ."), "250 CWD command successful \"/a/b\" is current directory.");
    EXPECT_EQ(m_client.Ask("CDUP"), "250 CWD command successful \"/a\" is current directory.");
    EXPECT_EQ(m_client.Ask("CDUP"), "250 CWD command successful \"/\" is current directory.");
    EXPECT_EQ(m_client.Ask("CDUP"), "250 CWD command successful \"/\" is current directory.");
    EXPECT_EQ(m_client.Ask("CWD /.hidden."),
              "250 CWD command successful \"/hidden\" is current directory.");
    EXPECT_EQ(m_client.Ask("CWD /..../..."),
              "250 CWD command successful \"/\" is current directory.");
    EXPECT_EQ(m_client.Ask("CWD with blanks"),
              "250 CWD command successful \"/with blanks\" is current directory.");
    EXPECT_EQ(m_client.Ask("CWD /\xc3\xbcml\xc3\xa4ut"),
              "250 CWD command successful \"/\xc3\xbcml\xc3\xa4ut\" is current directory.");
    EXPECT_EQ(m_client.Ask("CWD /docs"),
              "250 CWD command successful \"/docs\" is current directory.");
    EXPECT_EQ(m_client.Ask("SIZE sub/a.txt"), "213 10");
    EXPECT_EQ(m_client.Ask("SIZE /file.txt"), "213 10");
    EXPECT_EQ(m_client.Ask("SIZE ../file.txt"), "550 File unavailable.");
    EXPECT_EQ(m_client.Ask("SIZE .."), "550 File unavailable.");
    EXPECT_EQ(m_client.Ask("SIZE sub\\a.txt"),
              "213 10");  // a "\" is a separator, never part of a name
    const std::string huge(4000, 'n');
    EXPECT_EQ(m_client.Ask("CWD " + huge),
              "550 \"" + huge + "\": CWD command failed. No permission.");
    EXPECT_EQ(m_client.Ask("MKD /a/" + std::string(300, 'd')), "450 create directory error.");
    // A file can be made current: the mapping accepts files as well as directories.
    EXPECT_EQ(m_client.Ask("CWD /file.txt"),
              "250 CWD command successful \"/file.txt\" is current directory.");
    EXPECT_EQ(m_client.Ask("NOOP"), "200 NOOP command successful.");
}

TEST_F(PathCommands, VirtualFoldersMatchNamesWithoutCaseAndKeepTheirStoredName) {
    SaveAlice(All(),
              {Folder("Music", m_outside, All()), Folder("Gone", m_dir.Path("missing"), All())});
    StartAndLogin();
    EXPECT_EQ(m_client.Ask("CWD /music"),
              "250 CWD command successful \"/Music\" is current directory.");
    EXPECT_EQ(m_client.Ask("CWD Rock"),
              "250 CWD command successful \"/Music/Rock\" is current directory.");
    EXPECT_EQ(m_client.Ask("SIZE song.mp3"), "213 123");
    EXPECT_EQ(m_client.Ask("CWD /MUSIC/rock"),
              "550 \"/MUSIC/rock\": CWD command failed. No permission.");
    // A folder whose directory is missing maps, but nothing below it exists.
    EXPECT_EQ(m_client.Ask("CWD /gone"),
              "250 CWD command successful \"/Gone\" is current directory.");
    EXPECT_EQ(m_client.Ask("SIZE /gone/x"), "550 File unavailable.");
    // A folder's own directory is never removed, even one that is missing.
    EXPECT_EQ(m_client.Ask("RMD /gone"), "550 No permission.");
    // A real entry of the home directory hides a folder of the same name.
    fs::create_directories(m_home + "/music");
    EXPECT_EQ(m_client.Ask("CWD /music"),
              "250 CWD command successful \"/music\" is current directory.");
}

// Other accounts may map the same directories: the home and every folder's own
// directory stay put whatever the spelling, and no entry of the home may hide a folder.
TEST_F(PathCommands, TreeRootsCannotBeMovedRemovedOrHidden) {
    fs::create_directories(m_dir.Path("drop"));
    fs::create_directory_symlink(m_dir.Path(), m_home + "/up");  // placed by the administrator
    SaveAlice(All(), {Folder("Pub", m_outside, All()), Folder("drop", m_dir.Path("drop"), All()),
                      Folder("inner", m_home + "/docs", All())});
    StartAndLogin();
    for (const char* path : {".", "...", "/pub", "/PUB/.", "pub//", "/docs", "/up/outside"}) {
        EXPECT_EQ(m_client.Ask(std::string("RMD ") + path), "550 No permission.") << path;
        EXPECT_EQ(m_client.Ask(std::string("RNFR ") + path), "550 No permission.") << path;
    }
    EXPECT_EQ(m_client.Ask("RMD /"), "550 Directory unavailable.");
    EXPECT_EQ(m_client.Ask("RNFR /"), "550 File/directory not found.");
    EXPECT_EQ(m_client.Ask("CWD /pub"),
              "250 CWD command successful \"/Pub\" is current directory.");
    EXPECT_EQ(m_client.Ask("RMD ."), "550 No permission.");
    EXPECT_EQ(m_client.Ask("RNFR ."), "550 No permission.");
    EXPECT_EQ(m_client.Ask("CWD /"), "250 CWD command successful \"/\" is current directory.");
    // Every RNTO forgets the source, so each one here follows its own RNFR.
    const auto renameTo = [&](const std::string& source, const std::string& target) {
        EXPECT_EQ(m_client.Ask("RNFR " + source).substr(0, 4), "350 ") << source;
        return m_client.Ask("RNTO " + target);
    };
    for (const char* target : {".", "/", "/pub/.", "/drop", "/DROP/", "drop"})
        EXPECT_EQ(renameTo("/file.txt", target), "550 No permission.") << target;
    EXPECT_EQ(m_client.Ask("STOR /Drop"), "550 No permission.");
    for (const char* target : {"/pub/.", "...", "/drop"})
        EXPECT_EQ(renameTo("/docs/sub", target), "550 No permission.") << target;
    EXPECT_EQ(m_client.Ask("MKD x\nfake"),
              "553 Requested action not taken. File name not allowed.");
    EXPECT_EQ(renameTo("/docs/sub", "y\rfake"),
              "553 Requested action not taken. File name not allowed.");
    EXPECT_EQ(renameTo("/docs/sub", "/pub/sub"), "250 Directory \"/docs/sub\" renamed .");
    EXPECT_TRUE(fs::is_directory(m_outside + "/sub"));
    EXPECT_TRUE(fs::is_directory(m_home + "/docs"));
    EXPECT_TRUE(fs::is_directory(m_dir.Path("drop")));
    EXPECT_FALSE(fs::exists(m_home + "/drop"));
    EXPECT_EQ(fs::directory_iterator(m_home + "/docs"), fs::directory_iterator());
}

TEST_F(PathCommands, SymbolicLinkInsideHomeIsFollowedWithTheHomePermissions) {
    fs::create_directory_symlink(m_outside, m_home + "/link");
    SaveAlice(Only(Permission::Read));
    StartAndLogin();
    EXPECT_EQ(m_client.Ask("SIZE /link/Rock/song.mp3"), "213 123");
    EXPECT_EQ(m_client.Ask("DELE /link/Rock/song.mp3"), "550 No permission.");
    EXPECT_TRUE(fs::exists(m_outside + "/Rock/song.mp3"));
}

TEST_F(PathCommands, EveryCommandReadsTheAccountAfresh) {
    SaveAlice(All(), {Folder("Music", m_outside, All())});
    StartAndLogin();
    EXPECT_EQ(m_client.Ask("SIZE /file.txt"), "213 10");
    SaveAlice(Only(Permission::Write), {Folder("Music", m_outside, All())});
    EXPECT_EQ(m_client.Ask("SIZE /file.txt"), "550 No permission.");
    // Without a folder table nothing outside home is granted.
    fs::remove(m_dir.Path("vfolder_user" + std::to_string(m_aliceId) + ".sdb"));
    EXPECT_EQ(m_client.Ask("SIZE /Music/Rock/song.mp3"), "550 File unavailable.");
    // A deleted account reaches nothing, and the session goes on.
    CAccountEditor editor(m_dir.ProgramDir());
    ASSERT_TRUE(editor.DeleteUser(m_aliceId));
    EXPECT_EQ(m_client.Ask("CWD /"), "550 \"/\": No permission.");
    EXPECT_EQ(m_client.Ask("SIZE /file.txt"), "550 File unavailable.");
    EXPECT_EQ(m_client.Ask("PWD"), "257 \"/\" is current directory.");
}

TEST_F(PathCommands, FolderTablesThatCannotBeReadDenyTheGroups) {
    const std::int32_t group = SaveGroup("staff", {Folder("Shared", m_outside, All())});
    SaveAlice(PermissionSet{}, {}, std::to_string(group));
    StartAndLogin();
    EXPECT_EQ(m_client.Ask("SIZE /shared/Rock/song.mp3"), "213 123");
    // The user's own folder table missing: the groups are still searched for names,
    // but nothing outside home is granted.
    const std::string userTable = m_dir.Path("vfolder_user" + std::to_string(m_aliceId) + ".sdb");
    fs::remove(userTable);
    EXPECT_EQ(m_client.Ask("SIZE /shared/Rock/song.mp3"), "550 No permission.");
    SaveAlice(PermissionSet{}, {}, std::to_string(group));
    // A group table that cannot be opened (here: a directory in its place).
    const std::string groupTable = m_dir.Path("vfolder_group" + std::to_string(group) + ".sdb");
    fs::remove(groupTable);
    fs::create_directory(groupTable);
    EXPECT_EQ(m_client.Ask("SIZE /shared/Rock/song.mp3"), "550 File unavailable.");
    EXPECT_EQ(m_client.Ask("NOOP"), "200 NOOP command successful.");
}

TEST_F(PathCommands, LockedAccountTablesAnswerBusyAndChangeNothing) {
    const std::int32_t group = SaveGroup("staff", {Folder("Shared", m_outside, All())});
    SaveAlice(All(), {}, std::to_string(group));
    StartAndLogin();
    CFile holder;  // another open file description, as another process would have
    // A folder table kept locked is not a missing one: MKD would make a home directory
    // that hides the folder from then on.
    ASSERT_TRUE(holder.Open(m_dir.Path("vfolder_group" + std::to_string(group) + ".sdb"),
                            FileOpenMode::ReadOnly));
    ASSERT_TRUE(holder.TryLock(FileLockKind::Exclusive));
    EXPECT_EQ(m_client.Ask("MKD /Shared"), "451 Account data is busy, try again.");
    EXPECT_FALSE(fs::exists(m_home + "/Shared"));
    const std::string users = m_dir.Path("user.sdb");
    ASSERT_TRUE(holder.Open(users, FileOpenMode::ReadOnly));
    ASSERT_TRUE(holder.TryLock(FileLockKind::Exclusive));
    // The session read user.sdb a command ago; a writer's first write moves the file's
    // times, and from then on what was read vouches for nothing until the lock goes.
    fs::last_write_time(users, fs::last_write_time(users) + std::chrono::seconds(1));
    EXPECT_EQ(m_client.Ask("RETR /shared/Rock/song.mp3"),
              "451 Account data is busy, try again.");  // before any 150
    holder.Close();
    EXPECT_EQ(m_client.Ask("SIZE /shared/Rock/song.mp3"), "213 123");
}

TEST_F(PathCommands, DirectoryCreationAndRemoval) {
    SaveAlice(All());
    StartAndLogin();
    EXPECT_EQ(m_client.Ask("MKD /new1/new2"), "250 Directory created.");
    EXPECT_TRUE(fs::is_directory(m_home + "/new1"));
    EXPECT_FALSE(fs::exists(m_home + "/new1/new2"));
    EXPECT_EQ(m_client.Ask("MKD /new1"), "550 Directory exists.");
    EXPECT_EQ(m_client.Ask("XMKD /new1/new2"), "250 Directory created.");
    EXPECT_EQ(m_client.Ask("RMD /new1"), "550 Directory is not empty.");
    EXPECT_EQ(m_client.Ask("RMD /file.txt"), "450 delete directory error.");
    EXPECT_EQ(m_client.Ask("RMD /"), "550 Directory unavailable.");
    EXPECT_EQ(m_client.Ask("MKD .."), "550 can't create directory. No permission.");
    EXPECT_EQ(m_client.Ask("XRMD /new1/new2"), "250 Directory deleted.");
    EXPECT_EQ(m_client.Ask("RMD /new1"), "250 Directory deleted.");
    SaveAlice(Only(Permission::DirList));
    EXPECT_EQ(m_client.Ask("MKD /docs"), "550 can't create directory. No permission.");
}

TEST_F(PathCommands, RenameSequenceAndTargetPermission) {
    SaveAlice(All(), {Folder("Music", m_outside, Only(Permission::Read))});
    StartAndLogin();
    EXPECT_EQ(m_client.Ask("RNTO x"), "503 Bad sequence of commands.");
    EXPECT_EQ(m_client.Ask("RNFR /nothing"), "550 File/directory not found.");
    EXPECT_EQ(m_client.Ask("RNFR /file.txt"), "350 File exists, ready for destination name.");
    EXPECT_EQ(m_client.Ask("RNTO /docs/sub/a.txt"), "550 File already exists.");
    // Every RNTO, and every refused RNFR, forgets the source.
    EXPECT_EQ(m_client.Ask("RNTO /moved.txt"), "503 Bad sequence of commands.");
    EXPECT_EQ(m_client.Ask("RNFR /file.txt"), "350 File exists, ready for destination name.");
    EXPECT_EQ(m_client.Ask("RNFR /nothing"), "550 File/directory not found.");
    EXPECT_EQ(m_client.Ask("RNTO /moved.txt"), "503 Bad sequence of commands.");
    // SECURITY: the target folder grants no rename, so nothing moves.
    EXPECT_EQ(m_client.Ask("RNFR /file.txt"), "350 File exists, ready for destination name.");
    EXPECT_EQ(m_client.Ask("RNTO /Music/file.txt"), "550 No permission.");
    EXPECT_TRUE(fs::exists(m_home + "/file.txt"));
    EXPECT_EQ(m_client.Ask("RNFR /file.txt"), "350 File exists, ready for destination name.");
    EXPECT_EQ(m_client.Ask("RNTO /moved.txt"), "250 File \"/file.txt\" renamed .");
    EXPECT_EQ(m_client.Ask("RNFR /docs"), "350 Directory exists, ready for destination name.");
    EXPECT_EQ(m_client.Ask("RNTO /papers"), "250 Directory \"/docs\" renamed .");
    EXPECT_TRUE(fs::exists(m_home + "/papers/sub/a.txt"));
}

TEST_F(PathCommands, SizeRestAndDeleteWithQuotaRefund) {
    UserRecord alice = SaveAlice(All());
    const std::string big = m_home + "/sparse.bin";
    { std::ofstream(big, std::ios::binary); }
    fs::resize_file(big, 5'000'000'000ULL);  // sparse: takes no space
    Touch(m_home + "/five.bin", 5000);
    alice.quotaMax = 100;
    alice.quotaCurrent = 3;
    CAccountEditor editor(m_dir.ProgramDir());
    ASSERT_TRUE(editor.SaveUser(alice, {}));
    StartAndLogin();
    EXPECT_EQ(m_client.Ask("SIZE /sparse.bin"), "213 5000000000");
    EXPECT_EQ(m_client.Ask("REST 5000000000"), "350 Restarting at byte offset 5000000000.");
    for (const char* bad : {"abc", "-1", "1e3", "0x10", "+5", "99999999999999999999"})
        EXPECT_EQ(m_client.Ask(std::string("REST ") + bad), "501 Syntax error: Invalid parameter.")
            << bad;
    EXPECT_EQ(m_client.Ask("DELE /docs"), "550 File unavailable.");
    EXPECT_EQ(m_client.Ask("DELE /five.bin"), "250 File \"/five.bin\" was deleted .");
    // The refund follows the reply; the next reply shows it is done.
    EXPECT_EQ(m_client.Ask("NOOP"), "200 NOOP command successful.");
    UserRecord after;
    ASSERT_TRUE(ReadUser(m_dir.ProgramDir(), "alice", after));
    EXPECT_EQ(after.quotaCurrent, 0);  // 3 - 4, never below 0
    alice.quotaMax = 0;
    alice.quotaCurrent = 7;
    ASSERT_TRUE(editor.SaveUser(alice, {}));
    EXPECT_EQ(m_client.Ask("DELE /file.txt"), "250 File \"/file.txt\" was deleted .");
    EXPECT_EQ(m_client.Ask("NOOP"), "200 NOOP command successful.");
    ASSERT_TRUE(ReadUser(m_dir.ProgramDir(), "alice", after));
    EXPECT_EQ(after.quotaCurrent, 7);
}

// One probe per permission: a command that needs exactly that permission.
struct Probe {
    Permission needs;
    std::string command;
    std::string refused;
};

class PermissionMatrix : public PathCommands {
protected:
    // Fresh victims at `dir` (a local directory) for the probes that change things.
    static void PrepareVictims(const std::string& dir) {
        Touch(dir + "/victim.txt");
        fs::create_directories(dir + "/victimdir");
        fs::remove_all(dir + "/newdir");
        fs::remove(dir + "/up.txt");
    }

    static std::vector<Probe> Probes(const std::string& at) {
        return {
            {Permission::Read, "SIZE " + at + "/victim.txt", "550 No permission."},
            {Permission::Write, "MFMT 20200101000000 " + at + "/victim.txt", "550 No permission."},
            {Permission::Delete, "DELE " + at + "/victim.txt", "550 No permission."},
            {Permission::Rename, "RNFR " + at + "/victim.txt", "550 No permission."},
            {Permission::Append, "APPE " + at + "/victim.txt", "550 No permission."},
            {Permission::DirList, "CWD " + at + "/victimdir",
             "550 \"" + at + "/victimdir\": No permission."},
            {Permission::DirCreate, "MKD " + at + "/newdir",
             "550 can't create directory. No permission."},
            {Permission::DirRemove, "RMD " + at + "/victimdir", "550 No permission."},
            {Permission::DirRename, "RNFR " + at + "/victimdir", "550 No permission."},
        };
    }

    // Runs every probe with only `granted` given at the place under test and checks
    // that exactly the probe needing it gets past the permission check.
    void CheckEveryProbe(Permission granted, const std::string& localDir, const std::string& at) {
        for (const Probe& probe : Probes(at)) {
            PrepareVictims(localDir);
            const std::string reply = m_client.Ask(probe.command);
            if (probe.needs == Permission::Append && reply.rfind("150 ", 0) == 0) {
                EXPECT_EQ(m_client.Reply(), "425 Can't build data connection.");
            }
            const bool allowed = reply != probe.refused;
            EXPECT_EQ(allowed, probe.needs == granted)
                << probe.command << " with only permission " << static_cast<int>(granted) << ": "
                << reply;
            m_client.Ask("CWD /");
        }
    }
};

TEST_F(PermissionMatrix, EachPermissionAloneAtHomeUserFolderAndGroupFolder) {
    const std::string groupDir = m_dir.Path("groupdir");
    fs::create_directories(groupDir);
    const std::int32_t group = SaveGroup("staff", {});
    SaveAlice(PermissionSet{});
    StartAndLogin();
    for (std::size_t i = 0; i < kPermissionCount; ++i) {
        const auto p = static_cast<Permission>(i);
        SaveAlice(Only(p));
        CheckEveryProbe(p, m_home, "");
        SaveAlice(PermissionSet{}, {Folder("Mine", m_outside, Only(p))});
        CheckEveryProbe(p, m_outside, "/Mine");
        GroupRecord staff{group, "staff", ""};
        CAccountEditor editor(m_dir.ProgramDir());
        ASSERT_TRUE(editor.SaveGroup(staff, {Folder("Theirs", groupDir, Only(p))}));
        SaveAlice(PermissionSet{}, {}, std::to_string(group));
        CheckEveryProbe(p, groupDir, "/Theirs");
    }
}

}  // namespace
