// One session's view of the account tables. Reading user.sdb and the folder tables
// afresh costs an open, a lock and a B-tree walk per look-up, several times per
// command; this keeps what the last read found and checks each table with one stat per
// command: a table whose file is unchanged is not read again, so an edit still applies
// to the next command. Used by one thread (the session's).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "accounts/AccountStore.h"
#include "platform/FileIdentity.h"

class CAccountCache {
public:
    // A new command begins: every table is checked again before its next use.
    void BeginCommand() { ++m_command; }

    // As LookUpUser and LookUpFolders (accounts/AccountStore.h).
    LookupStatus LookUpUser(const std::string& programDir, const std::string& userName,
                            UserRecord& out);
    LookupStatus LookUpFolders(const std::string& path, std::vector<VirtualFolder>& out);

private:
    template <typename Value>
    struct Entry {
        std::string path;
        std::string key;  // the user name; empty for a folder table
        Value value;
        LookupStatus status = LookupStatus::NotFound();
        FileIdentity identity;
        bool trusted = false;         // the identity vouches for `value` in later commands
        std::uint64_t checkedIn = 0;  // the command in which the file was last checked
        bool filled = false;
    };

    template <typename Value, typename Load>
    LookupStatus Look(Entry<Value>& entry, const std::string& path, const std::string& key,
                      Load load, Value& out);
    Entry<std::vector<VirtualFolder>>& FolderEntry(const std::string& path);

    std::uint64_t m_command = 1;
    Entry<UserRecord> m_user;
    std::vector<Entry<std::vector<VirtualFolder>>> m_folders;
};
