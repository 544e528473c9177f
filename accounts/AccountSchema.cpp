#include "accounts/AccountSchema.h"

#include <random>
#include <string_view>

#include "accounts/AccountStore.h"
#include "accounts/Limits.h"
#include "db/KorvTable.h"
#include "platform/FileSystem.h"

namespace {

struct FieldDef {
    std::string_view name;
    FieldType type;
    int width;
};

bool AddFields(CKorvTable& table, std::initializer_list<FieldDef> fields) {
    for (const FieldDef& f : fields)
        if (!table.AddField(f.name, f.type, f.width)) return false;
    return true;
}

bool AddPermissionFields(CKorvTable& table) {
    // The order of the folder tables' own layout is used here too.
    for (std::string_view name : {"read", "write", "append", "delete", "rename", "dir_list", "dir_create",
                                  "dir_remove", "dir_rename"})
        if (!table.AddField(name, FieldType::Long, -1)) return false;
    return true;
}

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

// The AutoInc field 0 brings its own unique key 0, named as the field.
bool DefineUserTable(CKorvTable& table) {
    return AddFields(table, {{"id", FieldType::AutoInc, -1},
                             {"userid", FieldType::Text, kUserNameWidth},
                             {"password", FieldType::Text, kPasswordWidth},
                             {"email", FieldType::Text, kEmailWidth},
                             {"group", FieldType::Text, kGroupListWidth},
                             {"homedir", FieldType::Text, kHomeDirWidth},
                             {"status", FieldType::Long, -1},
                             {"reserved", FieldType::Text, kReservedWidth}}) &&
           AddPermissionFields(table) &&
           AddFields(table, {{"download_limit", FieldType::Long, -1},
                             {"download_speed", FieldType::Long, -1},
                             {"upload_limit", FieldType::Long, -1},
                             {"upload_speed", FieldType::Long, -1},
                             {"quota_max", FieldType::Double, -1},
                             {"quota_current", FieldType::Double, -1}}) &&
           table.AddKey("userid", KeyKind::Unique, 1, kCompareNoCase, 0, kUserNameWidth);
}

bool DefineGroupTable(CKorvTable& table) {
    return AddFields(table, {{"id", FieldType::AutoInc, -1},
                             {"name", FieldType::Text, kGroupNameWidth},
                             {"notes", FieldType::Text, kGroupNotesWidth}}) &&
           table.AddKey("name", KeyKind::Unique, 1, kCompareNoCase, 0, kGroupNameWidth);
}

bool DefineFolderTable(CKorvTable& table) {
    return AddFields(table, {{"id", FieldType::AutoInc, -1},
                             {"name", FieldType::Text, kFolderNameWidth},
                             {"dir", FieldType::Text, kFolderDirWidth},
                             {"read", FieldType::Long, -1},
                             {"write", FieldType::Long, -1},
                             {"delete", FieldType::Long, -1},
                             {"rename", FieldType::Long, -1},
                             {"append", FieldType::Long, -1},
                             {"execute", FieldType::Long, -1},
                             {"dir_list", FieldType::Long, -1},
                             {"dir_create", FieldType::Long, -1},
                             {"dir_remove", FieldType::Long, -1},
                             {"dir_rename", FieldType::Long, -1},
                             {"dir_sub", FieldType::Long, -1},
                             {"reserved1", FieldType::Long, -1},
                             {"reserved2", FieldType::Text, kFolderReservedWidth}}) &&
           table.AddKey("name", KeyKind::Unique, 1, kCompareBytes, 0, kFolderNameWidth);
}

bool CreateFolderTable(CKorvTable& table, const std::string& path, std::string& error) {
    if (DefineFolderTable(table) && table.Create(path)) return true;
    error = "Can't create virtual folder database file! (" + path + ": " + table.GetLastError() + ")";
    return false;
}

bool EnsureAccountTables(const std::string& programDir, std::string& error) {
    return CreateIfMissing(UserTablePath(programDir), DefineUserTable, error) &&
           CreateIfMissing(GroupTablePath(programDir), DefineGroupTable, error);
}
