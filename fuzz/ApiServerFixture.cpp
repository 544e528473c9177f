#include "fuzz/ApiServerFixture.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "api/ApiHttpServer.h"
#include "api/ApiService.h"
#include "api/RateHistory.h"
#include "fuzz/HarnessSupport.h"
#include "server/FtpServer.h"
#include "tests/support/ServerHarness.h"

namespace {

struct ApiServer {
    std::string root;
    ServerHarness* harness = nullptr;  // left running when it does not start: its thread
                                       // cannot be ended from here
    CRateHistory rates;
    CApiHttpServer* api = nullptr;
};

ApiServer* g_server = nullptr;

void RemoveFiles() {
    std::error_code ignored;
    std::filesystem::remove_all(g_server->root, ignored);
}

}  // namespace

CApiHttpServer* SharedApiServer(const std::string& prefix) {
    static ApiServer* making = nullptr;
    if (g_server != nullptr) return g_server->api;
    if (making == nullptr) {
        making = new ApiServer;
        making->root = MakeScratchDir(prefix);
        if (making->root.empty()) {
            delete making;
            making = nullptr;
            (void)SkipInput("administration API set-up", "no scratch directory");
            return nullptr;
        }
        making->harness = new ServerHarness(making->root + "/");
        making->harness->Sink().DiscardLogs();
    }
    if (!making->harness->Start()) {
        (void)SkipInput("administration API set-up", "the server does not listen");
        return nullptr;
    }
    CFtpServer* server = nullptr;
    making->harness->RunOnServer([&](CFtpServer& s) { server = &s; });
    making->rates.Sample(*server);
    making->api = new CApiHttpServer(
        ApiContext{*server, making->root + "/", nullptr, &making->rates}, AllApiRoutes());
    g_server = making;
    std::atexit(&RemoveFiles);
    return g_server->api;
}
