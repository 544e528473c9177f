// The transfer history: counted by a real server across a restart and a day change with
// the clock moved on, the month roll-up past 400 days, and stats.sdb read back, from an
// earlier or later layout, or damaged.
#include <atomic>

#include "db/KorvTable.h"
#include "platform/Clock.h"
#include "platform/DirEntries.h"
#include "platform/EventLoop.h"
#include "platform/FileSystem.h"
#include "server/FtpServer.h"
#include "server/HistoryFile.h"
#include "server/HistoryKeeper.h"
#include "server/HistoryPeriod.h"
#include "tests/server/ServerFixture.h"
#include "tests/support/TestAccounts.h"

namespace {

constexpr char kRefused[] = "530 username or password incorrect.";
// Noon, so that the local day is the same in every time zone a test machine may have.
const std::int64_t kFirstNoon = std::int64_t{DayFromDate(2026, 3, 1)} * 86400 + 43200;

std::vector<HistoryRow> ReadRows(const std::string& path) {
    std::vector<HistoryRow> rows;
    bool busy = false;
    std::string error;
    EXPECT_TRUE(ReadHistoryFile(path, rows, busy, error)) << error;
    return rows;
}

const HistoryRow* FindRow(const std::vector<HistoryRow>& rows, std::int32_t day,
                          const std::string& user) {
    for (const HistoryRow& row : rows)
        if (!row.month && row.period == day && row.user == user) return &row;
    return nullptr;
}

class HistoryServerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(
            SaveAccount(m_dir.ProgramDir(), FullAccessUser("Alice", "Secret", m_dir.Path())));
    }
    // A server on the program directory whose history clock is m_now.
    void StartServer() {
        m_harness = std::make_unique<ServerHarness>(m_dir.ProgramDir());
        m_harness->RunOnServer([this](CFtpServer& s) {
            s.History().SetClock([this] { return m_now.load(); });
            LoginPolicy policy = s.GetLoginPolicy();
            policy.failDelayMs = 0;
            s.SetLoginPolicy(policy);
        });
        ASSERT_TRUE(m_harness->Start());
    }
    void RefusedLogin(const std::string& user) {
        RawFtpClient c;
        ASSERT_TRUE(c.Connect(m_harness->Port()));
        EXPECT_EQ(c.Reply(), kGreeting);
        EXPECT_EQ(c.Ask("USER " + user), kNeedPassword);
        EXPECT_EQ(c.Ask("PASS wrong"), kRefused);
    }

    TempDir m_dir;
    std::atomic<std::int64_t> m_now{kFirstNoon};
    std::unique_ptr<ServerHarness> m_harness;
};

TEST_F(HistoryServerTest, RefusedLoginsSurviveRestartAndDayChange) {
    StartServer();
    RefusedLogin("alice");  // the account, in another letter case
    RefusedLogin("nobody");
    RefusedLogin("nobody2");  // guessed names share one row
    m_harness.reset();        // the stop writes the file

    m_now += 86400;
    StartServer();
    RefusedLogin("ALICE");
    m_harness->RunOnServer([](CFtpServer& s) {
        const std::vector<HistoryBucket> days =
            s.History().Buckets("alice", 2, HistoryGrouping::Day);
        ASSERT_EQ(days.size(), 2u);
        EXPECT_EQ(days[0].counts.failedLogins, 1);  // read back from the file
        EXPECT_EQ(days[1].counts.failedLogins, 1);
    });
    m_harness.reset();

    const std::vector<HistoryRow> rows = ReadRows(HistoryTablePath(m_dir.ProgramDir()));
    const std::int32_t first = LocalDayOf(kFirstNoon);
    ASSERT_EQ(rows.size(), 3u);
    ASSERT_NE(FindRow(rows, first, "Alice"), nullptr);
    EXPECT_EQ(FindRow(rows, first, "Alice")->counts.failedLogins, 1);
    ASSERT_NE(FindRow(rows, first, ""), nullptr);
    EXPECT_EQ(FindRow(rows, first, "")->counts.failedLogins, 2);
    ASSERT_NE(FindRow(rows, first + 1, "Alice"), nullptr);
}

TEST_F(HistoryServerTest, DamagedFileIsKeptAsideAndANewOneBegins) {
    const std::string path = HistoryTablePath(m_dir.ProgramDir());
    const std::string damaged(20000, '\x5a');
    WriteFile(path, damaged);
    StartServer();  // the start goes on
    RefusedLogin("alice");
    m_harness.reset();

    EXPECT_EQ(ReadRows(path).size(), 1u);
    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListDirectory(m_dir.Path(), entries));
    int kept = 0;
    for (const DirEntry& entry : entries)
        if (entry.name.rfind("stats.sdb.damaged-", 0) == 0) {
            ++kept;
            EXPECT_EQ(ReadFile(m_dir.Path(entry.name)), damaged);
        }
    EXPECT_EQ(kept, 1);
}

// One row per day from `firstDay` for `count` days, each a KiB up and a file down.
std::vector<HistoryRow> DailyRows(std::int32_t firstDay, int count, const std::string& user) {
    std::vector<HistoryRow> rows;
    for (int i = 0; i < count; ++i) {
        HistoryRow& row = rows.emplace_back();
        row.period = firstDay + i;
        row.user = user;
        row.counts.bytesUp = 1024;
        row.counts.filesDown = 1;
    }
    return rows;
}

TEST(TransferHistory, DaysPast400AreSummedIntoMonthsAndSurviveTheFile) {
    TempDir dir;
    std::atomic<std::int64_t> now{kFirstNoon};
    CTransferHistory history;
    history.SetClock([&now] { return now.load(); });
    const std::int32_t today = LocalDayOf(kFirstNoon);
    history.AddRows(DailyRows(today - 499, 500, "alice"));  // 2024-10-18 to today

    EXPECT_EQ(history.RollUp(), 100u);
    EXPECT_EQ(history.RollUp(), 0u);
    std::uint64_t generation = 0;
    const std::vector<HistoryRow> rows = history.Rows(generation);
    std::int64_t days = 0;
    std::int64_t monthFiles = 0;
    for (const HistoryRow& row : rows) {
        if (!row.month) {
            ++days;
            EXPECT_GT(row.period, today - kHistoryDays);
            continue;
        }
        monthFiles += row.counts.filesDown;
        EXPECT_EQ(row.counts.bytesUp, row.counts.filesDown * 1024);
    }
    EXPECT_EQ(days, kHistoryDays);
    EXPECT_EQ(monthFiles, 100);
    EXPECT_EQ(MonthText(rows.back().period), "2025-01");  // 2024-10-19 + 99 days

    const std::string path = dir.Path("stats.sdb");
    std::string error;
    ASSERT_TRUE(WriteHistoryFile(path, rows, error)) << error;
    CTransferHistory again;
    again.SetClock([&now] { return now.load(); });
    again.AddRows(ReadRows(path));
    const std::vector<HistoryBucket> months = again.Buckets("ALICE", 600, HistoryGrouping::Month);
    std::int64_t files = 0;
    for (const HistoryBucket& month : months) files += month.counts.filesDown;
    EXPECT_EQ(files, 500);
    EXPECT_EQ(months.back().label, "2026-03");
    const std::vector<HistoryBucket> weeks = again.Buckets("", 14, HistoryGrouping::Week);
    EXPECT_EQ(weeks.front().label, "2026-02-16");  // the Monday of 2026-02-16's week
    EXPECT_EQ(weeks.back().label, "2026-02-23");   // 2026-03-01 is a Sunday
    EXPECT_TRUE(again.Buckets("bob", 5, HistoryGrouping::Day)[4].counts == HistoryCounts{});
}

TEST(TransferHistory, KeeperRollsUpAtTheDayChangeAndWritesOnlyChanges) {
    TempDir dir;
    EventLoop loop;
    CHistoryKeeper keeper(dir.ProgramDir());
    std::atomic<std::int64_t> now{kFirstNoon};
    keeper.History().SetClock([&now] { return now.load(); });
    keeper.Start(loop, {});
    keeper.History().NoteTransfer("alice", TransferEvent::UploadDone, 4096, 0);
    keeper.Tick();
    const std::string path = HistoryTablePath(dir.ProgramDir());
    ASSERT_EQ(ReadRows(path).size(), 1u);
    const std::int64_t written = GetModifyTime(path);
    ASSERT_TRUE(SetModifyTime(path, written - 100));
    keeper.Tick();  // nothing changed: nothing written
    EXPECT_EQ(GetModifyTime(path), written - 100);

    now += std::int64_t{kHistoryDays} * 86400;  // the upload's day is now past keeping
    keeper.History().NoteTransfer("alice", TransferEvent::TransferFailed, 10, 0);
    keeper.Stop();
    const std::vector<HistoryRow> rows = ReadRows(path);
    ASSERT_EQ(rows.size(), 2u);
    const HistoryRow& month = rows[0].month ? rows[0] : rows[1];
    const HistoryRow& day = rows[0].month ? rows[1] : rows[0];
    EXPECT_TRUE(month.month && !day.month);
    EXPECT_EQ(MonthText(month.period), MonthText(MonthOfDay(LocalDayOf(kFirstNoon))));
    EXPECT_EQ(month.counts.filesUp, 1);
    EXPECT_EQ(month.counts.bytesUp, 4096);
    EXPECT_EQ(day.period, LocalDayOf(now));
    EXPECT_EQ(day.counts.failedTransfers, 1);
    EXPECT_EQ(day.counts.bytesUp, 10);
}

// stats.sdb of an earlier layout (no "failed_logins") and of a later one (a field more)
// read alike; a record holding an impossible value makes the file damaged.
TEST(TransferHistory, FileFieldsAreReadByName) {
    TempDir dir;
    const std::string path = dir.Path("stats.sdb");
    {
        CKorvTable table;
        ASSERT_TRUE(table.AddField("period", FieldType::Text, 10));
        ASSERT_TRUE(table.AddField("user", FieldType::Text, 64));
        ASSERT_TRUE(table.AddField("bytes_down", FieldType::Double, -1));
        ASSERT_TRUE(table.AddField("peak_rate", FieldType::Double, -1));
        ASSERT_TRUE(table.AddKey("period", KeyKind::Duplicates, 0, kCompareBytes));
        ASSERT_TRUE(table.Create(path));
        ASSERT_TRUE(table.SetFieldText("period", "2026-02"));
        ASSERT_TRUE(table.SetFieldText("user", "bob"));
        ASSERT_TRUE(table.SetFieldValue("bytes_down", 5e9));
        ASSERT_TRUE(table.SetFieldValue("peak_rate", 1.5));
        ASSERT_TRUE(table.Append());
        ASSERT_TRUE(table.SetFieldText("period", "2026-02-30"));
        ASSERT_TRUE(table.Append());
    }
    std::vector<HistoryRow> rows;
    bool busy = false;
    std::string error;
    EXPECT_FALSE(ReadHistoryFile(path, rows, busy, error));
    EXPECT_NE(error.find("2026-02-30"), std::string::npos) << error;
    {
        CKorvTable table;
        ASSERT_TRUE(table.Open(path));
        ASSERT_TRUE(table.MoveLast(0));
        ASSERT_TRUE(table.Delete());
    }
    rows = ReadRows(path);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0].month);
    EXPECT_EQ(rows[0].counts.bytesDown, 5000000000);
    EXPECT_EQ(rows[0].counts.failedLogins, 0);
}

}  // namespace
