// tarvona-server: the FTP service without a window.
//   tarvona-server [--dir DIR] [--port N]
// Applies option.ini and the IP lists as the window does when it opens, starts the
// server, prints every log line, and stops cleanly on SIGINT or SIGTERM.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/ConsoleSink.h"
#include "app/ProgramDirChoice.h"
#include "app/StartupSequence.h"
#include "platform/EventLoop.h"
#include "platform/Signals.h"
#include "server/FtpServer.h"
#include "server/StartSettings.h"

namespace {

struct Arguments {
    std::string dir;
    int port = -1;
};

void PrintUsage() { std::fprintf(stderr, "usage: tarvona-server [--dir DIR] [--port N]\n"); }

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
    if (!startup.Prepare(server)) {
        std::fprintf(stderr, "program directory %s cannot be created\n", programDir.c_str());
        return 1;
    }
    for (const std::string& warning : startup.Warnings()) std::fprintf(stderr, "%s\n", warning.c_str());
    CConsoleSink sink(startup.Options().saveLog == 1 ? &startup.LogFile() : nullptr);
    server.SetWindowSink(&sink);
    ApplyStartSettings(server, startup.Options());
    if (arguments.port > 0) server.SetPort(arguments.port);
    if (!server.Start()) return 1;
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
