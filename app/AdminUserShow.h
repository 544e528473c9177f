// How tarvona-admin shows accounts: the lines of "user show" and the rows of "user list",
// the same whether the account was read from the files or from a server.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "accounts/AccountStore.h"

struct ShownUser {
    UserRecord record;
    std::string groupNames;
    bool passwordKnown;  // false through a server, which never shows it
};

// One line per field, in field order.
void ShowUser(const ShownUser& shown, std::ostream& out);

void PrintUserListHead(std::ostream& out);
void PrintUserRow(std::ostream& out, const UserRecord& u, const std::string& groupNames);

// An account as a server shows it (see api/AccountJson.h), in the record the files hold;
// its group ids stay empty (the server shows names, see GroupNamesOf) and so does the
// password (never shown). Text of the server's choosing loses its control characters on
// the way.
UserRecord UserFromJson(const nlohmann::json& json);
std::string GroupNamesOf(const nlohmann::json& user);
