// A running server's accounts through its administration API (/api/v1/users, /groups and
// their folder lists). Reads and saves take several requests each, one after another;
// a save sends the versions read as If-Match, so a record changed meanwhile is refused
// by the server (412), never overwritten.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "ui/AccountAccess.h"
#include "ui/AdminTransport.h"

class CApiAccountAccess : public CAccountAccess {
public:
    explicit CApiAccountAccess(CAdminConnection& connection);

    void ListUsers(Then<std::vector<UserListEntry>> done) override;
    void ListGroups(Then<std::vector<GroupRecord>> done) override;
    void ReadUser(const AccountKey& key, Then<UserDetails> done) override;
    void ReadGroup(const AccountKey& key, Then<GroupDetails> done) override;
    void SaveUser(const UserSave& save, Saved done) override;
    void SaveGroup(const GroupSave& save, Saved done) override;
    void DeleteUser(const AccountKey& key, Done done) override;
    void DeleteGroup(const AccountKey& key, Done done) override;

    // An answer: its status as the pages tell it, its JSON body (null when none) and
    // its version (the ETag without quotes).
    struct Answer {
        AccessStatus status;
        nlohmann::json body;
        std::string version;
    };
    using Answered = std::function<void(const Answer&)>;

private:
    // One request; `then` runs only while this object lives.
    void Call(const char* method, const std::string& path, const nlohmann::json& body,
              const std::string& version, Answered then);
    struct UserRead;
    void ReadGroupFolders(const std::shared_ptr<UserRead>& read);
    struct FolderSave;
    void SaveFolders(const std::string& path, const FolderSave& save, Saved done);

    CAdminConnection& m_connection;
    // Expires with this object: answers arriving later are dropped.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
