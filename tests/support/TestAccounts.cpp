#include "tests/support/TestAccounts.h"

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
