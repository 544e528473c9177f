#include "tests/support/TestAccounts.h"

#include "accounts/AccountEditor.h"
#include "accounts/AccountFields.h"
#include "accounts/AccountSchema.h"
#include "db/KorvTable.h"

UserRecord FullAccessUser(const std::string& name, const std::string& password,
                          const std::string& home) {
    UserRecord user;
    user.name = name;
    user.password = password;
    user.homeDir = home;
    user.status = "1";
    user.permissions.granted.fill(true);
    return user;
}

testing::AssertionResult SaveAccount(const std::string& programDir, UserRecord user) {
    std::string error;
    if (!EnsureAccountTables(programDir, error))
        return testing::AssertionFailure() << "account tables: " << error;
    CAccountEditor editor(programDir);
    if (!editor.SaveUser(user, {}))
        return testing::AssertionFailure()
               << "saving " << user.name << ": " << editor.GetLastError();
    return testing::AssertionSuccess();
}

void CreateUserTable(const std::string& path, UserTableLayout layout) {
    CKorvTable t;
    const std::size_t fields =
        kUserFields.size() - (layout == UserTableLayout::LacksLastField ? 1 : 0);
    for (std::size_t i = 0; i < fields; ++i)
        ASSERT_TRUE(t.AddField(kUserFields[i].name, kUserFields[i].type, kUserFields[i].width));
    if (layout == UserTableLayout::HasExtraField) {
        ASSERT_TRUE(t.AddField("logins", FieldType::Long, -1));
    }
    ASSERT_TRUE(t.AddKey("userid", KeyKind::Unique, 1, kCompareNoCase, 0, 64));
    ASSERT_TRUE(t.Create(path));
    for (const char* name : {"alice", "bob", "carol"}) {
        ASSERT_TRUE(t.SetFieldText("userid", name));
        ASSERT_TRUE(t.SetFieldText("homedir", std::string("/srv/") + name));
        ASSERT_TRUE(t.SetFieldText("email", std::string(name) + "@example.org"));
        ASSERT_TRUE(t.SetFieldText("status", "1"));
        ASSERT_TRUE(t.SetFieldText("read", "1"));
        ASSERT_TRUE(t.SetFieldText("quota_max", "2048.5"));
        if (layout == UserTableLayout::HasExtraField) {
            ASSERT_TRUE(t.SetFieldText("logins", "7"));
        }
        ASSERT_TRUE(t.Append());
    }
    const std::int32_t bob = 2;
    ASSERT_TRUE(t.Seek(0, &bob) && t.Delete());  // a gap in the ids
}
