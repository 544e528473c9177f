// The Prometheus text: label escaping, histogram lines, and who the metrics token opens.
#include <gtest/gtest.h>

#include <array>

#include "api/MetricsRoutes.h"
#include "api/MetricsText.h"
#include "server/FtpServer.h"
#include "tests/support/TempDir.h"

TEST(MetricsText, LabelValuesAreEscapedAndHistogramsCumulative) {
    EXPECT_EQ(EscapeLabelValue("a\"b\\c\nd"), "a\\\"b\\\\c\\nd");
    EXPECT_EQ(MetricValue(1000000), "1000000");
    EXPECT_EQ(MetricValue(0.0005), "0.0005");
    CMetricsText out;
    out.Family("x_seconds", "histogram", "help with \\ and\nnewline");
    const std::array<double, 2> bounds = {0.5, 1};
    const std::array<std::uint64_t, 3> counts = {2, 0, 3};
    out.Histogram("x_seconds", {{"command", "A\"B"}}, bounds, counts, 7.25);
    EXPECT_EQ(out.Text(),
              "# HELP x_seconds help with \\\\ and\\nnewline\n"
              "# TYPE x_seconds histogram\n"
              "x_seconds_bucket{command=\"A\\\"B\",le=\"0.5\"} 2\n"
              "x_seconds_bucket{command=\"A\\\"B\",le=\"1\"} 2\n"
              "x_seconds_bucket{command=\"A\\\"B\",le=\"+Inf\"} 5\n"
              "x_seconds_sum{command=\"A\\\"B\"} 7.25\n"
              "x_seconds_count{command=\"A\\\"B\"} 5\n");
}

TEST(MetricsText, UnknownCommandsShareTheOtherLabel) {
    TempDir dir;
    CFtpServer server(dir.ProgramDir());
    server.Metrics().CountCommand(kMetricCommandSlots - 1, std::chrono::microseconds(10));
    server.Metrics().CountCommand(0, std::chrono::microseconds(10));
    const std::string text = RenderMetrics(server);
    EXPECT_NE(text.find("tarvona_commands_total{command=\"ABOR\"} 1\n"), std::string::npos);
    // The last slot and the index past the rows are both "other": no empty label.
    EXPECT_EQ(text.find("command=\"\""), std::string::npos);
    EXPECT_NE(text.find("tarvona_build_info{version=\""), std::string::npos);
}

TEST(MetricsToken, OpensGetMetricsOnlyWithTheExactToken) {
    TempDir dir;
    CFtpServer server(dir.ProgramDir());
    ApiContext context{server, dir.ProgramDir()};
    const auto refuse = [](ApiContext&, const ApiRequest&) -> std::optional<ApiResponse> {
        return ApiError(401, "next");
    };
    const std::string token(32, 'k');
    const ApiAuthenticator check = WithMetricsToken(token, refuse);
    const auto opens = [&](const ApiAuthenticator& auth, std::string method, std::string path,
                           std::string header) {
        ApiRequest request;
        request.method = std::move(method);
        request.path = std::move(path);
        request.authorization = std::move(header);
        request.transport = ApiTransport::Network;
        return !auth(context, request).has_value();
    };
    EXPECT_TRUE(opens(check, "GET", "/metrics", "Bearer " + token));
    EXPECT_FALSE(opens(check, "GET", "/metrics", "Bearer " + token + "x"));
    EXPECT_FALSE(opens(check, "GET", "/metrics", "Bearer " + token.substr(1)));
    EXPECT_FALSE(opens(check, "GET", "/api/v1/server", "Bearer " + token));
    EXPECT_FALSE(opens(check, "DELETE", "/metrics", "Bearer " + token));
    EXPECT_FALSE(opens(WithMetricsToken("", refuse), "GET", "/metrics", "Bearer "));
}
