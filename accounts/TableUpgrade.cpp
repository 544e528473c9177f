#include "accounts/TableUpgrade.h"

#include <random>

#include "accounts/AccountFields.h"
#include "accounts/RecordAccess.h"
#include "accounts/TableModes.h"
#include "db/KorvTable.h"
#include "db/Text.h"
#include "platform/DirEntries.h"
#include "platform/FileSystem.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

namespace {

constexpr std::string_view kBackupInfix = ".bak-";

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Field 0 holds the id whatever its name, so the id row is never missing.
template <typename Record>
bool IsMissing(const CKorvTable& table, const AccountField<Record>& row) {
    return row.type != FieldType::AutoInc && table.FindField(row.name) < 0;
}

template <typename Record>
bool IsKnown(std::string_view fieldName) {
    for (const AccountField<Record>& row : FieldsOf<Record>())
        if (EqualsNoCase(row.name, TrimBlanks(fieldName))) return true;
    return false;
}

template <typename Record>
TableFieldReport CompareFields(const CKorvTable& table) {
    TableFieldReport report;
    for (const AccountField<Record>& row : FieldsOf<Record>())
        if (IsMissing(table, row)) report.missing.emplace_back(row.name);
    for (int i = 1; i < table.FieldCount(); ++i)
        if (!IsKnown<Record>(table.GetFieldName(i)))
            report.unknown.push_back(table.GetFieldName(i));
    return report;
}

// Every record of `from` in key 0 order into `to`, each keeping its bytes (the id
// included); the fields `to` has beyond them take the values of a new record. False
// when a record cannot be read or stored, or the walk does not reach as many records as
// the header counts: the table is damaged and must stay as it is.
template <typename Record>
bool CopyRecords(CKorvTable& from, CKorvTable& to, std::string& error) {
    std::vector<std::byte> image(from.RecordLength());
    std::int32_t copied = 0;
    for (bool more = from.MoveFirst(0, image.data(), image.size()); more;
         more = from.MoveNext(0, image.data(), image.size())) {
        if (!WriteRecord(to, Record{}, error)) return false;
        if (!to.AppendCopy(image.data(), image.size())) {
            error = "record " + std::to_string(copied + 1) + " cannot be copied (" +
                    to.GetLastError() + ")";
            return false;
        }
        ++copied;
    }
    if (copied == from.RecordCount()) return true;
    error = "the table is damaged: " + std::to_string(copied) + " records reached, header says " +
            std::to_string(from.RecordCount()) + " (\"tarvona-admin db check\" tells more)";
    return false;
}

// Builds at `temp` the table `from` with the rows it lacks added, and checks that the
// file written reads back whole.
template <typename Record>
bool BuildUpgraded(CKorvTable& from, const std::string& temp, std::vector<std::string>& added,
                   std::string& error) {
    CKorvTable to;
    if (!to.DefineLike(from)) {
        error = to.GetLastError();
        return false;
    }
    for (const AccountField<Record>& row : FieldsOf<Record>()) {
        if (!IsMissing(from, row)) continue;
        if (!to.AddField(row.name, row.type, row.width)) {
            error = "cannot add \"" + std::string(row.name) + "\": " + to.GetLastError();
            return false;
        }
        added.emplace_back(row.name);
    }
    if (!to.Create(temp, SlotText(from.Header().description))) {
        error = "cannot create " + temp + ": " + to.GetLastError();
        return false;
    }
    if (!CopyRecords<Record>(from, to, error)) return false;
    to.Close();  // writes the header
    CKorvTable check;
    if (check.Open(temp, OpenMode::Read) && check.RecordCount() == from.RecordCount()) return true;
    error = "cannot write " + temp + " (" + check.GetLastError() + ")";
    return false;
}

template <typename Record>
bool Upgrade(const std::string& path, const std::string& backupTag, std::vector<std::string>& added,
             std::string& error) {
    added.clear();
    {
        // Most starts find nothing to do: a shared lock is enough to see that.
        CKorvTable table;
        if (table.Open(path, OpenMode::Read) && CompareFields<Record>(table).missing.empty())
            return true;
    }
    CKorvTable from;  // its exclusive lock keeps every writer out until the new file is in place
    if (!from.Open(path, OpenMode::ReadWrite)) {
        error = from.IsBusy() ? "the table is busy" : "cannot open it: " + from.GetLastError();
        return false;
    }
    if (CompareFields<Record>(from).missing.empty()) return true;
    const std::string backup = path + std::string(kBackupInfix) + backupTag;
    if (!IsAbsent(backup)) {
        error = backup + " is there already; move it away to upgrade";
        return false;
    }
    const std::string temp = path + ".upgrade" + std::to_string(std::random_device{}());
    std::string why;
    const bool built = BuildUpgraded<Record>(from, temp, added, error);
    if (built && LinkFile(path, backup)) {
        if (platform::MoveFileIntoPlace(temp, path, &why)) return true;
        (void)RemoveFile(backup);  // the same file as `path`, which stays
        error = why;
    } else if (built) {
        error = "cannot keep the earlier file as " + backup;
    }
    (void)RemoveFile(temp);
    added.clear();
    return false;
}

std::string JoinNames(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

std::optional<AccountTableKind> AccountTableKindOf(const std::string& path) {
    const std::string name = BaseName(path);
    if (!IsAccountTableName(name)) return std::nullopt;
    if (name == "user.sdb") return AccountTableKind::User;
    if (name == "group.sdb") return AccountTableKind::Group;
    return AccountTableKind::Folder;
}

bool ReadTableFields(const std::string& path, AccountTableKind kind, TableFieldReport& report,
                     std::string& error) {
    CKorvTable table;
    if (!table.Open(path, OpenMode::Read)) {
        error = table.GetLastError();
        return false;
    }
    switch (kind) {
        case AccountTableKind::User:
            report = CompareFields<UserRecord>(table);
            break;
        case AccountTableKind::Group:
            report = CompareFields<GroupRecord>(table);
            break;
        case AccountTableKind::Folder:
            report = CompareFields<VirtualFolder>(table);
            break;
    }
    return true;
}

bool UpgradeTable(const std::string& path, AccountTableKind kind, const std::string& backupTag,
                  std::vector<std::string>& added, std::string& error) {
    switch (kind) {
        case AccountTableKind::User:
            return Upgrade<UserRecord>(path, backupTag, added, error);
        case AccountTableKind::Group:
            return Upgrade<GroupRecord>(path, backupTag, added, error);
        case AccountTableKind::Folder:
            break;
    }
    return Upgrade<VirtualFolder>(path, backupTag, added, error);
}

void UpgradeAccountTables(const std::string& programDir, const std::string& backupTag,
                          std::vector<std::string>& upgraded, std::vector<std::string>& problems) {
    std::vector<DirEntry> entries;
    if (!ListDirectory(programDir, entries)) return;
    for (const DirEntry& entry : entries) {
        const std::string path = programDir + entry.name;
        const std::optional<AccountTableKind> kind = AccountTableKindOf(path);
        if (entry.isDirectory || !kind) continue;
        std::vector<std::string> added;
        std::string error;
        if (!UpgradeTable(path, *kind, backupTag, added, error))
            problems.push_back("Table " + path + " cannot be upgraded (" + error +
                               "); fields of this release are not stored there until it is.");
        else if (!added.empty())
            upgraded.push_back("Table " + path + " upgraded: added " + JoinNames(added) +
                               "; the earlier file is kept as " + path + std::string(kBackupInfix) +
                               backupTag + " until the next start.");
    }
}

std::vector<std::string> UpgradeBackups(const std::string& programDir) {
    std::vector<std::string> backups;
    std::vector<DirEntry> entries;
    if (!ListDirectory(programDir, entries)) return backups;
    for (const DirEntry& entry : entries) {
        const std::size_t infix = entry.name.find(kBackupInfix);
        if (entry.isDirectory || infix == std::string::npos ||
            !IsAccountTableName(std::string_view(entry.name).substr(0, infix)))
            continue;
        backups.push_back(programDir + entry.name);
    }
    return backups;
}
