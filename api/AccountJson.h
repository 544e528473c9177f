// Accounts, groups and folder lists as the administration API shows and takes them: JSON
// objects named by the account fields (accounts/AccountFields.h), plus the nine-letter
// "permissions" text. Reading a body only checks its shape (known fields, JSON types,
// ranges); the rules on the values are the account editor's, applied when it saves.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/AccountStore.h"

// The user without its password (never shown); "group" holds the group names.
nlohmann::json UserToJson(const UserRecord& user,
                          const std::map<std::int32_t, std::string>& groupNames);
nlohmann::json GroupToJson(const GroupRecord& group);
nlohmann::json FoldersToJson(const std::vector<VirtualFolder>& folders);

// What a request body asks to change in a record.
struct UserInput {
    std::string programDir;      // for the group names
    bool hashPasswords = false;  // option HashPasswords=1
};

// Sets the fields `body` names in `user` and adds their field names to `owned`. False,
// with a message for a 400 answer in `error`, for a body that is not an object, a field
// no account has, a value of the wrong JSON type or range, an unknown group name or a
// name unfit for a path. "id" may be given only with the record's own id.
bool ApplyUserJson(const nlohmann::json& body, const UserInput& input, UserRecord& user,
                   std::vector<std::string_view>& owned, std::string& error);
bool ApplyGroupJson(const nlohmann::json& body, GroupRecord& group,
                    std::vector<std::string_view>& owned, std::string& error);
// A whole folder list from an array of folder objects; a folder without "permissions"
// or permission fields gets a new folder's. Two folders of one name are refused.
bool FoldersFromJson(const nlohmann::json& body, std::vector<VirtualFolder>& folders,
                     std::string& error);

// Why `name` cannot name an account or group in a request path or body: a control
// character, "/" or "\", or "." / ".."; empty when it can.
std::string NameProblem(std::string_view what, std::string_view name);
