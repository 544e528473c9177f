// Accounts the tests and fuzz targets log in with.
#pragma once

#include <string>

#include "accounts/AccountStore.h"

// An enabled account named `name` with `password`, home `home` and all nine permissions.
UserRecord FullAccessUser(const std::string& name, const std::string& password,
                          const std::string& home);
