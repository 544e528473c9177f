#include "api/HistoryJson.h"

namespace {

struct CountName {
    const char* name;
    std::int64_t HistoryCounts::*member;
};
constexpr CountName kCountNames[] = {
    {"bytesUp", &HistoryCounts::bytesUp},
    {"bytesDown", &HistoryCounts::bytesDown},
    {"filesUp", &HistoryCounts::filesUp},
    {"filesDown", &HistoryCounts::filesDown},
    {"failedTransfers", &HistoryCounts::failedTransfers},
    {"failedLogins", &HistoryCounts::failedLogins},
};

void AddCounts(const HistoryCounts& counts, nlohmann::json& object) {
    for (const CountName& count : kCountNames) object[count.name] = counts.*count.member;
}

bool ReadCounts(const nlohmann::json& object, HistoryCounts& counts) {
    for (const CountName& count : kCountNames) {
        const auto found = object.find(count.name);
        if (found == object.end() || !found->is_number_integer() || *found < 0) return false;
        counts.*count.member = found->get<std::int64_t>();
    }
    return true;
}

bool ReadText(const nlohmann::json& object, const char* name, std::string& out) {
    const auto found = object.find(name);
    if (found == object.end() || !found->is_string()) return false;
    out = found->get<std::string>();
    return true;
}

}  // namespace

HistoryAnswer AnswerFrom(const CTransferHistory& history, const std::string& user, int days,
                         HistoryGrouping by, std::size_t top) {
    HistoryAnswer answer;
    answer.user = user;
    answer.days = days;
    answer.by = by;
    answer.buckets = history.Buckets(user, days, by);
    answer.topUsers = history.TopUsers(days, top);
    return answer;
}

const char* GroupingName(HistoryGrouping by) {
    switch (by) {
        case HistoryGrouping::Week:
            return "week";
        case HistoryGrouping::Month:
            return "month";
        default:
            return "day";
    }
}

std::optional<HistoryGrouping> GroupingNamed(const std::string& name) {
    if (name == "day") return HistoryGrouping::Day;
    if (name == "week") return HistoryGrouping::Week;
    if (name == "month") return HistoryGrouping::Month;
    return std::nullopt;
}

nlohmann::json HistoryAnswerJson(const HistoryAnswer& answer) {
    nlohmann::json buckets = nlohmann::json::array();
    for (const HistoryBucket& bucket : answer.buckets) {
        nlohmann::json item = {{"period", bucket.label}};
        AddCounts(bucket.counts, item);
        buckets.push_back(std::move(item));
    }
    nlohmann::json users = nlohmann::json::array();
    for (const HistoryUserTotal& total : answer.topUsers) {
        nlohmann::json item = {{"user", total.user}};
        AddCounts(total.counts, item);
        users.push_back(std::move(item));
    }
    return {{"user", answer.user.empty() ? nlohmann::json() : nlohmann::json(answer.user)},
            {"days", answer.days},
            {"by", GroupingName(answer.by)},
            {"buckets", std::move(buckets)},
            {"topUsers", std::move(users)}};
}

bool ReadHistoryAnswer(const nlohmann::json& body, HistoryAnswer& out) {
    if (!body.is_object()) return false;
    const auto user = body.find("user");
    const auto days = body.find("days");
    const auto buckets = body.find("buckets");
    const auto users = body.find("topUsers");
    std::string by;
    if (user == body.end() || !(user->is_null() || user->is_string()) || days == body.end() ||
        !days->is_number_integer() || !ReadText(body, "by", by) || !GroupingNamed(by) ||
        buckets == body.end() || !buckets->is_array() || users == body.end() || !users->is_array())
        return false;
    out.user = user->is_string() ? user->get<std::string>() : std::string();
    out.days = days->get<int>();
    out.by = *GroupingNamed(by);
    out.buckets.clear();
    out.topUsers.clear();
    for (const nlohmann::json& item : *buckets) {
        HistoryBucket& bucket = out.buckets.emplace_back();
        if (!item.is_object() || !ReadText(item, "period", bucket.label) ||
            !ReadCounts(item, bucket.counts))
            return false;
    }
    for (const nlohmann::json& item : *users) {
        HistoryUserTotal& total = out.topUsers.emplace_back();
        if (!item.is_object() || !ReadText(item, "user", total.user) ||
            !ReadCounts(item, total.counts))
            return false;
    }
    return true;
}
