// The per-user transfer history: per day and user, the bytes and files that went up and
// down, the transfers that failed and the logins refused. Kept in memory, counted by the
// sessions as transfers end, and written to stats.sdb by CHistoryKeeper.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "server/SessionEvents.h"

// Days kept one by one, today included; older days are summed into one row per month.
inline constexpr int kHistoryDays = 400;
// The longest range a question may ask for (ten years): the answer has a bucket per day.
inline constexpr int kMaxHistoryQueryDays = 3660;
// How the failed logins of names that no account has are shown. They share one row per
// day, so a client that tries ever new names cannot make the history grow.
inline constexpr char kUnknownUserShown[] = "(unknown)";

struct HistoryCounts {
    std::int64_t bytesUp = 0;
    std::int64_t bytesDown = 0;
    std::int64_t filesUp = 0;
    std::int64_t filesDown = 0;
    std::int64_t failedTransfers = 0;
    std::int64_t failedLogins = 0;

    HistoryCounts& operator+=(const HistoryCounts& other);
    bool operator==(const HistoryCounts&) const = default;
};

// One row of the history: a day, or a month summed up, of one user. `user` is the
// account name as first seen ("" for names no account has).
struct HistoryRow {
    bool month = false;
    std::int32_t period = 0;  // day number, or month number (server/HistoryPeriod.h)
    std::string user;
    HistoryCounts counts;
};

enum class HistoryGrouping { Day, Week, Month };

// A bar of the chart: a day, a week (from its Monday) or a month.
struct HistoryBucket {
    std::string label;  // "2026-12-10" (day, week's Monday) or "2026-12"
    HistoryCounts counts;
};

struct HistoryUserTotal {
    std::string user;  // kUnknownUserShown for the failed logins of unknown names
    HistoryCounts counts;
};

// Every method may be called from any thread; one short lock guards the rows, taken once
// per transfer end or refused login, never per chunk.
class CTransferHistory {
public:
    using Clock = std::function<std::int64_t()>;  // calendar time in whole seconds

    CTransferHistory();

    // Replaces the clock (tests move time on without waiting).
    void SetClock(Clock clock);
    // Today's local day number by the clock.
    std::int32_t Today() const;

    // Counts the end of a transfer of `user` (the name the session logged in with): its
    // bytes always, a file or a failure as `event` says.
    void NoteTransfer(const std::string& user, TransferEvent event, std::int64_t bytesUp,
                      std::int64_t bytesDown);
    // Counts a refused login of the account `accountName`; "" for a name no account has.
    void NoteFailedLogin(const std::string& accountName);

    // Adds `rows` (the history read from stats.sdb) to what was counted meanwhile; rows
    // of one period and user are added up.
    void AddRows(const std::vector<HistoryRow>& rows);
    // Every row, ordered by period (days before months) and user, and the change count
    // they belong to: MarkSaved(generation) after writing them.
    std::vector<HistoryRow> Rows(std::uint64_t& generation) const;
    void MarkSaved(std::uint64_t generation);
    bool HasUnsavedChanges() const;
    // Day rows older than kHistoryDays are added to their month's row and removed. The
    // number of day rows summed up.
    std::size_t RollUp();

    // The last `days` days up to today (1 to kMaxHistoryQueryDays), of `user` (letter
    // case ignored; "" for the whole server), one bucket per period, empty ones included.
    // A month row counts in the month grouping only, whole.
    std::vector<HistoryBucket> Buckets(const std::string& user, int days, HistoryGrouping by) const;
    // The users of the last `days` days, most bytes first, at most `limit` of them.
    std::vector<HistoryUserTotal> TopUsers(int days, std::size_t limit) const;

private:
    // Month rows sort after day rows of the same number; folded: the name in lower case.
    using Key = std::tuple<bool, std::int32_t, std::string>;
    struct Entry {
        std::string user;
        HistoryCounts counts;
    };
    // Holds m_lock.
    HistoryCounts& RowOf(bool month, std::int32_t period, const std::string& user);
    // True when the row of `key` falls in [firstDay, lastDay] for `by`.
    static bool InRange(const Key& key, std::int32_t firstDay, std::int32_t lastDay,
                        HistoryGrouping by);

    mutable std::mutex m_lock;  // guards everything below
    Clock m_clock;
    std::map<Key, Entry> m_rows;
    std::uint64_t m_generation = 0;  // changes counted so far
    std::uint64_t m_saved = 0;       // the generation last written
};
