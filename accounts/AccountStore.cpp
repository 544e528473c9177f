#include "accounts/AccountStore.h"

#include <charconv>

#include "accounts/AccountFields.h"
#include "accounts/FieldAccess.h"
#include "accounts/RecordAccess.h"
#include "db/KorvTable.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace {

// Keys of Text fields compare only their first key-length bytes, so a name longer than
// the key can land on a stored name that merely starts the same way.
// SECURITY: the stored name must be the whole name sought, or a long name logs in as
// someone else. Letter case is left to the key (it may ignore case).
bool SameName(std::string_view stored, std::string_view sought) {
    return EqualsNoCase(stored, sought);
}

}  // namespace

std::string UserTablePath(const std::string& programDir) { return programDir + "user.sdb"; }

std::string GroupTablePath(const std::string& programDir) { return programDir + "group.sdb"; }

std::string UserFolderTablePath(const std::string& programDir, std::int32_t userId) {
    return programDir + "vfolder_user" + std::to_string(userId) + ".sdb";
}

std::string GroupFolderTablePath(const std::string& programDir, std::int32_t groupId) {
    return programDir + "vfolder_group" + std::to_string(groupId) + ".sdb";
}

bool FindUser(CKorvTable& table, const std::string& userName) {
    constexpr std::string_view kKey =
        FieldName(&UserRecord::name);  // the key is named as its field
    return table.SeekByName(kKey, userName.c_str()) && SameName(table.GetFieldText(kKey), userName);
}

LookupStatus OpenFailure(const CKorvTable& table) {
    if (table.IsBusy())
        return LookupStatus::Busy(table.Path() + " stayed locked by another process");
    if (IsAbsent(table.Path())) return LookupStatus::NotFound(table.Path() + " does not exist");
    return LookupStatus::Failed("cannot open " + table.Path() + ": " + table.GetLastError());
}

LookupStatus LookUpUser(const std::string& programDir, const std::string& userName, UserRecord& out,
                        FileIdentity* identity) {
    CKorvTable table;
    if (!table.Open(UserTablePath(programDir), OpenMode::Read)) return OpenFailure(table);
    if (identity != nullptr && !table.Identity(*identity)) *identity = FileIdentity{};
    if (!FindUser(table, userName)) return LookupStatus::NotFound();
    ReadRecord(table, out);
    return LookupStatus::Found();
}

bool ReadUser(const std::string& programDir, const std::string& userName, UserRecord& out) {
    return LookUpUser(programDir, userName, out).ok();
}

bool ReadUserById(const std::string& programDir, std::int32_t id, UserRecord& out) {
    CKorvTable table;
    if (!table.Open(UserTablePath(programDir), OpenMode::Read) || !table.Seek(0, &id)) return false;
    out = {};
    ReadRecord(table, out);
    return true;
}

bool ReadAllUsers(const std::string& programDir, std::vector<UserRecord>& out) {
    out.clear();
    CKorvTable table;
    if (!table.Open(UserTablePath(programDir), OpenMode::Read)) return false;
    for (bool more = table.MoveFirst(0); more; more = table.MoveNext(0)) {
        UserRecord user;
        ReadRecord(table, user);
        out.push_back(std::move(user));
    }
    return true;
}

LookupStatus LookUpFolders(const std::string& path, std::vector<VirtualFolder>& out,
                           FileIdentity* identity) {
    out.clear();
    CKorvTable table;
    if (!table.Open(path, OpenMode::Read)) return OpenFailure(table);
    if (identity != nullptr && !table.Identity(*identity)) *identity = FileIdentity{};
    for (bool more = table.MoveFirst(0); more; more = table.MoveNext(0)) {
        VirtualFolder folder;
        ReadRecord(table, folder);
        out.push_back(std::move(folder));
    }
    return LookupStatus::Found();
}

bool ReadFolders(const std::string& path, std::vector<VirtualFolder>& out) {
    return LookUpFolders(path, out).ok();
}

std::vector<std::int32_t> ParseGroupList(std::string_view groups) {
    std::vector<std::int32_t> ids;
    while (!groups.empty()) {
        const std::size_t comma = groups.find(',');
        std::string_view piece = groups.substr(0, comma);
        groups = comma == std::string_view::npos ? std::string_view{} : groups.substr(comma + 1);
        piece = Trim(piece, " ");
        std::int32_t id = 0;
        const auto [end, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), id);
        if (ec == std::errc() && end == piece.data() + piece.size() && !piece.empty())
            ids.push_back(id);
    }
    return ids;
}

LookupStatus AddQuotaCurrent(const std::string& programDir, const std::string& userName,
                             double deltaKb, bool onlyWhenPositive) {
    CKorvTable table;
    if (!table.Open(UserTablePath(programDir), OpenMode::ReadWrite)) return OpenFailure(table);
    if (!FindUser(table, userName)) return LookupStatus::NotFound();
    const double quotaMax = ReadNumberField(table, FieldName(&UserRecord::quotaMax));
    if (quotaMax == 0 || (onlyWhenPositive && !(quotaMax > 0))) return LookupStatus::Found();
    constexpr std::string_view kCurrent = FieldName(&UserRecord::quotaCurrent);
    double current = ReadNumberField(table, kCurrent) + deltaKb;
    if (current < 0) current = 0;
    if (WriteNumberField(table, kCurrent, current) && table.Update()) return LookupStatus::Found();
    return LookupStatus::Failed("cannot update the quota of " + userName + ": " +
                                table.GetLastError());
}

bool ReplaceStoredPassword(const std::string& programDir, const std::string& userName,
                           const std::string& expected, const std::string& replacement) {
    CKorvTable table;
    if (!table.Open(UserTablePath(programDir), OpenMode::ReadWrite) || !FindUser(table, userName))
        return false;
    constexpr std::string_view kPassword = FieldName(&UserRecord::password);
    if (table.GetFieldText(kPassword) != expected) return false;
    std::string error;
    return WriteTextField(table, kPassword, replacement, error) && table.Update();
}
