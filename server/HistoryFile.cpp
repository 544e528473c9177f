#include "server/HistoryFile.h"

#include <cmath>
#include <random>

#include "db/KorvTable.h"
#include "platform/FileSystem.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "server/HistoryPeriod.h"

namespace {

constexpr char kPeriodField[] = "period";
constexpr char kUserField[] = "user";
constexpr int kPeriodWidth = 10;  // "YYYY-MM-DD"
constexpr int kUserWidth = 64;    // as user.sdb's "userid"
constexpr char kDescription[] = "Tarvona transfer history";
// Counts are stored as doubles: exact up to 2^53, so a byte count never wraps.
constexpr double kMaxCount = 9007199254740992.0;

struct CountField {
    const char* name;
    std::int64_t HistoryCounts::*member;
};
constexpr CountField kCountFields[] = {
    {"bytes_up", &HistoryCounts::bytesUp},
    {"bytes_down", &HistoryCounts::bytesDown},
    {"files_up", &HistoryCounts::filesUp},
    {"files_down", &HistoryCounts::filesDown},
    {"failed_transfers", &HistoryCounts::failedTransfers},
    {"failed_logins", &HistoryCounts::failedLogins},
};

bool DefineHistoryTable(CKorvTable& table) {
    bool ok = table.AddField(kPeriodField, FieldType::Text, kPeriodWidth) &&
              table.AddField(kUserField, FieldType::Text, kUserWidth);
    for (const CountField& field : kCountFields)
        ok = ok && table.AddField(field.name, FieldType::Double, -1);
    return ok && table.AddKey(kPeriodField, KeyKind::Duplicates, 0, kCompareBytes);
}

bool ReadPeriod(const std::string& text, HistoryRow& row) {
    row.month = text.size() == 7;
    return row.month ? ParseMonthText(text, row.period) : ParseDayText(text, row.period);
}

// A field this file lacks (an earlier release wrote it) reads as 0.
bool ReadCount(CKorvTable& table, const CountField& field, HistoryCounts& counts) {
    if (table.FindField(field.name) < 0) return true;
    double value = 0;
    if (!table.GetFieldValue(field.name, value) || !std::isfinite(value) || value < 0 ||
        value > kMaxCount || value != std::floor(value))
        return false;
    counts.*field.member = static_cast<std::int64_t>(value);
    return true;
}

bool ReadRow(CKorvTable& table, HistoryRow& row, std::string& error) {
    const std::string period = table.GetFieldText(kPeriodField);
    if (!ReadPeriod(period, row)) {
        // SECURITY: the text goes to the log; the file may hold any byte.
        error = "a record has no valid period (\"" + ReplaceControlCharacters(period) + "\")";
        return false;
    }
    row.user = table.GetFieldText(kUserField);
    for (const CountField& field : kCountFields)
        if (!ReadCount(table, field, row.counts)) {
            error = "a record of " + period + " holds no valid " + field.name;
            return false;
        }
    return true;
}

bool WriteRow(CKorvTable& table, const HistoryRow& row) {
    const std::string period = row.month ? MonthText(row.period) : DayText(row.period);
    bool ok = table.SetFieldText(kPeriodField, period) && table.SetFieldText(kUserField, row.user);
    for (const CountField& field : kCountFields) {
        const auto value = static_cast<double>(row.counts.*field.member);
        ok = ok && table.SetFieldValue(field.name, value);
    }
    return ok && table.Append();
}

bool BuildTable(const std::string& temp, const std::vector<HistoryRow>& rows, std::string& error) {
    CKorvTable table;
    if (!DefineHistoryTable(table) || !table.Create(temp, kDescription)) {
        error = "cannot create " + temp + ": " + table.GetLastError();
        return false;
    }
    for (const HistoryRow& row : rows)
        if (!WriteRow(table, row)) {
            error = "cannot write " + temp + ": " + table.GetLastError();
            return false;
        }
    return true;  // the header is written as the table closes
}

}  // namespace

std::string HistoryTablePath(const std::string& programDir) {
    return programDir + kHistoryTableName;
}

bool ReadHistoryFile(const std::string& path, std::vector<HistoryRow>& rows, bool& busy,
                     std::string& error) {
    rows.clear();
    busy = false;
    if (IsAbsent(path)) return true;
    CKorvTable table;
    if (!table.Open(path, OpenMode::Read)) {
        busy = table.IsBusy();
        error = "cannot open " + path + ": " + table.GetLastError();
        return false;
    }
    if (table.FindField(kPeriodField) < 0 || table.FindField(kUserField) < 0) {
        error = path + " is no transfer history (it has no \"period\" or \"user\" field)";
        return false;
    }
    for (bool more = table.MoveFirst(0); more; more = table.MoveNext(0))
        if (!ReadRow(table, rows.emplace_back(), error)) {
            error = path + ": " + error;
            return false;
        }
    if (static_cast<std::int32_t>(rows.size()) == table.RecordCount()) return true;
    error = path + " is damaged: " + std::to_string(rows.size()) +
            " records reached, header says " + std::to_string(table.RecordCount());
    return false;
}

bool WriteHistoryFile(const std::string& path, const std::vector<HistoryRow>& rows,
                      std::string& error) {
    // Random, so a second process writing at the same moment never builds in this file.
    const std::string temp = path + ".new" + std::to_string(std::random_device{}());
    std::string why;
    if (BuildTable(temp, rows, error) && platform::MoveFileIntoPlace(temp, path, &why)) return true;
    if (!why.empty()) error = why;
    (void)RemoveFile(temp);
    return false;
}
