// The audit log's lines read back as JSON whatever a client named, its daily files, and the
// command-latency counters' buckets.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "server/AuditLog.h"
#include "server/ServerMetrics.h"
#include "tests/support/TempDir.h"

namespace {

std::vector<nlohmann::json> ReadJsonLines(const std::string& path) {
    std::vector<nlohmann::json> objects;
    std::istringstream lines(ReadFile(path));
    for (std::string line; std::getline(lines, line);)
        objects.push_back(nlohmann::json::parse(line));  // throws, failing the test, if torn
    return objects;
}

// Noon of 2026-12-10 local time, in milliseconds since the epoch.
std::int64_t NoonMillis() {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 10;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&t)) * 1000;
}

}  // namespace

TEST(AuditLog, HostileNamesReadBackAsOneObjectPerLine) {
    TempDir dir;
    CAuditLog log;
    log.SetProgramDir(dir.ProgramDir());
    log.SetClock([] { return NoonMillis(); });
    log.Login({7, "alice", "127.0.0.1"}, true);  // off: nothing written
    log.SetEnabled(true);
    const std::string hostile = std::string("a\"b\\c\nd\re\x01\x1f\x7f") + "\xff\xfe" + "\xc3\xa9";
    log.Login({7, hostile, "127.0.0.1"}, false);
    log.Transfer({7, "alice", "::1"}, {true, "/home/" + hostile, 1234, 0.5, "ok", true});
    log.PathEvent({7, "alice", "::1"}, "rename", hostile, "/home/b");
    log.Ban("192.0.2.1", 3600, "ftp");
    log.AdminAction("Kicked session 7 (\"" + hostile + "\")", "network", "198.51.100.2");
    log.Logout({7, "alice", "::1"});

    const std::string path = dir.Path("log/20261210.jsonl");
    const std::vector<nlohmann::json> lines = ReadJsonLines(path);
    ASSERT_EQ(lines.size(), 6u);
    const std::string replaced =
        std::string("a\"b\\c\nd\re\x01\x1f\x7f") + "\xef\xbf\xbd\xef\xbf\xbd" + "\xc3\xa9";
    EXPECT_EQ(lines[0]["event"], "login");
    EXPECT_EQ(lines[0]["user"], replaced);
    EXPECT_EQ(lines[0]["result"], "refused");
    EXPECT_EQ(lines[1]["path"], "/home/" + replaced);
    EXPECT_EQ(lines[1]["bytes"], 1234);
    EXPECT_EQ(lines[1]["tls"], true);
    EXPECT_EQ(lines[1]["direction"], "upload");
    EXPECT_EQ(lines[2]["target"], "/home/b");
    EXPECT_EQ(lines[3]["seconds"], 3600);
    EXPECT_EQ(lines[4]["from"], "198.51.100.2");
    EXPECT_EQ(lines[5]["event"], "logout");
    const std::regex rfc3339(R"(\d{4}-\d\d-\d\dT12:00:00\.000[+-]\d\d:\d\d)");
    for (const nlohmann::json& line : lines)
        EXPECT_TRUE(std::regex_match(line["time"].get<std::string>(), rfc3339)) << line["time"];
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(AuditLog, ANewDayStartsANewFile) {
    TempDir dir;
    CAuditLog log;
    log.SetProgramDir(dir.ProgramDir());
    log.SetEnabled(true);
    std::int64_t now = NoonMillis();
    log.SetClock([&now] { return now; });
    log.Ban("192.0.2.1", 60, "ftp");
    now += 24 * 3600 * 1000;
    log.Ban("192.0.2.2", 60, "ftp");
    EXPECT_EQ(ReadJsonLines(dir.Path("log/20261210.jsonl")).size(), 1u);
    ASSERT_EQ(ReadJsonLines(dir.Path("log/20261211.jsonl")).size(), 1u);
    EXPECT_EQ(ReadJsonLines(dir.Path("log/20261211.jsonl"))[0]["address"], "192.0.2.2");
}

TEST(ServerMetrics, CommandLatencyFallsIntoItsBucketAndStraySlotsIntoTheLast) {
    using std::chrono::microseconds;
    CServerMetrics metrics;
    metrics.CountCommand(3, microseconds(500));         // on a bound: that bound's bucket
    metrics.CountCommand(3, microseconds(501));         // just past it: the next
    metrics.CountCommand(3, std::chrono::seconds(11));  // past every bound: +Inf
    metrics.CountCommand(-5, microseconds(1));
    metrics.CountCommand(1000, microseconds(1));
    const CommandLatencySnapshot slot = metrics.CommandSlot(3);
    EXPECT_EQ(slot.count, 3u);
    EXPECT_EQ(slot.buckets[2], 1u);  // le 0.0005
    EXPECT_EQ(slot.buckets[3], 1u);
    EXPECT_EQ(slot.buckets[kLatencyBuckets - 1], 1u);
    EXPECT_EQ(slot.sumMicros, 500u + 501u + 11000000u);
    EXPECT_EQ(metrics.CommandSlot(0).count, 1u);  // -5 clamps to the first slot
    EXPECT_EQ(metrics.CommandSlot(kMetricCommandSlots - 1).count, 1u);
}
