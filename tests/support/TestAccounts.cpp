#include "tests/support/TestAccounts.h"

#include "accounts/AccountEditor.h"
#include "accounts/AccountSchema.h"

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
