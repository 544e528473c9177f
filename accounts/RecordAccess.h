// Whole account records in and out of a table, and the creation of a table's fields,
// by the rows of accounts/AccountFields.h.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "accounts/AccountStore.h"

class CKorvTable;

// Reads the current record of `table` into `out`; a field the table lacks reads as 0 or
// empty, field 0 (whatever its name) is the id.
void ReadRecord(const CKorvTable& table, UserRecord& out);
void ReadRecord(const CKorvTable& table, GroupRecord& out);
void ReadRecord(const CKorvTable& table, VirtualFolder& out);

// Stores every field of `record` but the id into the edit buffer (a permission as 1 or
// 0). False, with the reason in `error`, when the table lacks a field (one of an earlier
// release not yet upgraded: accounts/TableUpgrade.h), when a text
// is longer than its field or the table refuses a value.
[[nodiscard]] bool WriteRecord(CKorvTable& table, const UserRecord& record, std::string& error);
[[nodiscard]] bool WriteRecord(CKorvTable& table, const GroupRecord& record, std::string& error);
[[nodiscard]] bool WriteRecord(CKorvTable& table, const VirtualFolder& record, std::string& error);

// As WriteRecord, but only the fields named in `owned`: the others keep what the edit
// buffer holds (after a Seek, the stored record), so an editor that shows some fields
// never resets the rest.
[[nodiscard]] bool WriteOwnedFields(CKorvTable& table, const UserRecord& record,
                                    std::span<const std::string_view> owned, std::string& error);
[[nodiscard]] bool WriteOwnedFields(CKorvTable& table, const GroupRecord& record,
                                    std::span<const std::string_view> owned, std::string& error);

// Defines the fields of the user, group or folder table on `table` (before Create) and
// the unique key on the name field, which compares with `compareMode`.
[[nodiscard]] bool DefineUserFields(CKorvTable& table, int compareMode);
[[nodiscard]] bool DefineGroupFields(CKorvTable& table, int compareMode);
[[nodiscard]] bool DefineFolderFields(CKorvTable& table, int compareMode);
