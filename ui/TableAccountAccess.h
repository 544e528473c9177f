// The accounts of the program directory's tables, read and written in this process: the
// window that runs its server inside. Every call answers before it returns.
#pragma once

#include <string>

#include "ui/AccountAccess.h"

class CTableAccountAccess : public CAccountAccess {
public:
    CTableAccountAccess(std::string programDir, AccountEditNote note);

    void ListUsers(Then<std::vector<UserListEntry>> done) override;
    void ListGroups(Then<std::vector<GroupRecord>> done) override;
    void ReadUser(const AccountKey& key, Then<UserDetails> done) override;
    void ReadGroup(const AccountKey& key, Then<GroupDetails> done) override;
    void SaveUser(const UserSave& save, Saved done) override;
    void SaveGroup(const GroupSave& save, Saved done) override;
    void DeleteUser(const AccountKey& key, Done done) override;
    void DeleteGroup(const AccountKey& key, Done done) override;

private:
    void Note(AccountKind kind, AccountEdit edit, const std::string& name) const;

    const std::string m_programDir;
    const AccountEditNote m_note;
};
