// The db command of the admin tool: dump, check and upgrade of table files.
#include "tools/DbTool.h"

#include <cstdio>
#include <optional>
#include <string_view>

#include "accounts/HashCost.h"
#include "accounts/PasswordHash.h"
#include "accounts/TableUpgrade.h"
#include "db/KorvTable.h"
#include "db/Text.h"
#include "generated/Version.h"
#include "tools/TableCheck.h"

namespace {

const char* TypeName(int type) {
    switch (static_cast<FieldType>(type)) {
        case FieldType::Short:
            return "Short";
        case FieldType::Long:
            return "Long";
        case FieldType::Float:
            return "Float";
        case FieldType::Double:
            return "Double";
        case FieldType::Text:
            return "Text";
        case FieldType::Byte:
            return "Byte";
        case FieldType::Block:
            return "Block";
        case FieldType::AutoInc:
            return "AutoInc";
    }
    return "unknown";
}

// Texts from a file may hold anything; show control bytes as \xHH so one record stays one line.
std::string Printable(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7f && u != '\\') {
            out += c;
            continue;
        }
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02x", u);
        out += buf;
    }
    return out;
}

void DumpHeader(const TableHeader& h, std::ostream& out) {
    out << "signature: " << Printable(SlotText(h.signature)) << "\n"
        << "version: " << Printable(SlotText(h.version)) << "\n"
        << "description: " << Printable(SlotText(h.description)) << "\n"
        << "record length: " << h.recordLength << "\n"
        << "records: " << h.recordCount << "\n"
        << "record format: " << (h.recordFormat == kFixedRecordFormat ? "fixed" : "packed") << "\n"
        << "free lists: records " << h.freeRecord << ", entries " << h.freeEntry << ", blocks "
        << h.freeBlock << "\n";
}

void DumpFields(const CKorvTable& t, std::ostream& out) {
    const TableHeader& h = t.Header();
    out << "fields: " << h.fieldCount << "\n";
    for (int i = 0; i < t.FieldCount(); ++i) {
        const auto iu = static_cast<std::size_t>(i);
        out << "  " << i << " " << Printable(t.GetFieldName(i)) << " " << TypeName(h.fieldTypes[iu])
            << " " << h.fieldWidths[iu] << "\n";
    }
}

void DumpKeys(const TableHeader& h, std::ostream& out) {
    out << "keys: " << h.keyCount << "\n";
    for (std::size_t k = 0; k < static_cast<std::size_t>(h.keyCount) && k < kMaxKeys; ++k) {
        out << "  " << k << " " << Printable(SlotText(h.keyNames[k]))
            << (h.keyKinds[k] == 1 ? " duplicates" : " unique") << " segments " << h.segCount[k]
            << ":";
        const int n = h.segCount[k] >= 1 ? std::min<int>(h.segCount[k], kMaxSegments) : 1;
        for (std::size_t s = 0; s < static_cast<std::size_t>(n); ++s) {
            out << " [field " << h.segField[k][s] << " start " << h.segStart[k][s] << " length "
                << h.segLength[k][s] << " mode " << h.segMode[k][s] << "]";
        }
        out << " root " << h.root[k] << " first " << h.firstLeaf[k] << " last " << h.lastLeaf[k]
            << "\n";
    }
}

int Dump(const std::string& path, std::ostream& out, std::ostream& err) {
    CKorvTable t;
    if (!t.Open(path, OpenMode::Read)) {
        err << path << ": " << t.GetLastError() << "\n";
        if (!t.IsOpen()) return 1;
    }
    out << "file: " << path << "\n";
    DumpHeader(t.Header(), out);
    DumpFields(t, out);
    DumpKeys(t.Header(), out);
    out << "records in key 0 order:\n";
    std::int64_t shown = 0;
    for (bool ok = t.MoveFirst(0); ok; ok = t.MoveNext(0), ++shown) {
        out << "  @" << t.CurrentPosition(0);
        for (int i = 0; i < t.FieldCount(); ++i)
            out << " | " << Printable(t.GetFieldName(i)) << "=" << Printable(t.GetFieldText(i));
        out << "\n";
    }
    if (shown != t.RecordCount()) {
        err << path << ": " << shown << " records reached by key 0, header says " << t.RecordCount()
            << "\n";
        return 1;
    }
    return 0;
}

// An account table's stored hashes whose cost is over the login's caps: the server
// refuses those logins without computing them. Only a table with a "password" field
// has any. Returns how many were reported.
int ReportCostlyHashes(const std::string& path, std::ostream& out) {
    CKorvTable t;
    if (!t.Open(path, OpenMode::Read) || t.FindField("password") < 0) return 0;
    const bool named = t.FindField("userid") >= 0;
    int found = 0;
    for (bool ok = t.MoveFirst(0); ok; ok = t.MoveNext(0)) {
        const std::string stored = t.GetFieldText("password");
        if (!IsPasswordHash(stored) || HashCostAllowed(stored)) continue;
        out << path << ": @" << t.CurrentPosition(0) << " user \""
            << Printable(named ? t.GetFieldText("userid") : std::string()) << "\""
            << ": the stored password hash asks for more work than a login allows (over "
            << kMaxSha512Rounds << " SHA-512 rounds, or yescrypt over 64 MiB); it never logs in\n";
        ++found;
    }
    return found;
}

std::string JoinNames(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + Printable(name);
    return text;
}

// An account table of an earlier release lacks fields of this one (reported: writing
// them fails until it is upgraded); fields of a later release are kept, and only shown.
int ReportFields(const std::string& path, std::ostream& out) {
    const std::optional<AccountTableKind> kind = AccountTableKindOf(path);
    TableFieldReport report;
    std::string error;
    if (!kind || !ReadTableFields(path, *kind, report, error)) return 0;
    if (!report.unknown.empty())
        out << path
            << ": fields of a later release, kept as they are: " << JoinNames(report.unknown)
            << "\n";
    if (report.missing.empty()) return 0;
    out << path << ": needs an upgrade, it lacks " << JoinNames(report.missing)
        << " (tarvona-admin db upgrade " << path << ")\n";
    return 1;
}

int Check(const std::string& path, std::ostream& out, std::ostream& err) {
    CTableChecker checker;
    const bool read = checker.Check(path);
    for (const std::string& p : checker.Problems()) (read ? out : err) << path << ": " << p << "\n";
    if (!checker.Problems().empty()) return 1;
    const int costly = ReportCostlyHashes(path, out);
    if (ReportFields(path, out) + costly > 0) return 1;
    out << path << ": ok\n";
    return 0;
}

// A damaged table is never rewritten: `db check` must find it clean first.
int Upgrade(const std::string& path, std::ostream& out, std::ostream& err) {
    const std::optional<AccountTableKind> kind = AccountTableKindOf(path);
    if (!kind) {
        err << path << ": not an account table (user.sdb, group.sdb, vfolder_*.sdb)\n";
        return 1;
    }
    {
        CTableChecker checker;  // closed again before the upgrade locks the table
        if (!checker.Check(path) || !checker.Problems().empty()) {
            for (const std::string& p : checker.Problems()) err << path << ": " << p << "\n";
            err << path << ": damaged, left as it is\n";
            return 1;
        }
    }
    std::vector<std::string> added;
    std::string error;
    if (!UpgradeTable(path, *kind, kTarvonaVersion, added, error)) {
        err << path << ": cannot be upgraded: " << error << "\n";
        return 1;
    }
    if (added.empty())
        out << path << ": has every field already\n";
    else
        out << path << ": added " << JoinNames(added) << "; the earlier file is " << path << ".bak-"
            << kTarvonaVersion << "\n";
    return 0;
}

struct DbCommand {
    std::string_view name;
    int (*run)(const std::string& path, std::ostream& out, std::ostream& err);
};
constexpr DbCommand kDbCommands[] = {
    {"dump", &Dump},
    {"check", &Check},
    {"upgrade", &Upgrade},
};

}  // namespace

int RunDbCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() == 2) {
        for (const DbCommand& c : kDbCommands) {
            if (args[0] == c.name) return c.run(args[1], out, err);
        }
    }
    err << "usage: db dump FILE | db check FILE | db upgrade FILE\n";
    return 2;
}
