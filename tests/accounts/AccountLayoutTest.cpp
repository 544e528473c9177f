// user.sdb made elsewhere: other field order, other integer widths, narrower texts, a
// case-sensitive name key. Everything must still work by field name.
#include <gtest/gtest.h>

#include "accounts/AccountEditor.h"
#include "accounts/AccountSchema.h"
#include "accounts/ExpiryCheck.h"
#include "accounts/PermissionText.h"
#include "db/KorvTable.h"
#include "tests/support/TempDir.h"

namespace {

// Quotas first, permissions as Byte, limits as Short, texts narrow, field 0 "uid".
void CreateForeignUserTable(const std::string& path) {
    CKorvTable t;
    struct F {
        const char* name;
        FieldType type;
        int width;
    };
    const F fields[] = {
        {"uid", FieldType::AutoInc, -1},         {"quota_current", FieldType::Double, -1},
        {"quota_max", FieldType::Double, -1},    {"homedir", FieldType::Text, 100},
        {"Status", FieldType::Byte, -1},         {"userid", FieldType::Text, 20},
        {"reserved", FieldType::Text, 12},       {"password", FieldType::Text, 16},
        {"group", FieldType::Text, 20},          {"email", FieldType::Text, 30},
        {"dir_rename", FieldType::Byte, -1},     {"dir_remove", FieldType::Byte, -1},
        {"dir_create", FieldType::Byte, -1},     {"dir_list", FieldType::Byte, -1},
        {"Rename", FieldType::Byte, -1},         {"delete", FieldType::Byte, -1},
        {"append", FieldType::Byte, -1},         {"write", FieldType::Byte, -1},
        {"read", FieldType::Byte, -1},           {"upload_speed", FieldType::Short, -1},
        {"upload_limit", FieldType::Short, -1},  {"download_speed", FieldType::Short, -1},
        {"download_limit", FieldType::Short, -1}};
    for (const F& f : fields) ASSERT_TRUE(t.AddField(f.name, f.type, f.width)) << f.name;
    ASSERT_TRUE(t.AddKey("userid", KeyKind::Unique, 5, kCompareBytes, 0, 20));
    ASSERT_TRUE(t.Create(path));
}

UserRecord MakeUser(const std::string& name) {
    UserRecord u;
    u.name = name;
    u.password = "pw-" + name;
    u.homeDir = "/home/" + name;
    u.status = "1";
    u.reserved = "1,2026-12-08";
    u.permissions = PermissionsFromText("RW-RA-C-R");
    u.downloadLimit = 1;
    u.downloadSpeed = 1200;
    u.quotaMax = 2048;
    return u;
}

TEST(AccountLayout, ForeignLayoutWorksByFieldName) {
    TempDir dir;
    CreateForeignUserTable(UserTablePath(dir.ProgramDir()));
    std::string error;
    ASSERT_TRUE(EnsureAccountTables(dir.ProgramDir(), error));  // keeps the foreign table

    CAccountEditor editor(dir.ProgramDir());
    UserRecord u = MakeUser("carol");
    ASSERT_TRUE(editor.SaveUser(u, {})) << editor.GetLastError();
    UserRecord read;
    ASSERT_TRUE(ReadUser(dir.ProgramDir(), "carol", read));
    EXPECT_FALSE(ReadUser(dir.ProgramDir(), "Carol", read));  // this key counts letter case
    ASSERT_TRUE(ReadUser(dir.ProgramDir(), "carol", read));
    EXPECT_EQ(read.id, 1);
    EXPECT_EQ(read.password, "pw-carol");
    EXPECT_EQ(read.status, "1");
    EXPECT_EQ(PermissionsToText(read.permissions), "RW-RA-C-R");
    EXPECT_EQ(read.downloadSpeed, 1200);
    EXPECT_EQ(read.downloadLimit, 1);

    UserRecord tooLong = MakeUser("dave");
    tooLong.password = std::string(17, 'p');  // wider than this table's 16
    EXPECT_FALSE(editor.SaveUser(tooLong, {}));

    ASSERT_TRUE(AddQuotaCurrent(dir.ProgramDir(), "carol", 3, false).ok());
    int disabled = 0;
    const LookupStatus expired = DisableExpiredAccounts(dir.ProgramDir(), "2026-12-08", disabled);
    ASSERT_TRUE(expired.ok()) << expired.message();
    EXPECT_EQ(disabled, 1);
    ASSERT_TRUE(ReadUser(dir.ProgramDir(), "carol", read));
    EXPECT_EQ(read.status, "0");
    EXPECT_EQ(read.quotaCurrent, 3);
}

TEST(AccountLayout, OwnLayoutHasTheDocumentedShape) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(EnsureAccountTables(dir.ProgramDir(), error));
    CKorvTable t;
    ASSERT_TRUE(t.Open(UserTablePath(dir.ProgramDir()), OpenMode::Read));
    EXPECT_EQ(t.FieldCount(), 23);
    EXPECT_EQ(t.KeyCount(), 2);
    EXPECT_EQ(t.GetFieldType(t.FindField("homedir")), static_cast<int>(FieldType::Text));
    EXPECT_EQ(t.Header().fieldWidths[static_cast<std::size_t>(t.FindField("homedir"))], 512);
    EXPECT_EQ(t.GetFieldType(t.FindField("status")), static_cast<int>(FieldType::Long));
    EXPECT_EQ(t.GetFieldType(t.FindField("quota_max")), static_cast<int>(FieldType::Double));
}

}  // namespace
