// The transfer history as the administration API carries it: GET /api/v1/history's
// answer, written by the route and read back by tarvona-admin and the window.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "server/TransferHistory.h"

struct HistoryAnswer {
    std::string user;  // empty: the whole server
    int days = 30;
    HistoryGrouping by = HistoryGrouping::Day;
    std::vector<HistoryBucket> buckets;
    std::vector<HistoryUserTotal> topUsers;
};

// The answer to a question about `history`: `user` ("" for the whole server), the last
// `days` days by `by`, and at most `top` users.
HistoryAnswer AnswerFrom(const CTransferHistory& history, const std::string& user, int days,
                         HistoryGrouping by, std::size_t top);

const char* GroupingName(HistoryGrouping by);  // "day", "week", "month"
std::optional<HistoryGrouping> GroupingNamed(const std::string& name);

nlohmann::json HistoryAnswerJson(const HistoryAnswer& answer);
// False when `body` is not such an answer (every number a whole number of at least 0).
[[nodiscard]] bool ReadHistoryAnswer(const nlohmann::json& body, HistoryAnswer& out);
