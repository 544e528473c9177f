#include "accounts/ExpiryCheck.h"

#include <cstdint>
#include <vector>

#include "accounts/AccountFields.h"
#include "accounts/AccountStore.h"
#include "accounts/FieldAccess.h"
#include "accounts/RecordText.h"
#include "db/KorvTable.h"
#include "platform/Clock.h"

std::string TodayText() { return FormatLocalTime(NowSeconds(), "%Y-%m-%d"); }

LookupStatus DisableExpiredAccounts(const std::string& programDir, const std::string& today,
                                    int& disabled) {
    disabled = 0;
    constexpr std::string_view kStatus = FieldName(&UserRecord::status);
    CKorvTable table;
    if (!table.Open(UserTablePath(programDir), OpenMode::ReadWrite)) {
        // Without user.sdb there is nothing to check, which is a failure here.
        const LookupStatus why = OpenFailure(table);
        return why.IsBusy() ? why
                            : LookupStatus::Failed("cannot open " + table.Path() + ": " +
                                                   table.GetLastError());
    }
    // Update leaves no record current and moves the record, so the walk only collects
    // the ids and the updates follow by key 0.
    std::vector<std::int32_t> due;
    for (bool more = table.MoveFirst(0); more; more = table.MoveNext(0)) {
        const ExpiryText expiry = ParseExpiry(table.GetFieldText(FieldName(&UserRecord::reserved)));
        if (!expiry.on || today < expiry.date) continue;
        if (ReadIntField(table, kStatus) == 0) continue;  // already off: nothing to write
        due.push_back(ReadIntField(table, table.GetFieldName(0)));
    }
    for (std::int32_t id : due) {
        if (!table.Seek(0, &id) || !WriteIntField(table, kStatus, 0) || !table.Update()) {
            return LookupStatus::Failed("cannot disable account " + std::to_string(id) + ": " +
                                        table.GetLastError());
        }
        ++disabled;
    }
    return LookupStatus::Found();
}
