// The fields of the account tables, one row each: name, type, width and the member of
// the record it fills, in the order of the tables this system creates. Creating a table,
// reading and writing a record and showing one all loop over these rows, so a new field
// is one row here and one member of its record; tables made before the row existed gain
// the field at the next start (accounts/TableUpgrade.h), with the value a new record has.
//
// A table made elsewhere may order its fields otherwise, use other widths or other
// integer types (Byte, Short or Long) and name field 0 otherwise: every field is read
// and written by name, field 0 (the id) by position, and texts are checked against the
// widths the open table declares.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "accounts/AccountStore.h"
#include "db/FieldType.h"

template <typename Record>
struct AccountField {
    std::string_view name;
    FieldType type;
    int width;  // Text fields; -1 for the others
    // What the row fills: an integer, a text (also for a stored integer read as its
    // text), a number, one permission of `permissions`, or nothing (kept 0 or empty).
    std::variant<std::monostate, std::int32_t Record::*, std::string Record::*, double Record::*,
                 Permission>
        member;
};

using UserField = AccountField<UserRecord>;
using GroupField = AccountField<GroupRecord>;
using FolderField = AccountField<VirtualFolder>;

// The row of one permission field; its name is the permission's (kPermissionRows).
template <typename Record>
constexpr AccountField<Record> PermissionField(Permission p) {
    return {kPermissionRows[static_cast<std::size_t>(p)].field, FieldType::Long, -1, p};
}

// user.sdb. Key 0 is field 0's own; key 1 "userid" ignores letter case, so "Alice" and
// "alice" are one login name. The permissions keep the order of earlier releases.
inline constexpr std::array kUserFields{
    UserField{"id", FieldType::AutoInc, -1, &UserRecord::id},
    UserField{"userid", FieldType::Text, 64, &UserRecord::name},
    UserField{"password", FieldType::Text, 128, &UserRecord::password},
    UserField{"email", FieldType::Text, 128, &UserRecord::email},
    UserField{"group", FieldType::Text, 256, &UserRecord::groups},  // ~40 ids
    UserField{"homedir", FieldType::Text, 512, &UserRecord::homeDir},
    UserField{"status", FieldType::Long, -1, &UserRecord::status},
    // "1,YYYY-MM-DD" needs 12
    UserField{"reserved", FieldType::Text, 32, &UserRecord::reserved},
    PermissionField<UserRecord>(Permission::Read),
    PermissionField<UserRecord>(Permission::Write),
    PermissionField<UserRecord>(Permission::Append),
    PermissionField<UserRecord>(Permission::Delete),
    PermissionField<UserRecord>(Permission::Rename),
    PermissionField<UserRecord>(Permission::DirList),
    PermissionField<UserRecord>(Permission::DirCreate),
    PermissionField<UserRecord>(Permission::DirRemove),
    PermissionField<UserRecord>(Permission::DirRename),
    UserField{"download_limit", FieldType::Long, -1, &UserRecord::downloadLimit},
    UserField{"download_speed", FieldType::Long, -1, &UserRecord::downloadSpeed},
    UserField{"upload_limit", FieldType::Long, -1, &UserRecord::uploadLimit},
    UserField{"upload_speed", FieldType::Long, -1, &UserRecord::uploadSpeed},
    UserField{"quota_max", FieldType::Double, -1, &UserRecord::quotaMax},
    UserField{"quota_current", FieldType::Double, -1, &UserRecord::quotaCurrent},
};

// group.sdb. Key 1 "name" ignores letter case.
inline constexpr std::array kGroupFields{
    GroupField{"id", FieldType::AutoInc, -1, &GroupRecord::id},
    GroupField{"name", FieldType::Text, 64, &GroupRecord::name},
    GroupField{"notes", FieldType::Text, 128, &GroupRecord::notes},
};

// vfolder_user%d.sdb and vfolder_group%d.sdb: a fixed layout of 660-byte records. Key 1
// "name" compares bytes (letter case significant).
inline constexpr std::array kFolderFields{
    FolderField{"id", FieldType::AutoInc, -1, &VirtualFolder::id},
    FolderField{"name", FieldType::Text, 64, &VirtualFolder::name},
    FolderField{"dir", FieldType::Text, 512, &VirtualFolder::dir},
    PermissionField<VirtualFolder>(Permission::Read),
    PermissionField<VirtualFolder>(Permission::Write),
    PermissionField<VirtualFolder>(Permission::Delete),
    PermissionField<VirtualFolder>(Permission::Rename),
    PermissionField<VirtualFolder>(Permission::Append),
    FolderField{"execute", FieldType::Long, -1, {}},
    PermissionField<VirtualFolder>(Permission::DirList),
    PermissionField<VirtualFolder>(Permission::DirCreate),
    PermissionField<VirtualFolder>(Permission::DirRemove),
    PermissionField<VirtualFolder>(Permission::DirRename),
    FolderField{"dir_sub", FieldType::Long, -1, {}},
    FolderField{"reserved1", FieldType::Long, -1, {}},
    FolderField{"reserved2", FieldType::Text, 32, {}},
};

template <typename Record>
constexpr const auto& FieldsOf() {
    if constexpr (std::is_same_v<Record, UserRecord>)
        return kUserFields;
    else if constexpr (std::is_same_v<Record, GroupRecord>)
        return kGroupFields;
    else
        return kFolderFields;
}

inline constexpr std::size_t kNoFieldRow = static_cast<std::size_t>(-1);

// The index of the row that fills `member`, or kNoFieldRow when no row does.
template <typename Record, typename T>
constexpr std::size_t FindFieldRow(T Record::*member) {
    const auto& rows = FieldsOf<Record>();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        using Member = T Record::*;
        if (std::holds_alternative<Member>(rows[i].member) &&
            std::get<Member>(rows[i].member) == member)
            return i;
    }
    return kNoFieldRow;
}

// Reached only while compiling a look-up of a member that has no row: not a constant
// expression, so the compiler stops there.
inline void MemberHasNoFieldRow() {}

// The row that fills `member`, a constant: a member without a row does not compile.
template <typename Record, typename T>
consteval const AccountField<Record>& FieldOf(T Record::*member) {
    const std::size_t row = FindFieldRow(member);
    if (row == kNoFieldRow) MemberHasNoFieldRow();
    return FieldsOf<Record>()[row];
}

// The name of the field that `member` fills: FieldName(&UserRecord::quotaMax) is "quota_max".
template <typename Record, typename T>
consteval std::string_view FieldName(T Record::*member) {
    return FieldOf(member).name;
}

// The names of every field of `Record` a row fills but the id, for a save that writes
// them all over an existing record (CAccountEditor::SaveUserRecord, SaveGroupRecord).
template <typename Record>
std::vector<std::string_view> FieldNamesButId() {
    std::vector<std::string_view> names;
    for (const auto& row : FieldsOf<Record>())
        if (row.name != FieldsOf<Record>()[0].name &&
            !std::holds_alternative<std::monostate>(row.member))
            names.push_back(row.name);
    return names;
}
