// GET /api/v1/history?user=NAME&days=N&by=day|week|month&top=N: the transfer history
// (server/TransferHistory.h) in buckets, and its users with the most bytes.
#include <algorithm>

#include "api/HistoryJson.h"
#include "api/ServerRouteGroups.h"
#include "server/FtpServer.h"

namespace {

constexpr int kDefaultDays = 30;
constexpr std::size_t kDefaultTop = 20;
constexpr std::size_t kMaxTop = 1000;
constexpr std::size_t kMaxUserQuery = 64;  // as user.sdb's "userid"

// The query value `name` as a number from `low` to `high`; `fallback` when absent.
bool ReadNumber(const ApiRequest& request, const char* name, long low, long high, long fallback,
                long& out) {
    out = fallback;
    const auto found = request.query.find(name);
    if (found == request.query.end()) return true;
    const std::string& text = found->second;
    if (text.empty() || text.size() > 6 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    out = std::stol(text);
    return out >= low && out <= high;
}

std::string QueryValue(const ApiRequest& request, const char* name, const char* fallback) {
    const auto found = request.query.find(name);
    return found == request.query.end() ? fallback : found->second;
}

ApiResponse GetHistory(ApiContext& context, const ApiRequest& request) {
    long days = 0;
    long top = 0;
    if (!ReadNumber(request, "days", 1, kMaxHistoryQueryDays, kDefaultDays, days))
        return ApiError(400, "days must be a whole number from 1 to " +
                                 std::to_string(kMaxHistoryQueryDays) + ".");
    if (!ReadNumber(request, "top", 0, kMaxTop, kDefaultTop, top))
        return ApiError(400,
                        "top must be a whole number from 0 to " + std::to_string(kMaxTop) + ".");
    const std::optional<HistoryGrouping> by = GroupingNamed(QueryValue(request, "by", "day"));
    if (!by) return ApiError(400, "by must be day, week or month.");
    const std::string user = QueryValue(request, "user", "");
    if (user.size() > kMaxUserQuery) return ApiError(400, "user must be at most 64 characters.");
    const HistoryAnswer answer = AnswerFrom(context.server.History(), user, static_cast<int>(days),
                                            *by, static_cast<std::size_t>(top));
    ApiResponse response;
    response.body = HistoryAnswerJson(answer);
    return response;
}

}  // namespace

std::vector<ApiRoute> HistoryRoutes() { return {{"GET", "/api/v1/history", GetHistory}}; }
