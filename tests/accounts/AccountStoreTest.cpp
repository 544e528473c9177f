// Saving, deleting, group lists, permission text, expiry and quota on tables made by the
// first-start creation.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "accounts/AccountEditor.h"
#include "accounts/AccountSchema.h"
#include "accounts/ExpiryCheck.h"
#include "accounts/PermissionText.h"
#include "accounts/RecordText.h"
#include "db/KorvTable.h"
#include "tests/support/TempDir.h"
#include "tools/DbTool.h"

namespace {

bool TableChecksClean(const std::string& path) {
    std::ostringstream out, err;
    return RunDbCommand({"check", path}, out, err) == 0;
}

UserRecord MakeUser(const std::string& name, const std::string& password = "secret") {
    UserRecord u;
    u.name = name;
    u.password = password;
    u.homeDir = "/srv/ftp/" + name;
    u.status = "1";
    u.reserved = "0,2030-01-01";
    u.permissions = PermissionsFromText("R----L---");
    return u;
}

class AccountStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(EnsureAccountTables(m_dir.ProgramDir(), error)) << error;
    }
    std::string Dir() const { return m_dir.ProgramDir(); }
    std::int32_t AddUser(UserRecord u, const std::vector<VirtualFolder>& folders = {}) {
        EXPECT_TRUE(m_editor.SaveUser(u, folders)) << m_editor.GetLastError();
        return u.id;
    }
    std::int32_t AddGroup(const std::string& name) {
        GroupRecord g{0, name, ""};
        EXPECT_TRUE(m_editor.SaveGroup(g, {})) << m_editor.GetLastError();
        return g.id;
    }

    TempDir m_dir;
    CAccountEditor m_editor{m_dir.ProgramDir()};
};

TEST_F(AccountStoreTest, FirstStartCreatesCleanTablesAndNeverEmptiesThem) {
    EXPECT_TRUE(TableChecksClean(UserTablePath(Dir())));
    EXPECT_TRUE(TableChecksClean(GroupTablePath(Dir())));
    AddUser(MakeUser("alice"));
    std::string error;
    ASSERT_TRUE(EnsureAccountTables(Dir(), error));
    UserRecord read;
    EXPECT_TRUE(ReadUser(Dir(), "alice", read));
    EXPECT_FALSE(EnsureAccountTables("/nonexistent-dir/", error));
}

TEST_F(AccountStoreTest, NewAccountGetsIdOneAndItsFoldersInTheFileOfThatId) {
    const std::int32_t id =
        AddUser(MakeUser("alice"), {{0, "music", "/srv/music", PermissionsFromText("R-D-A-C--")},
                                    {0, "music", "/srv/other", {}},  // repeated: not stored
                                    {0, "docs", "/srv/docs", {}}});
    EXPECT_EQ(id, 1);
    std::vector<VirtualFolder> folders;
    ASSERT_TRUE(ReadFolders(UserFolderTablePath(Dir(), 1), folders));
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0].dir, "/srv/music");
    EXPECT_EQ(folders[1].name, "docs");
    EXPECT_TRUE(TableChecksClean(UserFolderTablePath(Dir(), 1)));

    // The stored fields of the permission text R-D-A-C--, read back as the server does.
    CKorvTable t;
    ASSERT_TRUE(t.Open(UserFolderTablePath(Dir(), 1), OpenMode::Read));
    ASSERT_TRUE(t.MoveFirst(0));
    std::string stored;
    for (const char* f : {"read", "write", "delete", "rename", "append", "dir_list", "dir_create",
                          "dir_remove", "dir_rename", "execute", "dir_sub", "reserved1"})
        stored += t.GetFieldText(f);
    EXPECT_EQ(stored, "101010100000");
    EXPECT_EQ(t.RecordLength(), 660u);
}

TEST_F(AccountStoreTest, SaveRoundTripsEveryFieldAndUpdatesInPlace) {
    UserRecord u = MakeUser("alice");
    u.email = "a@example.org";
    u.downloadLimit = 1;
    u.downloadSpeed = 300;
    u.uploadSpeed = 70000;
    u.quotaMax = 5e6;
    u.quotaCurrent = 12;
    const std::int32_t id = AddUser(u);
    UserRecord read;
    ASSERT_TRUE(ReadUser(Dir(), "ALICE", read));  // login names ignore letter case
    EXPECT_EQ(read.id, id);
    EXPECT_EQ(read.email, u.email);
    EXPECT_EQ(read.downloadSpeed, 300);
    EXPECT_EQ(read.uploadSpeed, 70000);
    EXPECT_EQ(read.quotaMax, 5e6);
    EXPECT_EQ(PermissionsToText(read.permissions), "R----L---");

    read.password = "changed";
    ASSERT_TRUE(m_editor.SaveUser(read, {}));
    EXPECT_EQ(read.id, id);
    std::vector<UserRecord> all;
    ASSERT_TRUE(ReadAllUsers(Dir(), all));
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].password, "changed");
}

TEST_F(AccountStoreTest, RefusedSavesWriteNothing) {
    AddUser(MakeUser("alice"));
    UserRecord twin = MakeUser("Alice");
    EXPECT_FALSE(m_editor.SaveUser(twin, {{0, "f", "/tmp", {}}}));
    EXPECT_EQ(m_editor.GetLastError(), "user \"Alice\" exists already");
    EXPECT_EQ(m_editor.GetLastFailure(), EditFailure::NameTaken);
    EXPECT_FALSE(std::filesystem::exists(UserFolderTablePath(Dir(), 2)));  // no file for another id

    UserRecord blank = MakeUser("   ");
    EXPECT_FALSE(m_editor.SaveUser(blank, {}));
    EXPECT_EQ(m_editor.GetLastFailure(), EditFailure::Invalid);
    EXPECT_EQ(m_editor.GetLastError(), "Username cannot be empty!");
    for (const char* home : {"", "relative/dir"}) {
        UserRecord u = MakeUser("bob");
        u.homeDir = home;
        EXPECT_FALSE(m_editor.SaveUser(u, {})) << home;
    }
    UserRecord badFolder = MakeUser("bob");
    EXPECT_FALSE(m_editor.SaveUser(badFolder, {{0, "f", "", {}}}));
    UserRecord longName = MakeUser(std::string(65, 'x'));
    EXPECT_FALSE(m_editor.SaveUser(longName, {}));  // would be cut to the field's width
    std::vector<UserRecord> all;
    ASSERT_TRUE(ReadAllUsers(Dir(), all));
    EXPECT_EQ(all.size(), 1u);

    UserRecord carol = MakeUser("carol");  // renamed onto a taken name: refused by Update
    ASSERT_TRUE(m_editor.SaveUser(carol, {}));
    carol.name = "ALICE";
    EXPECT_FALSE(m_editor.SaveUser(carol, {}));
    EXPECT_EQ(m_editor.GetLastFailure(), EditFailure::NameTaken);
    UserRecord read;
    ASSERT_TRUE(ReadUser(Dir(), "carol", read));
}

TEST_F(AccountStoreTest, LongNameNeverMatchesAStoredNameThatStartsTheSame) {
    AddUser(MakeUser(std::string(64, 'a')));
    UserRecord read;
    EXPECT_TRUE(ReadUser(Dir(), std::string(64, 'a'), read));
    EXPECT_FALSE(ReadUser(Dir(), std::string(64, 'a') + "b", read));
}

// A caller tells "no such account" from "the table could not be read" by the kind.
TEST_F(AccountStoreTest, LookUpsTellAMissingAccountFromAnUnreadableTable) {
    AddUser(MakeUser("alice"));
    UserRecord read;
    EXPECT_TRUE(LookUpUser(Dir(), "alice", read).ok());
    EXPECT_TRUE(LookUpUser(Dir(), "bob", read).IsNotFound());
    std::vector<VirtualFolder> folders;
    EXPECT_TRUE(LookUpFolders(UserFolderTablePath(Dir(), 99), folders).IsNotFound());
    const std::string damaged = UserFolderTablePath(Dir(), 98);
    { std::ofstream(damaged) << "not a table"; }
    const LookupStatus status = LookUpFolders(damaged, folders);
    EXPECT_TRUE(status.IsFailed());
    EXPECT_NE(status.message().find(damaged), std::string::npos) << status.message();
}

TEST_F(AccountStoreTest, DeleteRemovesTheAccountAndItsFolderTable) {
    const std::int32_t id = AddUser(MakeUser("alice"), {{0, "f", "/tmp", {}}});
    ASSERT_TRUE(std::filesystem::exists(UserFolderTablePath(Dir(), id)));
    UserRecord stale;
    ASSERT_TRUE(ReadUserById(Dir(), id, stale));
    ASSERT_TRUE(m_editor.DeleteUser(id));
    EXPECT_FALSE(std::filesystem::exists(UserFolderTablePath(Dir(), id)));
    UserRecord read;
    EXPECT_FALSE(ReadUser(Dir(), "alice", read));
    EXPECT_FALSE(m_editor.DeleteUser(id));
    EXPECT_EQ(m_editor.GetLastError(), "Can't delete user");
    // An editor still showing the deleted account never brings it back.
    EXPECT_FALSE(m_editor.SaveUser(stale, {{0, "f", "/tmp", {}}}));
    EXPECT_EQ(m_editor.GetLastFailure(), EditFailure::Gone);
    EXPECT_FALSE(ReadUser(Dir(), "alice", read));
    EXPECT_FALSE(std::filesystem::exists(UserFolderTablePath(Dir(), id)));
}

TEST_F(AccountStoreTest, GroupNamesBecomeIdsAndUnknownNamesAreDropped) {
    ASSERT_EQ(AddGroup("Admins"), 1);
    ASSERT_EQ(AddGroup("Guests"), 2);
    std::vector<std::string> unknown;
    EXPECT_EQ(m_editor.GroupNamesToIds("Admins, Guests", &unknown), "1,2");
    EXPECT_EQ(m_editor.GroupNamesToIds("Nobody,Guests", &unknown), "2");
    EXPECT_EQ(unknown, std::vector<std::string>{"Nobody"});
    EXPECT_EQ(m_editor.GroupIdsToNames("2,7,1"), "Guests,Admins");
    EXPECT_EQ(ParseGroupList("1,3,x,,12"), (std::vector<std::int32_t>{1, 3, 12}));

    GroupRecord dup{0, "admins", ""};
    EXPECT_FALSE(m_editor.SaveGroup(dup, {}));
    EXPECT_EQ(m_editor.GetLastFailure(), EditFailure::NameTaken);
    GroupRecord notes{0, "Notes", std::string(300, 'n')};
    ASSERT_TRUE(m_editor.SaveGroup(notes, {}));
    GroupRecord read;
    ASSERT_TRUE(m_editor.FindGroup("Notes", read));
    EXPECT_EQ(read.notes.size(), 127u);
    // A character that would straddle the limit is left out whole.
    notes.notes = std::string(126, 'n') + "\xC3\xA9";
    ASSERT_TRUE(m_editor.SaveGroup(notes, {}));
    ASSERT_TRUE(m_editor.FindGroup("Notes", read));
    EXPECT_EQ(read.notes, std::string(126, 'n'));
}

TEST_F(AccountStoreTest, DeletedGroupIdReusedLaterDoesNotInheritMembers) {
    AddGroup("Admins");
    const std::int32_t staff = AddGroup("Staff");
    UserRecord u = MakeUser("alice");
    u.groups = "1," + std::to_string(staff);
    AddUser(u);
    ASSERT_TRUE(m_editor.DeleteGroup(staff));
    EXPECT_EQ(AddGroup("Visitors"), staff);  // the highest id is handed out again
    UserRecord read;
    ASSERT_TRUE(ReadUser(Dir(), "alice", read));
    EXPECT_EQ(read.groups, "1");
    EXPECT_TRUE(TableChecksClean(UserTablePath(Dir())));
}

TEST_F(AccountStoreTest, PermissionTextConversions) {
    const PermissionSet set = PermissionsFromText("R-D-A-C--");
    EXPECT_TRUE(set.Has(Permission::Read));
    EXPECT_FALSE(set.Has(Permission::Write));
    EXPECT_TRUE(set.Has(Permission::Delete));
    EXPECT_TRUE(set.Has(Permission::Append));
    EXPECT_TRUE(set.Has(Permission::DirCreate));
    EXPECT_FALSE(set.Has(Permission::DirRename));
    EXPECT_EQ(PermissionsToText(set), "R-D-A-C--");
    EXPECT_EQ(PermissionsToText(PermissionsFromText("RWDRALCRR")), "RWDRALCRR");
    EXPECT_EQ(PermissionsToText(PermissionsFromText("WRDRALCRR")),
              "--DRALCRR");  // letters only in place
    EXPECT_TRUE(IsValidPermissionText("rwdralcrr"));
    EXPECT_EQ(PermissionsToText(PermissionsFromTypedText("rw---l---")), "RW---L---");
    EXPECT_FALSE(IsValidPermissionText("R----L--"));
    EXPECT_FALSE(IsValidPermissionText("W--------"));
}

TEST_F(AccountStoreTest, ExpiryDisablesFromTheDateOnAndLeavesOthers) {
    const char* reserved[] = {"1,2026-12-08", "1,2026-12-07", "1,2026-12-09", "0,2020-01-01", ""};
    for (int i = 0; i < 5; ++i) {
        UserRecord u = MakeUser("u" + std::to_string(i));
        u.reserved = reserved[i];
        AddUser(u);
    }
    int disabled = 0;
    const LookupStatus expired = DisableExpiredAccounts(Dir(), "2026-12-08", disabled);
    ASSERT_TRUE(expired.ok()) << expired.message();
    EXPECT_EQ(disabled, 2);
    std::vector<UserRecord> all;
    ASSERT_TRUE(ReadAllUsers(Dir(), all));
    std::string statuses;
    for (const UserRecord& u : all) statuses += u.status;
    EXPECT_EQ(statuses, "00111");
    EXPECT_TRUE(TableChecksClean(UserTablePath(Dir())));
    ASSERT_TRUE(DisableExpiredAccounts(Dir(), "2026-12-08", disabled).ok());
    EXPECT_EQ(disabled, 0);  // already off: nothing rewritten
}

TEST_F(AccountStoreTest, QuotaBookkeeping) {
    UserRecord none = MakeUser("none");
    none.quotaCurrent = 5;
    AddUser(none);
    UserRecord some = MakeUser("some");
    some.quotaMax = 100;
    some.quotaCurrent = 10;
    AddUser(some);
    ASSERT_TRUE(AddQuotaCurrent(Dir(), "none", -3, true).ok());
    ASSERT_TRUE(AddQuotaCurrent(Dir(), "none", 7, false).ok());
    ASSERT_TRUE(AddQuotaCurrent(Dir(), "some", 4, false).ok());
    UserRecord read;
    ASSERT_TRUE(ReadUser(Dir(), "none", read));
    EXPECT_EQ(read.quotaCurrent, 5);
    ASSERT_TRUE(ReadUser(Dir(), "some", read));
    EXPECT_EQ(read.quotaCurrent, 14);
    ASSERT_TRUE(AddQuotaCurrent(Dir(), "some", -50, true).ok());
    ASSERT_TRUE(ReadUser(Dir(), "some", read));
    EXPECT_EQ(read.quotaCurrent, 0);
    EXPECT_TRUE(AddQuotaCurrent(Dir(), "nobody", 1, false).IsNotFound());
}

}  // namespace

// The login, the window and tarvona-admin read these texts through one parse: a stored
// text another tool wrote must mean the same to all of them.
TEST(RecordText, StatusAndExpiryTextsReadAlikeEverywhere) {
    for (const char* on : {"1", " 1", "01", "+1", "1x", "\t1 "})
        EXPECT_TRUE(IsStatusEnabled(on)) << on;
    for (const char* off : {"", "0", "2", "-1", "10", "x1", "99999999999999999999"})
        EXPECT_FALSE(IsStatusEnabled(off)) << off;
    EXPECT_STREQ(StatusWord("1"), "Enable");
    EXPECT_STREQ(StatusWord("0"), "Disable");

    const ExpiryText due = ParseExpiry("1,2030-01-02 10:00");
    EXPECT_TRUE(due.on);
    EXPECT_EQ(due.date, "2030-01-02 10:00");
    EXPECT_FALSE(ParseExpiry("0,2030-01-02").on);
    EXPECT_FALSE(ParseExpiry("").on);
    EXPECT_EQ(ParseExpiry("1").date, "");
    EXPECT_EQ(ParseExpiry("1,").date, "");
    EXPECT_EQ(FormatExpiry(true, "2030-01-02"), "1,2030-01-02");
    EXPECT_EQ(ParseExpiry(FormatExpiry(false, "2030-01-02")).date, "2030-01-02");
}
