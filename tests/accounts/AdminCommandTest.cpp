// tarvona-admin run as a program: its account commands, exit statuses, and tables that
// pass its own `db check`.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "accounts/AccountEditor.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

ProgramRun Admin(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), {TARVONA_ADMIN_BINARY, "--dir", dir.Path()});
    return RunToEnd(args);
}

int Status(const TempDir& dir, std::vector<std::string> args) {
    return Admin(dir, std::move(args)).status;
}

TEST(AdminCommands, AccountsWrittenByTheToolCheckClean) {
    TempDir dir;
    ASSERT_EQ(Status(dir, {"group", "add", "Admins", "--notes", "the staff"}), 0);
    ASSERT_EQ(Status(dir, {"group", "add", "Guests"}), 0);
    ASSERT_EQ(Status(dir, {"user", "add", "alice", "--password", "pw", "--home", "/srv/alice",
                           "--groups", "Admins, Guests", "--perms", "RWDRALCRR", "--expires",
                           "2030-01-31", "--quota", "100"}),
              0);
    ASSERT_EQ(
        Status(dir, {"user", "set", "alice", "--email", "a@example.org", "--download-limit", "50"}),
        0);
    ASSERT_EQ(Status(dir, {"folder", "add", "--user", "alice", "Music", "/srv/music"}), 0);
    ASSERT_EQ(Status(dir, {"folder", "add", "--group", "Admins", "Logs", "/var/log", "--perms",
                           "R----L---"}),
              0);

    UserRecord u;
    ASSERT_TRUE(ReadUser(dir.ProgramDir(), "alice", u));
    EXPECT_EQ(u.groups, "1,2");
    EXPECT_EQ(u.reserved, "1,2030-01-31");
    EXPECT_EQ(u.email, "a@example.org");
    EXPECT_EQ(u.downloadLimit, 1);
    EXPECT_EQ(u.downloadSpeed, 50);
    EXPECT_EQ(u.quotaMax, 100);

    const ProgramRun show = Admin(dir, {"user", "show", "alice"});
    EXPECT_NE(show.output.find("permissions: RWDRALCRR"), std::string::npos) << show.output;
    const ProgramRun folders = Admin(dir, {"folder", "list", "--user", "alice"});
    EXPECT_NE(folders.output.find("Music\t/srv/music\tR----L---\t\n"), std::string::npos)
        << folders.output;
    EXPECT_NE(folders.output.find("Logs\t/var/log\tR----L---\tAdmins\n"), std::string::npos)
        << folders.output;

    for (const char* table : {"user.sdb", "group.sdb", "vfolder_user1.sdb", "vfolder_group1.sdb"})
        EXPECT_EQ(Status(dir, {"db", "check", dir.Path(table)}), 0) << table;

    ASSERT_EQ(Status(dir, {"group", "del", "Guests"}), 0);
    ASSERT_EQ(Status(dir, {"user", "del", "alice"}), 0);
    EXPECT_EQ(Admin(dir, {"user", "list"}).output, "ID\tUserID\tStatus\tGroup\tHome directory\n");
    EXPECT_EQ(Status(dir, {"db", "check", dir.Path("user.sdb")}), 0);
}

TEST(AdminCommands, ExitStatusesTellBadArgumentsFromRefusals) {
    TempDir dir;
    ASSERT_EQ(Status(dir, {"user", "add", "bob", "--password", "x", "--home", "/srv/bob"}), 0);
    // 2: the arguments themselves are wrong.
    EXPECT_EQ(Status(dir, {"user", "add", "carol", "--password", "x"}), 2);
    EXPECT_EQ(Status(dir, {"user", "add", "carol", "--password", "x", "--home", "relative"}), 2);
    EXPECT_EQ(Status(dir, {"user", "add", "carol", "--password", "x", "--home", "/h", "--perms",
                           "RWX------"}),
              2);
    EXPECT_EQ(Status(dir, {"user", "add", "carol", "--password", "x", "--home", "/h", "--expires",
                           "2026-13-01"}),
              2);
    EXPECT_EQ(
        Status(dir, {"user", "add", "carol", "--password", "x", "--home", "/h", "--quota", "-1"}),
        2);
    EXPECT_EQ(Status(dir, {"user", "add", "carol", "--password"}), 2);
    EXPECT_EQ(Status(dir, {"user", "frobnicate"}), 2);
    EXPECT_EQ(Status(dir, {"folder", "add", "--user", "bob", "--group", "g", "f", "/d"}), 2);
    EXPECT_EQ(Status(dir, {"folder", "add", "--user", "bob", "f", "d"}), 2);
    EXPECT_EQ(Status(dir, {"nothing"}), 2);
    // 1: well-formed, but refused.
    EXPECT_EQ(Status(dir, {"user", "add", "BOB", "--password", "x", "--home", "/srv/bob"}), 1);
    EXPECT_EQ(Status(dir, {"user", "add", "carol", "--password", "x", "--home", "/h", "--groups",
                           "Nope"}),
              1);
    EXPECT_EQ(Status(dir, {"user", "del", "carol"}), 1);
    EXPECT_EQ(Status(dir, {"group", "add", "g"}), 0);
    EXPECT_EQ(Status(dir, {"group", "add", "G"}), 1);
    EXPECT_EQ(Status(dir, {"folder", "add", "--user", "bob", "f", "/d"}), 0);
    EXPECT_EQ(Status(dir, {"folder", "add", "--user", "bob", "F", "/e"}), 1);
    EXPECT_EQ(Status(dir, {"folder", "del", "--user", "bob", "zzz"}), 1);
    WriteFile(dir.Path("group.sdb"), "not a table");
    EXPECT_EQ(Status(dir, {"group", "list"}), 1);
    // Help for each command, on standard output.
    for (const char* command : {"user", "group", "folder", "expire"}) {
        const ProgramRun help = Admin(dir, {command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_NE(help.output.find("usage:"), std::string::npos) << command;
    }
}

TEST(AdminCommands, ExpireDisablesDueAccounts) {
    TempDir dir;
    ASSERT_EQ(Status(dir, {"user", "add", "old", "--password", "x", "--home", "/h", "--expires",
                           "2001-01-01"}),
              0);
    ASSERT_EQ(Status(dir, {"user", "add", "new", "--password", "x", "--home", "/h", "--expires",
                           "2999-01-01"}),
              0);
    const ProgramRun r = Admin(dir, {"expire"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "1 account(s) disabled\n");
    UserRecord u;
    ASSERT_TRUE(ReadUser(dir.ProgramDir(), "old", u));
    EXPECT_EQ(u.status, "0");
    ASSERT_EQ(Status(dir, {"user", "set", "old", "--expires", "never", "--enabled"}), 0);
    ASSERT_TRUE(ReadUser(dir.ProgramDir(), "old", u));
    EXPECT_EQ(u.reserved, "0,2001-01-01");
    EXPECT_EQ(u.status, "1");
}

}  // namespace
