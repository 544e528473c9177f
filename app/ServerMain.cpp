// tarvona-server: the FTP service without a window.
//   tarvona-server [--dir DIR] [--port N] [--listen ADDRESS[,ADDRESS...]]
// Applies option.ini and the IP lists as the window does when it opens, starts the
// server, prints every log line, and stops cleanly on SIGINT or SIGTERM.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/ConsoleSink.h"
#include "app/ProgramDirChoice.h"
#include "app/StartupSequence.h"
#include "platform/EventLoop.h"
#include "platform/Signals.h"
#include "server/AdminChannel.h"
#include "server/FtpServer.h"
#include "server/StartSettings.h"

namespace {

struct Arguments {
    std::string dir;
    int port = -1;
    std::vector<std::string> listen;
};

void PrintUsage() {
    std::fprintf(stderr,
                 "usage: tarvona-server [--dir DIR] [--port N] [--listen ADDRESS[,ADDRESS...]]\n");
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

bool ParseArguments(int argc, char** argv, Arguments& out) {
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--dir") == 0 && hasValue) {
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
        PrintUsage();
        return 2;
    }
    EventLoop mainLoop;
    CStopSignals signals;  // before any thread exists, so every thread inherits the mask
    const std::string programDir = ChooseProgramDir(arguments.dir);
    CServerStartup startup(programDir);
    CFtpServer server(programDir);
    const bool ready = startup.Prepare(server);
    // On standard error, where a service manager looks, and in the log.
    for (const std::string& warning : startup.Warnings())
        std::fprintf(stderr, "%s\n", warning.c_str());
    CConsoleSink sink(startup.Options().saveLog == 1 ? &startup.LogFile() : nullptr);
    server.SetWindowSink(&sink);
    startup.LogWarnings(server);
    if (!ready) return 1;
    ApplyStartSettings(server, startup.Options());
    if (arguments.port > 0) server.SetPort(arguments.port);
    server.SetListenAddresses(arguments.listen);
    if (!server.Start()) return 1;
    // The headless administrator's view of what the window's online page shows.
    CAdminChannel adminChannel(server);
    std::string channelError;
    if (!adminChannel.Open(programDir + kAdminSocketName, channelError))
        server.LogMessage(LogCategory::Error, "No control socket (" + channelError +
                                                  "); tarvona-admin sessions, "
                                                  "kick and ban cannot reach this server.");
    if (!signals.Watch(mainLoop, [&] {
            server.Stop();
            mainLoop.PostQuit();
        })) {
        std::fprintf(stderr, "cannot watch the stop signals\n");
        server.Stop();
        return 1;
    }
    mainLoop.Run();
    return 0;
}
