// Accounts the tests and fuzz targets log in with.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "accounts/AccountStore.h"

// An enabled account named `name` with `password`, home `home` and all nine permissions.
UserRecord FullAccessUser(const std::string& name, const std::string& password,
                          const std::string& home);

// Makes the account tables in `programDir` when they are missing and saves `user`, with
// no folders of its own, there; a failure names the step and its error.
testing::AssertionResult SaveAccount(const std::string& programDir, UserRecord user);

// This build's user table less its last field (a table of the release before it), or
// with one field more, "logins" (one of the release after it), made at `path` with the
// accounts alice (id 1, "logins" 7) and carol (id 3; id 2 was deleted).
enum class UserTableLayout { LacksLastField, HasExtraField };
void CreateUserTable(const std::string& path, UserTableLayout layout);
