#include "accounts/AccountCache.h"

namespace {

// A user's own table and one per group; more than this and the oldest are dropped.
constexpr std::size_t kMaxFolderTables = 64;

}  // namespace

template <typename Value, typename Load>
LookupStatus CAccountCache::Look(Entry<Value>& entry, const std::string& path,
                                 const std::string& key, Load load, Value& out) {
    const bool same = entry.filled && entry.path == path && entry.key == key;
    if (same && entry.checkedIn == m_command) {
        out = entry.value;
        return entry.status;
    }
    FileIdentity now;
    const IdentityResult stat = StatIdentity(path, now);
    if (stat == IdentityResult::Missing) {
        // Opening would fail the same way: no account, no folders.
        entry.filled = false;
        out = Value{};
        return LookupStatus::NotFound();
    }
    if (same && entry.trusted && stat == IdentityResult::Found && now == entry.identity) {
        entry.checkedIn = m_command;
        out = entry.value;
        return entry.status;
    }
    const std::int64_t readAt = RealTimeNs();
    FileIdentity read;
    entry.filled = false;
    LookupStatus status = load(out, &read);
    if (status.IsBusy() || read == FileIdentity{}) return status;
    entry.path = path;
    entry.key = key;
    entry.value = out;
    entry.status = status;
    entry.identity = read;
    entry.trusted = !IsTooRecentToTrust(read, readAt);
    entry.checkedIn = m_command;
    entry.filled = true;
    return status;
}

CAccountCache::Entry<std::vector<VirtualFolder>>& CAccountCache::FolderEntry(
    const std::string& path) {
    for (auto& entry : m_folders)
        if (entry.path == path) return entry;
    if (m_folders.size() >= kMaxFolderTables) m_folders.erase(m_folders.begin());
    m_folders.emplace_back();
    m_folders.back().path = path;
    return m_folders.back();
}

LookupStatus CAccountCache::LookUpUser(const std::string& programDir, const std::string& userName,
                                       UserRecord& out) {
    return Look(
        m_user, UserTablePath(programDir), userName,
        [&](UserRecord& record, FileIdentity* identity) {
            return ::LookUpUser(programDir, userName, record, identity);
        },
        out);
}

LookupStatus CAccountCache::LookUpFolders(const std::string& path,
                                          std::vector<VirtualFolder>& out) {
    return Look(
        FolderEntry(path), path, std::string(),
        [&](std::vector<VirtualFolder>& folders, FileIdentity* identity) {
            return ::LookUpFolders(path, folders, identity);
        },
        out);
}
