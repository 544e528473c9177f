#include "server/TransferHistory.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/Text.h"
#include "server/HistoryPeriod.h"

HistoryCounts& HistoryCounts::operator+=(const HistoryCounts& other) {
    bytesUp += other.bytesUp;
    bytesDown += other.bytesDown;
    filesUp += other.filesUp;
    filesDown += other.filesDown;
    failedTransfers += other.failedTransfers;
    failedLogins += other.failedLogins;
    return *this;
}

CTransferHistory::CTransferHistory() : m_clock([] { return NowSeconds(); }) {}

void CTransferHistory::SetClock(Clock clock) {
    std::lock_guard lock(m_lock);
    m_clock = std::move(clock);
}

std::int32_t CTransferHistory::Today() const {
    std::lock_guard lock(m_lock);
    return LocalDayOf(m_clock());
}

HistoryCounts& CTransferHistory::RowOf(bool month, std::int32_t period, const std::string& user) {
    ++m_generation;
    Entry& entry = m_rows[Key{month, period, ToLowerAscii(user)}];
    if (entry.user.empty()) entry.user = user;
    return entry.counts;
}

void CTransferHistory::NoteTransfer(const std::string& user, TransferEvent event,
                                    std::int64_t bytesUp, std::int64_t bytesDown) {
    // A session not logged in moves no files; its name is the client's to choose.
    if (user.empty()) return;
    std::lock_guard lock(m_lock);
    HistoryCounts& counts = RowOf(false, LocalDayOf(m_clock()), user);
    counts.bytesUp += std::max<std::int64_t>(bytesUp, 0);
    counts.bytesDown += std::max<std::int64_t>(bytesDown, 0);
    switch (event) {
        case TransferEvent::UploadDone:
            ++counts.filesUp;
            break;
        case TransferEvent::DownloadDone:
            ++counts.filesDown;
            break;
        case TransferEvent::DownloadFailed:
        case TransferEvent::TransferFailed:
            ++counts.failedTransfers;
            break;
        case TransferEvent::None:
            break;
    }
}

void CTransferHistory::NoteFailedLogin(const std::string& accountName) {
    std::lock_guard lock(m_lock);
    ++RowOf(false, LocalDayOf(m_clock()), accountName).failedLogins;
}

void CTransferHistory::AddRows(const std::vector<HistoryRow>& rows) {
    std::lock_guard lock(m_lock);
    const bool wasSaved = m_saved == m_generation;
    for (const HistoryRow& row : rows) RowOf(row.month, row.period, row.user) += row.counts;
    // What was read is on disk already; only counts made before it are not.
    if (wasSaved) m_saved = m_generation;
}

std::vector<HistoryRow> CTransferHistory::Rows(std::uint64_t& generation) const {
    std::lock_guard lock(m_lock);
    std::vector<HistoryRow> rows;
    rows.reserve(m_rows.size());
    for (const auto& [key, entry] : m_rows)
        rows.push_back(HistoryRow{std::get<0>(key), std::get<1>(key), entry.user, entry.counts});
    generation = m_generation;
    return rows;
}

void CTransferHistory::MarkSaved(std::uint64_t generation) {
    std::lock_guard lock(m_lock);
    m_saved = std::max(m_saved, generation);
}

bool CTransferHistory::HasUnsavedChanges() const {
    std::lock_guard lock(m_lock);
    return m_saved != m_generation;
}

std::size_t CTransferHistory::RollUp() {
    std::lock_guard lock(m_lock);
    const std::int32_t firstKept = LocalDayOf(m_clock()) - kHistoryDays + 1;
    std::size_t summed = 0;
    // Day rows sort first, by day: the old ones are at the front.
    for (auto it = m_rows.begin(); it != m_rows.end();) {
        const auto [month, period, folded] = it->first;  // a copy: the row goes
        if (month || period >= firstKept) break;
        const Entry entry = it->second;
        it = m_rows.erase(it);
        RowOf(true, MonthOfDay(period), entry.user) += entry.counts;
        ++summed;
    }
    return summed;
}

bool CTransferHistory::InRange(const Key& key, std::int32_t firstDay, std::int32_t lastDay,
                               HistoryGrouping by) {
    const auto& [month, period, folded] = key;
    if (!month) return period >= firstDay && period <= lastDay;
    return by == HistoryGrouping::Month && period >= MonthOfDay(firstDay) &&
           period <= MonthOfDay(lastDay);
}

std::vector<HistoryBucket> CTransferHistory::Buckets(const std::string& user, int days,
                                                     HistoryGrouping by) const {
    const std::int32_t today = Today();
    const std::int32_t first = today - std::clamp(days, 1, kMaxHistoryQueryDays) + 1;
    // Each grouping as: the bucket of a day, and the first day of a bucket.
    auto bucketOf = [by](std::int32_t day) {
        switch (by) {
            case HistoryGrouping::Week:
                // Mondays are 4 modulo 7 (day 0 was a Thursday): weeks count from 1969-12-29.
                return (WeekStartOfDay(day) + 3) / 7;
            case HistoryGrouping::Month:
                return MonthOfDay(day);
            default:
                return day;
        }
    };
    const std::int32_t firstBucket = bucketOf(first);
    std::vector<HistoryBucket> buckets(static_cast<std::size_t>(bucketOf(today) - firstBucket + 1));
    for (std::size_t i = 0; i < buckets.size(); ++i) {
        const auto bucket = firstBucket + static_cast<std::int32_t>(i);
        buckets[i].label = by == HistoryGrouping::Month  ? MonthText(bucket)
                           : by == HistoryGrouping::Week ? DayText(bucket * 7 - 3)
                                                         : DayText(bucket);
    }
    const std::string folded = ToLowerAscii(user == kUnknownUserShown ? "" : user);
    std::lock_guard lock(m_lock);
    for (const auto& [key, entry] : m_rows) {
        if ((!user.empty() && std::get<2>(key) != folded) || !InRange(key, first, today, by))
            continue;
        const std::int32_t bucket =
            std::get<0>(key) ? std::get<1>(key) : bucketOf(std::get<1>(key));
        buckets[static_cast<std::size_t>(bucket - firstBucket)].counts += entry.counts;
    }
    return buckets;
}

std::vector<HistoryUserTotal> CTransferHistory::TopUsers(int days, std::size_t limit) const {
    const std::int32_t today = Today();
    const std::int32_t first = today - std::clamp(days, 1, kMaxHistoryQueryDays) + 1;
    std::map<std::string, HistoryUserTotal> byUser;
    {
        std::lock_guard lock(m_lock);
        for (const auto& [key, entry] : m_rows) {
            if (!InRange(key, first, today, HistoryGrouping::Month)) continue;
            HistoryUserTotal& total = byUser[std::get<2>(key)];
            if (total.user.empty())
                total.user = entry.user.empty() ? kUnknownUserShown : entry.user;
            total.counts += entry.counts;
        }
    }
    std::vector<HistoryUserTotal> users;
    for (auto& [folded, total] : byUser) users.push_back(std::move(total));
    std::stable_sort(users.begin(), users.end(), [](const auto& a, const auto& b) {
        return a.counts.bytesUp + a.counts.bytesDown > b.counts.bytesUp + b.counts.bytesDown;
    });
    if (users.size() > limit) users.resize(limit);
    return users;
}
