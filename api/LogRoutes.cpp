// GET /api/v1/log?lines=N: the last N log lines (at most the ring's size).
// GET /api/v1/log?follow=1[&lines=N]: Server-Sent Events, the last N lines (default none)
// and then every new one as "data: LINE". A reader that falls behind the ring gets
// "event: missed" with the number of lines it lost; a comment line keeps a quiet stream
// alive. A stream ends after kApiLogStreamLimit (the client reconnects) or when the
// server stops.
#include <algorithm>
#include <memory>
#include <thread>

#include "api/ApiLimits.h"
#include "api/ServerRouteGroups.h"
#include "server/FtpServer.h"

namespace {

constexpr std::size_t kDefaultLines = 100;
constexpr std::size_t kLinesPerChunk = kRecentLogLines;
constexpr std::chrono::milliseconds kLogBatchWait{50};

// SECURITY: a line break inside a line would forge the stream's framing. Appended in
// place: a busy server's reader gets thousands of lines a second.
void AppendEvent(const std::string& line, std::string& chunk) {
    chunk += "data: ";
    const std::size_t start = chunk.size();
    chunk += line;
    std::replace_if(
        chunk.begin() + static_cast<std::ptrdiff_t>(start), chunk.end(),
        [](char c) { return c == '\r' || c == '\n'; }, ' ');
    chunk += "\n\n";
}

bool ParseLineCount(const ApiRequest& request, std::size_t fallback, std::size_t& count) {
    const auto found = request.query.find("lines");
    count = fallback;
    if (found == request.query.end()) return true;
    const std::string& text = found->second;
    if (text.empty() || text.size() > 7 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    count = std::min<std::size_t>(std::stoul(text), kRecentLogLines);
    return true;
}

void FollowLog(CLogRing& ring, const std::atomic<bool>* stopping, std::uint64_t from,
               const ApiResponse::ChunkWriter& write) {
    const auto end = std::chrono::steady_clock::now() + kApiLogStreamLimit;
    if (!write(": following the log\n\n")) return;
    std::string chunk;  // kept between batches, so its memory is reused
    while (std::chrono::steady_clock::now() < end && !(stopping != nullptr && *stopping)) {
        chunk.clear();
        const LogRingRead read =
            ring.VisitFrom(from, kLinesPerChunk, std::chrono::milliseconds(500),
                           [&chunk](const std::string& line) { AppendEvent(line, chunk); });
        if (read.missed > 0)  // rare: only a reader that fell behind the ring
            chunk.insert(0, "event: missed\ndata: " + std::to_string(read.missed) + "\n\n");
        from = read.next;
        if (chunk.empty()) {
            if (!write(":\n\n")) return;  // a gone client is noticed
            continue;
        }
        if (!write(chunk)) return;
        // A busy server logs thousands of lines a second: they are sent in batches, so
        // the reader's thread does not wake for every line.
        std::this_thread::sleep_for(kLogBatchWait);
    }
}

ApiResponse GetLog(ApiContext& context, const ApiRequest& request) {
    const bool follow = request.query.count("follow") != 0 && request.query.at("follow") != "0";
    std::size_t count = 0;
    if (!ParseLineCount(request, follow ? 0 : kDefaultLines, count))
        return ApiError(400, "\"lines\" must be a whole number");
    CLogRing& ring = context.server.RecentLog();
    ApiResponse answer;
    if (!follow) {
        answer.body = {{"lines", ring.Last(count)}};
        return answer;
    }
    const std::uint64_t next = ring.NextNumber();
    const std::uint64_t from = next - std::min<std::uint64_t>(count, next);
    const std::atomic<bool>* stopping = context.stopping;
    answer.contentType = "text/event-stream";
    answer.headers["Cache-Control"] = "no-cache";
    answer.stream = [&ring, stopping, from](const ApiResponse::ChunkWriter& write) {
        FollowLog(ring, stopping, from, write);
    };
    return answer;
}

}  // namespace

std::vector<ApiRoute> LogRoutes() { return {{"GET", "/api/v1/log", GetLog}}; }
