#include "accounts/RecordAccess.h"

#include <algorithm>
#include <cstdlib>

#include "accounts/AccountFields.h"
#include "accounts/FieldAccess.h"
#include "db/KorvTable.h"

namespace {

template <typename Record>
bool& GrantOf(Record& record, Permission p) {
    return record.permissions.granted[static_cast<std::size_t>(p)];
}

template <typename Record>
void ReadField(const CKorvTable& table, const AccountField<Record>& row, Record& out) {
    const auto& member = row.member;
    if (const auto* integer = std::get_if<std::int32_t Record::*>(&member)) {
        // Field 0 by position: tables made elsewhere may name it otherwise.
        const bool isId = row.type == FieldType::AutoInc;
        out.*(*integer) =
            isId
                ? static_cast<std::int32_t>(std::strtol(table.GetFieldText(0).c_str(), nullptr, 10))
                : ReadIntField(table, row.name);
    } else if (const auto* text = std::get_if<std::string Record::*>(&member)) {
        out.*(*text) = table.GetFieldText(row.name);
    } else if (const auto* number = std::get_if<double Record::*>(&member)) {
        out.*(*number) = ReadNumberField(table, row.name);
    } else if (const auto* permission = std::get_if<Permission>(&member)) {
        if constexpr (requires { out.permissions; })
            GrantOf(out, *permission) = ReadIntField(table, row.name) == 1;
    }
}

template <typename Record>
bool WriteField(CKorvTable& table, const AccountField<Record>& row, const Record& record,
                std::string& error) {
    const auto& member = row.member;
    if (row.type == FieldType::AutoInc) return true;  // the engine assigns it
    if (const auto* text = std::get_if<std::string Record::*>(&member))
        return WriteTextField(table, row.name, record.*(*text), error);
    if (const auto* integer = std::get_if<std::int32_t Record::*>(&member))
        return WriteIntField(table, row.name, record.*(*integer), &error);
    if (const auto* number = std::get_if<double Record::*>(&member))
        return WriteNumberField(table, row.name, record.*(*number), &error);
    if (const auto* permission = std::get_if<Permission>(&member)) {
        if constexpr (requires { record.permissions; })
            return WriteIntField(table, row.name, record.permissions.Has(*permission) ? 1 : 0,
                                 &error);
    }
    return true;
}

template <typename Record>
void ReadFields(const CKorvTable& table, Record& out) {
    for (const AccountField<Record>& row : FieldsOf<Record>()) ReadField(table, row, out);
}

template <typename Record>
bool WriteFields(CKorvTable& table, const Record& record, std::string& error) {
    for (const AccountField<Record>& row : FieldsOf<Record>())
        if (!WriteField(table, row, record, error)) return false;
    return true;
}

template <typename Record>
bool WriteOwned(CKorvTable& table, const Record& record, std::span<const std::string_view> owned,
                std::string& error) {
    for (const AccountField<Record>& row : FieldsOf<Record>())
        if (std::find(owned.begin(), owned.end(), row.name) != owned.end() &&
            !WriteField(table, row, record, error))
            return false;
    return true;
}

// Every row as a field, then the unique key named after the `name` member's field. The
// AutoInc field 0 brings its own unique key 0, named as the field.
template <typename Record>
bool DefineFields(CKorvTable& table, int compareMode) {
    const auto& rows = FieldsOf<Record>();
    for (const AccountField<Record>& row : rows)
        if (!table.AddField(row.name, row.type, row.width)) return false;
    const AccountField<Record>& key = FieldOf(&Record::name);
    const int keyField = static_cast<int>(&key - rows.data());
    return table.AddKey(key.name, KeyKind::Unique, keyField, compareMode, 0, key.width);
}

}  // namespace

void ReadRecord(const CKorvTable& table, UserRecord& out) { ReadFields(table, out); }
void ReadRecord(const CKorvTable& table, GroupRecord& out) { ReadFields(table, out); }
void ReadRecord(const CKorvTable& table, VirtualFolder& out) { ReadFields(table, out); }

bool WriteRecord(CKorvTable& table, const UserRecord& record, std::string& error) {
    return WriteFields(table, record, error);
}
bool WriteRecord(CKorvTable& table, const GroupRecord& record, std::string& error) {
    return WriteFields(table, record, error);
}
bool WriteRecord(CKorvTable& table, const VirtualFolder& record, std::string& error) {
    return WriteFields(table, record, error);
}

bool WriteOwnedFields(CKorvTable& table, const UserRecord& record,
                      std::span<const std::string_view> owned, std::string& error) {
    return WriteOwned(table, record, owned, error);
}
bool WriteOwnedFields(CKorvTable& table, const GroupRecord& record,
                      std::span<const std::string_view> owned, std::string& error) {
    return WriteOwned(table, record, owned, error);
}

bool DefineUserFields(CKorvTable& table, int compareMode) {
    return DefineFields<UserRecord>(table, compareMode);
}
bool DefineGroupFields(CKorvTable& table, int compareMode) {
    return DefineFields<GroupRecord>(table, compareMode);
}
bool DefineFolderFields(CKorvTable& table, int compareMode) {
    return DefineFields<VirtualFolder>(table, compareMode);
}
