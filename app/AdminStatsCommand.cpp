// tarvona-admin stats: the transfer history, from the running server (the newest counts)
// or, when none runs, from the program directory's stats.sdb.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "api/HistoryJson.h"
#include "app/AdminAccountCommands.h"
#include "app/AdminArgs.h"
#include "app/AdminRemote.h"
#include "platform/Text.h"
#include "server/HistoryFile.h"

namespace {

constexpr char kUsage[] =
    "usage: tarvona-admin stats [--user NAME] [--days N] [--by day|week|month] [--top N]";

struct StatsQuery {
    std::string user;
    long long days = 30;
    std::string by = "day";
    long long top = 20;
};

int AskServerForHistory(CApiClient& client, const StatsQuery& query, HistoryAnswer& answer,
                        std::ostream& err) {
    std::string path = "/api/v1/history?days=" + std::to_string(query.days) + "&by=" + query.by +
                       "&top=" + std::to_string(query.top);
    if (!query.user.empty()) path += "&user=" + PathSegment(query.user);
    nlohmann::json body;
    if (const int status = AskServer(client, "GET", path, {}, {}, err, &body)) return status;
    if (ReadHistoryAnswer(body, answer)) return kExitDone;
    return Report(err, kExitRefused, "the server's answer is no transfer history");
}

int ReadHistoryOfFiles(const std::string& programDir, const StatsQuery& query,
                       HistoryAnswer& answer, std::ostream& err) {
    std::vector<HistoryRow> rows;
    bool busy = false;
    std::string error;
    if (!ReadHistoryFile(HistoryTablePath(programDir), rows, busy, error))
        return Report(err, kExitRefused, error);
    CTransferHistory history;
    history.AddRows(rows);
    answer = AnswerFrom(history, query.user, static_cast<int>(query.days), *GroupingNamed(query.by),
                        static_cast<std::size_t>(query.top));
    return kExitDone;
}

std::string CountsLine(const std::string& first, const HistoryCounts& c) {
    char line[256];
    std::snprintf(line, sizeof line, "%-20s %15lld %15lld %9lld %10lld %7lld %10lld\n",
                  ReplaceControlCharacters(first).c_str(), static_cast<long long>(c.bytesUp),
                  static_cast<long long>(c.bytesDown), static_cast<long long>(c.filesUp),
                  static_cast<long long>(c.filesDown), static_cast<long long>(c.failedTransfers),
                  static_cast<long long>(c.failedLogins));
    return line;
}

void PrintHistory(const HistoryAnswer& answer, std::ostream& out) {
    const char* header = "%-20s %15s %15s %9s %10s %7s %10s\n";
    char line[256];
    out << "Transfer history of "
        << (answer.user.empty() ? std::string("the whole server")
                                : "user " + ReplaceControlCharacters(answer.user))
        << ", the last " << answer.days << " days, by " << GroupingName(answer.by) << ":\n";
    std::snprintf(line, sizeof line, header, "PERIOD", "BYTES UP", "BYTES DOWN", "FILES UP",
                  "FILES DOWN", "FAILED", "BAD LOGINS");
    out << line;
    HistoryCounts total;
    for (const HistoryBucket& bucket : answer.buckets) {
        out << CountsLine(bucket.label, bucket.counts);
        total += bucket.counts;
    }
    out << CountsLine("total", total);
    if (answer.topUsers.empty()) return;
    out << "\nTop users of the last " << answer.days << " days:\n";
    std::snprintf(line, sizeof line, header, "USER", "BYTES UP", "BYTES DOWN", "FILES UP",
                  "FILES DOWN", "FAILED", "BAD LOGINS");
    out << line;
    for (const HistoryUserTotal& user : answer.topUsers) out << CountsLine(user.user, user.counts);
}

}  // namespace

int RunStatsCommand(const std::string& programDir, const std::vector<std::string>& args,
                    std::ostream& out, std::ostream& err) {
    CAdminArgs parsed;
    if (!parsed.Parse(args, {{"--user", true}, {"--days", true}, {"--by", true}, {"--top", true}}))
        return Report(err, kExitBadArguments, parsed.GetLastError() + "\n" + kUsage);
    if (parsed.WantsHelp()) {
        out << kUsage << "\n  FAILED: transfers that failed; BAD LOGINS: logins refused\n";
        return kExitDone;
    }
    StatsQuery query;
    if (parsed.Has("--user")) query.user = parsed.Value("--user");
    if (parsed.Has("--by")) query.by = parsed.Value("--by");
    if (!parsed.Positional().empty() || query.user.size() > 64 || !GroupingNamed(query.by) ||
        (parsed.Has("--days") && (!ParseCount(parsed.Value("--days"), query.days) ||
                                  query.days < 1 || query.days > kMaxHistoryQueryDays)) ||
        (parsed.Has("--top") &&
         (!ParseCount(parsed.Value("--top"), query.top) || query.top > 1000)))
        return Report(err, kExitBadArguments,
                      std::string(kUsage) + " (N of days: 1 to " +
                          std::to_string(kMaxHistoryQueryDays) + ", of users: 0 to 1000)");
    HistoryAnswer answer;
    const int status = ThroughServerOrFiles(
        programDir, err,
        [&](CApiClient& client) { return AskServerForHistory(client, query, answer, err); },
        [&] { return ReadHistoryOfFiles(programDir, query, answer, err); });
    if (status != kExitDone) return status;
    PrintHistory(answer, out);
    return kExitDone;
}
