// Account tables of another release: the previous release's program directory, a table
// that lacks a field of this build (upgraded, every stored byte kept) and one with a
// field this build does not know (kept through saves).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "accounts/AccountEditor.h"
#include "accounts/AccountFields.h"
#include "accounts/AccountSchema.h"
#include "accounts/TableUpgrade.h"
#include "db/KorvTable.h"
#include "generated/Version.h"
#include "platform/FileSystem.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestAccounts.h"
#include "tools/DbTool.h"

namespace {

const std::string kBackupSuffix = std::string(".bak-") + kTarvonaVersion;
constexpr std::string_view kLastUserField = kUserFields.back().name;

std::string Check(const std::string& path) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunDbCommand({"check", path}, out, err);
    return std::to_string(status) + " " + out.str() + err.str();
}

// Every field of `before`, in every record, holds the same bytes in `after`.
testing::AssertionResult SameStoredBytes(const std::string& before, const std::string& after) {
    CKorvTable a;
    CKorvTable b;
    if (!a.Open(before, OpenMode::Read) || !b.Open(after, OpenMode::Read))
        return testing::AssertionFailure() << "cannot open";
    if (a.RecordCount() != b.RecordCount()) return testing::AssertionFailure() << "record count";
    bool inA = a.MoveFirst(0);
    bool inB = b.MoveFirst(0);
    for (; inA && inB; inA = a.MoveNext(0), inB = b.MoveNext(0)) {
        for (int i = 0; i < a.FieldCount(); ++i) {
            std::array<std::byte, 1024> x{};
            std::array<std::byte, 1024> y{};
            if (!a.GetFieldValue(i, x.data(), x.size()) ||
                !b.GetFieldValue(i, y.data(), y.size()) || x != y ||
                a.GetFieldName(i) != b.GetFieldName(i))
                return testing::AssertionFailure() << "field " << a.GetFieldName(i);
        }
    }
    if (inA || inB) return testing::AssertionFailure() << "records differ in number";
    return testing::AssertionSuccess();
}

ProgramRun Admin(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), {TARVONA_ADMIN_BINARY, "--dir", dir.Path()});
    return RunToEnd(args);
}

}  // namespace

TEST(TableUpgrade, PreviousReleaseDirectoryKeepsEveryValue) {
    TempDir dir;
    const std::filesystem::path fixtures = TARVONA_FIXTURES_DIR "/previous-release";
    for (const char* name : {"user.sdb", "group.sdb", "vfolder_user1.sdb", "vfolder_group1.sdb"}) {
        std::filesystem::copy_file(fixtures / name, dir.Path(name));
        ASSERT_EQ(::chmod(dir.Path(name).c_str(), 0600), 0);
    }
    std::vector<std::string> upgraded;
    std::vector<std::string> problems;
    UpgradeAccountTables(dir.ProgramDir(), kTarvonaVersion, upgraded, problems);
    EXPECT_TRUE(problems.empty());
    for (const char* name : {"user.sdb", "group.sdb", "vfolder_user1.sdb", "vfolder_group1.sdb"}) {
        EXPECT_TRUE(SameStoredBytes((fixtures / name).string(), dir.Path(name))) << name;
        if (upgraded.empty()) {  // this build adds no field: the files stay as they were
            EXPECT_TRUE(ReadFile(dir.Path(name)) == ReadFile((fixtures / name).string())) << name;
        }
    }

    UserRecord alice;
    ASSERT_TRUE(ReadUser(dir.ProgramDir(), "alice", alice));
    EXPECT_EQ(alice.groups, "1,2");
    EXPECT_EQ(alice.reserved, "1,2031-05-06");
    EXPECT_EQ(alice.uploadSpeed, 60);
    EXPECT_EQ(alice.quotaMax, 4096);
    std::vector<VirtualFolder> folders;
    ASSERT_TRUE(ReadFolders(GroupFolderTablePath(dir.ProgramDir(), 1), folders));
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].dir, "/srv/shared");
}

TEST(TableUpgrade, MissingFieldIsRefusedThenAddedWithEveryByteKept) {
    TempDir dir;
    const std::string path = dir.Path("user.sdb");
    CreateUserTable(path, UserTableLayout::LacksLastField);
    const std::string original = ReadFile(path);

    // Writing the field the table lacks fails, naming the field and the file.
    CAccountEditor editor(dir.ProgramDir());
    UserRecord alice;
    ASSERT_TRUE(ReadUser(dir.ProgramDir(), "alice", alice));
    alice.quotaCurrent = 5;
    EXPECT_FALSE(editor.SaveUser(alice, {}));
    EXPECT_NE(editor.GetLastError().find(std::string(kLastUserField)), std::string::npos);
    EXPECT_NE(editor.GetLastError().find(path), std::string::npos) << editor.GetLastError();
    EXPECT_TRUE(ReadFile(path) == original);
    EXPECT_EQ(Check(path).substr(0, 2), "1 ") << Check(path);

    std::vector<std::string> upgraded;
    std::vector<std::string> problems;
    UpgradeAccountTables(dir.ProgramDir(), kTarvonaVersion, upgraded, problems);
    ASSERT_EQ(upgraded.size(), 1u);
    EXPECT_TRUE(problems.empty()) << problems[0];
    EXPECT_NE(upgraded[0].find(std::string("added ") + std::string(kLastUserField)),
              std::string::npos)
        << upgraded[0];
    EXPECT_TRUE(ReadFile(path + kBackupSuffix) == original);
    EXPECT_TRUE(SameStoredBytes(path + kBackupSuffix, path));
    EXPECT_EQ(Check(path).substr(0, 2), "0 ") << Check(path);

    ASSERT_TRUE(editor.SaveUser(alice, {})) << editor.GetLastError();
    UserRecord stored;
    ASSERT_TRUE(ReadUser(dir.ProgramDir(), "alice", stored));
    EXPECT_EQ(stored.quotaCurrent, 5);
    EXPECT_EQ(stored.id, 1);
    UserRecord added;
    added.name = "dave";
    added.homeDir = "/srv/dave";
    ASSERT_TRUE(editor.SaveUser(added, {})) << editor.GetLastError();
    EXPECT_EQ(added.id, 4);  // the ids of the copied records hold, gap included
}

TEST(TableUpgrade, DamagedOrUnwritableTableIsLeftAsItIs) {
    TempDir dir;
    const std::string path = dir.Path("user.sdb");
    CreateUserTable(path, UserTableLayout::LacksLastField);
    const std::string original = ReadFile(path);
    std::vector<std::string> added;
    std::string error;

    // A full disk: the new file cannot grow past its header.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 20000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool upgradedFull = UpgradeTable(path, AccountTableKind::User, "t", added, error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(upgradedFull);
    EXPECT_TRUE(added.empty());
    EXPECT_TRUE(ReadFile(path) == original);

    // A record count the index does not reach.
    std::string damaged = original;
    damaged[36] = static_cast<char>(damaged[36] + 1);
    WriteFile(path, damaged);
    EXPECT_FALSE(UpgradeTable(path, AccountTableKind::User, "t", added, error));
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;
    EXPECT_TRUE(ReadFile(path) == damaged);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"user.sdb"});  // no backup, no half-made file
}

TEST(TableUpgrade, FieldOfALaterReleaseSurvivesSaves) {
    TempDir dir;
    const std::string path = dir.Path("user.sdb");
    CreateUserTable(path, UserTableLayout::HasExtraField);
    TableFieldReport report;
    std::string error;
    ASSERT_TRUE(ReadTableFields(path, AccountTableKind::User, report, error)) << error;
    EXPECT_TRUE(report.missing.empty());
    EXPECT_EQ(report.unknown, std::vector<std::string>{"logins"});

    CAccountEditor editor(dir.ProgramDir());
    UserRecord carol;
    ASSERT_TRUE(ReadUser(dir.ProgramDir(), "carol", carol));
    carol.email = "carol@example.net";
    ASSERT_TRUE(editor.SaveUser(carol, {})) << editor.GetLastError();
    ASSERT_TRUE(AddQuotaCurrent(dir.ProgramDir(), "carol", 10, false).ok());
    std::vector<std::string> added;
    ASSERT_TRUE(UpgradeTable(path, AccountTableKind::User, "t", added, error)) << error;
    EXPECT_TRUE(added.empty());

    CKorvTable t;
    ASSERT_TRUE(t.Open(path, OpenMode::Read));
    ASSERT_TRUE(t.SeekByName("userid", "carol"));
    EXPECT_EQ(t.GetFieldText("logins"), "7");
    EXPECT_EQ(t.GetFieldText("email"), "carol@example.net");
    EXPECT_EQ(Check(path).substr(0, 2), "0 ") << Check(path);
    t.Close();

    // A folder table is made anew on every save: one with a later field is not replaced.
    const std::string folders = UserFolderTablePath(dir.ProgramDir(), carol.id);
    CKorvTable laterFolders;
    ASSERT_TRUE(DefineFolderTable(laterFolders) &&
                laterFolders.AddField("shared", FieldType::Long, -1) &&
                laterFolders.Create(folders));
    laterFolders.Close();
    const std::string before = ReadFile(folders);
    EXPECT_FALSE(editor.SaveUser(carol, {}));
    EXPECT_EQ(editor.GetLastFailure(), EditFailure::FolderTable);
    EXPECT_TRUE(ReadFile(folders) == before);
}

TEST(TableUpgrade, AdminChecksUpgradesAndUpgradesBeforeAnAccountCommand) {
    TempDir dir;
    const std::string path = dir.Path("user.sdb");
    CreateUserTable(path, UserTableLayout::LacksLastField);
    const ProgramRun check = Admin(dir, {"db", "check", "user.sdb"});
    EXPECT_EQ(check.status, 1);
    EXPECT_NE(check.output.find("needs an upgrade"), std::string::npos) << check.output;
    const ProgramRun upgrade = Admin(dir, {"db", "upgrade", "user.sdb"});
    EXPECT_EQ(upgrade.status, 0) << upgrade.output;
    EXPECT_EQ(Admin(dir, {"db", "check", "user.sdb"}).status, 0);
    EXPECT_NE(Admin(dir, {"db", "upgrade", "user.sdb"}).output.find("every field already"),
              std::string::npos);
    EXPECT_EQ(GetPathKind(path + kBackupSuffix), PathKind::File);

    // An account command upgrades first, so the value it sets is stored.
    std::filesystem::remove(path + kBackupSuffix);
    CreateUserTable(path, UserTableLayout::LacksLastField);
    const ProgramRun set = Admin(dir, {"user", "set", "alice", "--quota", "64"});
    EXPECT_EQ(set.status, 0) << set.output;
    EXPECT_EQ(GetPathKind(path + kBackupSuffix), PathKind::File);
    EXPECT_EQ(Admin(dir, {"db", "check", "user.sdb"}).status, 0);
}
