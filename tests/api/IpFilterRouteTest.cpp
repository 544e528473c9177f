// PUT /api/v1/iplists called as the router calls it, on a real server: a whole filter is
// put in force and saved, and a refused one changes nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "api/ServerRouteGroups.h"
#include "config/IpFilter.h"
#include "config/Options.h"
#include "server/FtpServer.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TempDir.h"

namespace {

ApiResponse PutFilter(ServerHarness& harness, const std::string& programDir,
                      const std::string& body) {
    CFtpServer* server = nullptr;
    harness.RunOnServer([&](CFtpServer& s) { server = &s; });
    ApiRequest request;
    request.method = "PUT";
    request.path = "/api/v1/iplists";
    request.body = body;
    for (const ApiRoute& route : IpListRoutes())
        if (route.method == "PUT" && route.pattern == request.path) {
            ApiContext context{*server, programDir};
            return route.handler(context, request);  // waits for the main thread
        }
    return ApiError(405, "no route");
}

}  // namespace

TEST(IpFilterRoute, ReplacesModeAndBothListsOrNothing) {
    TempDir dir;
    ServerHarness harness(dir.ProgramDir());
    ASSERT_TRUE(harness.Start());  // the main loop the route posts to
    for (const char* refused : {R"({"mode":3,"allow":[],"deny":[]})",
                                R"({"mode":1,"allow":[],"deny":["10.0.0.1,10.0.0.2"]})",
                                R"({"mode":1,"allow":[],"deny":[7]})", R"({"mode":1,"allow":[]})",
                                R"({"mode":1,"allow":[],"deny":[],"extra":1})"})
        EXPECT_EQ(PutFilter(harness, dir.ProgramDir(), refused).status, 400) << refused;
    EXPECT_FALSE(std::filesystem::exists(dir.Path("rejectip.txt")));

    const ApiResponse answer = PutFilter(
        harness, dir.ProgramDir(), R"({"mode":1,"allow":["::1"],"deny":["10.0.0.*","fe80::/10"]})");
    ASSERT_EQ(answer.status, 200) << answer.body.dump();
    EXPECT_FALSE(answer.body.contains("notSaved"));
    EXPECT_EQ(ReadFile(dir.Path("rejectip.txt")), "10.0.0.*,fe80::/10");
    EXPECT_EQ(ReadFile(dir.Path("acceptip.txt")), "::1");
    EXPECT_EQ(COptions(dir.ProgramDir()).ReadInt(&OptionValues::filterMode), 1);
    harness.RunOnServer([](CFtpServer& server) {
        EXPECT_EQ(server.Filter().GetMode(), FilterMode::RefuseDenied);
        EXPECT_FALSE(server.Filter().IsAllowed("10.0.0.9"));
    });
}
