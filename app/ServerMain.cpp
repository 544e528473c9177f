// tarvona-server: the FTP service without a window.
//   tarvona-server [--dir DIR] [--port N] [--listen ADDRESS[,ADDRESS...]] | --help | --version
// Applies option.ini and the IP lists as the window does when it opens, starts the
// server, prints every log line, reads option.ini and the IP lists again on SIGHUP, and
// stops cleanly on SIGINT or SIGTERM.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "api/AdminListener.h"
#include "api/ApiService.h"
#include "api/MetricsRoutes.h"
#include "app/AddressDetection.h"
#include "app/ConsoleSink.h"
#include "app/ProgramDirChoice.h"
#include "app/ProgramDirSafety.h"
#include "app/ServiceReadiness.h"
#include "app/StartupSequence.h"
#include "generated/Version.h"
#include "net/HttpGet.h"
#include "platform/DescriptorReserve.h"
#include "platform/EventLoop.h"
#include "platform/ServiceManager.h"
#include "platform/Signals.h"
#include "platform/StringFormat.h"
#include "server/ConfigReload.h"
#include "server/FtpServer.h"
#include "server/StartSettings.h"

namespace {

// How long a log line may wait before it reaches standard output.
constexpr std::chrono::milliseconds kConsoleFlushPeriod{200};

struct Arguments {
    std::string dir;
    int port = -1;
    std::vector<std::string> listen;
    bool help = false;
    bool version = false;
};

constexpr char kUsage[] =
    "usage: tarvona-server [--dir DIR] [--port N] [--listen ADDRESS[,ADDRESS...]]\n";

void PrintHelp(const std::string& dirOption) {
    std::printf(
        "%s"
        "  --dir DIR        program directory (option.ini, account tables, IP lists, log/)\n"
        "  --port N         listen on port N instead of option.ini's port\n"
        "  --listen ADDRS   listen only on these local addresses (default: all)\n"
        "  --help           this text;  --version  the version\n"
        "%s\n",
        kUsage, ProgramDirHelpLine(dirOption).c_str());
}

// A comma-separated list of local addresses; empty items are refused.
bool ParseAddresses(const std::string& text, std::vector<std::string>& out) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma - start);
        if (item.empty()) return false;
        out.push_back(item);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

bool ParsePort(const char* text, int& port) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > 65535) return false;
    port = static_cast<int>(value);
    return true;
}

std::string DescribeOpenFileLimit(const OpenFileLimits& limits) {
    if (!limits.error.empty())
        return StringFormat("Open-file limit %zu (hard limit %zu); it cannot be raised: %s.",
                            limits.soft, limits.hard, limits.error.c_str());
    if (limits.raisedTo == limits.soft)
        return StringFormat("Open-file limit %zu (hard limit %zu).", limits.soft, limits.hard);
    return StringFormat("Open-file limit raised from %zu to the hard limit %zu.", limits.soft,
                        limits.hard);
}

bool ParseArguments(int argc, char** argv, Arguments& out) {
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--help") == 0) {
            out.help = true;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            out.version = true;
        } else if (std::strcmp(argv[i], "--dir") == 0 && hasValue) {
            out.dir = argv[++i];
        } else if (std::strcmp(argv[i], "--port") == 0 && hasValue) {
            if (!ParsePort(argv[++i], out.port)) return false;
        } else if (std::strcmp(argv[i], "--listen") == 0 && hasValue) {
            if (!ParseAddresses(argv[++i], out.listen)) return false;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments arguments;
    if (!ParseArguments(argc, argv, arguments)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (arguments.version) {
        std::printf("tarvona-server (Tarvona FTP Server) %s\n%s", kTarvonaVersion,
                    kTarvonaLicenceNotice);
        return 0;
    }
    if (arguments.help) {
        PrintHelp(arguments.dir);
        return 0;
    }
    const OpenFileLimits fileLimits = RaiseOpenFileLimit();
    EventLoop mainLoop;
    if (!mainLoop.IsUsable()) {
        std::perror("tarvona-server: no descriptor for the event loop");
        return 1;
    }
    // Before any thread exists, so every thread inherits the mask.
    CStopSignals signals(/*withReload=*/true);
    CCurlGlobal curl;
    const ProgramDirChoice choice = ExplainProgramDir(arguments.dir);
    if (choice.dir.empty()) {
        std::fprintf(stderr, "tarvona-server: %s\n", choice.source.c_str());
        return 1;
    }
    const std::string& programDir = choice.dir;
    CServerStartup startup(programDir);
    CFtpServer server(programDir);
    const bool ready = startup.Prepare(server);
    // On standard error, where a service manager looks, and in the log; once in a journal
    // that takes both.
    const bool journal = service_manager::StandardOutputIsJournal();
    if (!journal)
        for (const std::string& warning : startup.Warnings())
            std::fprintf(stderr, "%s\n", warning.c_str());
    CConsoleSink sink(startup.Options().saveLog == 1 ? &startup.LogFile() : nullptr, journal);
    server.SetWindowSink(&sink);
    mainLoop.AddTimer(kConsoleFlushPeriod, [&sink] { sink.Flush(); });
    startup.LogWarnings(server);
    server.LogMessage(LogCategory::Server, DescribeOpenFileLimit(fileLimits));
    if (!ready) return 1;
    ApplyStartSettings(server, startup.Options());
    if (arguments.port > 0) server.SetPort(arguments.port);
    server.SetListenAddresses(arguments.listen);
    if (!server.Start()) {
        // `systemctl status` and tarvona-service show it beside the failed start.
        service_manager::NotifyStatus(server.StartFailure());
        return 1;
    }
    CServiceReadiness readiness(mainLoop, server);
    // Behind a router the passive address must be the public one, as in the window.
    const std::unique_ptr<CAddressDetector> detector = MakeAddressDetector(mainLoop, server);
    (void)detector->StartDetection(arguments.port > 0 ? arguments.port : startup.Options().port);
    detector->StartRetryTimer();
    CConfigReloader reloader(server, startup.Options());
    reloader.KeepCommandLinePort(arguments.port > 0);
    reloader.SetExposureCheck([&programDir] { return ExposedProgramFiles(programDir); });
    reloader.SetAddressSettingsChanged(
        [&detector, &server] { (void)detector->StartDetection(server.GetPort()); });
    // The administration API on the control socket: tarvona-admin and scripts.
    CApiService api(server, &reloader);
    std::string apiError;
    if (!api.OpenControlSocket(programDir + kControlSocketName, apiError))
        server.LogMessage(LogCategory::Error, "No control socket (" + apiError +
                                                  "); tarvona-admin cannot reach this server.");
    // And over TLS when [Admin] Listen asks for it.
    AddAdminListeners(api.Http(), server, startup.Options());
    // And GET /metrics in plain HTTP on loopback when [Admin] MetricsListen asks for it.
    (void)AddMetricsListeners(api.Http(), server, startup.Options());
    if (!api.Start(apiError))
        server.LogMessage(LogCategory::Error,
                          "The administration API cannot run (" + apiError + ").");
    readiness.Ready();
    bool stopping = false;
    const auto stop = [&] {
        // A second signal arrives while the stop still waits for the sessions (it runs
        // this loop meanwhile): ending the loop then would leave the program while
        // session threads still use it.
        if (stopping) return;
        stopping = true;
        readiness.Stopping();
        // The API first: none of its requests waits for the main thread any more.
        api.Close();
        server.Stop();
        // The ServerStop action runs while the console sink is still there to log it.
        server.Hooks().Shutdown();
        mainLoop.PostQuit();
    };
    const auto reload = [&] {
        if (!stopping) (void)reloader.Reload("on SIGHUP");
    };
    if (!signals.Watch(mainLoop, stop, reload)) {
        std::fprintf(stderr, "cannot watch the stop signals\n");
        server.Stop();
        return 1;
    }
    mainLoop.Run();
    return 0;
}
