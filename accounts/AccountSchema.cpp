#include "accounts/AccountSchema.h"

#include <random>

#include "accounts/AccountStore.h"
#include "accounts/RecordAccess.h"
#include "db/KorvTable.h"
#include "platform/FileSystem.h"

namespace {

using DefineFn = bool (*)(CKorvTable&);

// Builds the table under a private name and links it into place only when `path` is
// still free, so a table another process made a moment ago is never emptied.
bool CreateIfMissing(const std::string& path, DefineFn define, std::string& error) {
    if (GetPathKind(path) != PathKind::Missing) return true;
    // Random, so two processes racing here never build in the same file.
    const std::string temp = path + ".new" + std::to_string(std::random_device{}());
    {
        CKorvTable table;
        if (!define(table) || !table.Create(temp)) {
            error = "cannot create " + path + ": " + table.GetLastError();
            (void)RemoveFile(temp);
            return false;
        }
    }
    const bool linked = LinkFile(temp, path);
    const bool existsNow = GetPathKind(path) != PathKind::Missing;
    (void)RemoveFile(temp);
    if (linked || existsNow) return true;
    error = "cannot create " + path;
    return false;
}

}  // namespace

bool DefineUserTable(CKorvTable& table) { return DefineUserFields(table, kCompareNoCase); }

bool DefineGroupTable(CKorvTable& table) { return DefineGroupFields(table, kCompareNoCase); }

bool DefineFolderTable(CKorvTable& table) { return DefineFolderFields(table, kCompareBytes); }

bool CreateFolderTable(CKorvTable& table, const std::string& path, std::string& error) {
    if (DefineFolderTable(table) && table.Create(path)) return true;
    error =
        "Can't create virtual folder database file! (" + path + ": " + table.GetLastError() + ")";
    return false;
}

bool EnsureAccountTables(const std::string& programDir, std::string& error) {
    return CreateIfMissing(UserTablePath(programDir), DefineUserTable, error) &&
           CreateIfMissing(GroupTablePath(programDir), DefineGroupTable, error);
}
