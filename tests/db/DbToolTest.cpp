// `db dump` and `db check` as tarvona-admin runs them: output and exit statuses.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "tests/db/TableFixtures.h"
#include "tests/support/TempDir.h"
#include "tools/DbTool.h"

namespace {

int RunDb(const std::vector<std::string>& args, std::string& out, std::string& err) {
    std::ostringstream o;
    std::ostringstream e;
    const int status = RunDbCommand(args, o, e);
    out = o.str();
    err = e.str();
    return status;
}

TEST(DbTool, ExitStatuses) {
    TempDir dir;
    const std::string path = dir.Path("t.sdb");
    WriteFolderTable(path, 250);
    std::string out;
    std::string err;
    EXPECT_EQ(RunDb({"check", path}, out, err), 0);
    EXPECT_NE(out.find(": ok"), std::string::npos);
    // A new table is its owner's alone (the check above passed); one that others may
    // read is a problem, named with the file and its mode.
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    EXPECT_EQ(RunDb({"check", path}, out, err), 1);
    EXPECT_NE(out.find(path + ": open to group or others: mode 0644"), std::string::npos) << out;
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(RunDb({}, out, err), 2);
    EXPECT_NE(err.find("usage:"), std::string::npos);
    EXPECT_EQ(RunDb({"check"}, out, err), 2);
    EXPECT_EQ(RunDb({"frobnicate", path}, out, err), 2);
    EXPECT_EQ(RunDb({"check", path, "extra"}, out, err), 2);
    EXPECT_EQ(RunDb({"check", dir.Path("absent.sdb")}, out, err), 1);
    EXPECT_EQ(RunDb({"dump", dir.Path("absent.sdb")}, out, err), 1);

    PatchI32(path, 36, 249);  // record count disagrees with the indexes
    EXPECT_EQ(RunDb({"check", path}, out, err), 1);
    EXPECT_NE(out.find("250 live entries but 249 records"), std::string::npos) << out;
}

TEST(DbTool, DumpShowsHeaderFieldsKeysAndRecordsInKeyOrder) {
    TempDir dir;
    const std::string path = dir.Path("t.sdb");
    WriteFolderTable(path, 3);
    std::string out;
    std::string err;
    ASSERT_EQ(RunDb({"dump", path}, out, err), 0) << err;
    EXPECT_NE(out.find("record length: 660\n"), std::string::npos);
    EXPECT_NE(out.find("records: 3\n"), std::string::npos);
    EXPECT_NE(out.find("  2 dir Text 512\n"), std::string::npos);
    EXPECT_NE(out.find("  1 name unique"), std::string::npos);
    const auto first = out.find("id=1 | name=folder00000");
    const auto third = out.find("id=3 | name=folder00002");
    ASSERT_NE(first, std::string::npos);
    EXPECT_LT(first, third);
}

}  // namespace
