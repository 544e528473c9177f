// tarvona: the administration window with the FTP service inside.
//   tarvona [--dir DIR] [--local | --connect URL] | --help | --version
// Runs the same opening steps as tarvona-server, then the window's own; SIGINT and
// SIGTERM (logout, shutdown, kill) stop the server and end the program with status 0.
// The window shows the server already running on the program directory's control
// socket when there is one (--local: never), or the one at URL over TLS.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/AddressDetection.h"
#include "app/ProgramDirChoice.h"
#include "app/StartupSequence.h"
#include "generated/Version.h"
#include "net/HttpGet.h"
#include "platform/EventLoop.h"
#include "platform/Signals.h"
#include "server/FtpServer.h"
#include "ui/MessageBoxes.h"
#include "ui/ServerDlg.h"

namespace {

constexpr char kUsage[] = "usage: tarvona [--dir DIR] [--local | --connect URL]\n";

// --help and --version answer before Qt starts, so they work without a display. True
// when one of them was given and answered.
bool AnswerInformationOptions(int argc, char** argv) {
    std::string dir;
    bool help = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tarvona (Tarvona FTP Server) %s\n%s", kTarvonaVersion,
                        kTarvonaLicenceNotice);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0) help = true;
        if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) dir = argv[++i];
    }
    if (help)
        std::printf(
            "%s"
            "  --dir DIR   program directory (option.ini, account tables, IP lists, log/)\n"
            "  --local     the server inside the window, even when the program directory's\n"
            "              server runs already (by default the window attaches to it)\n"
            "  --connect URL  the server at tarvona@HOST:PORT or https://HOST:PORT, over TLS\n"
            "  --help      this text;  --version  the version\n"
            "%s\n",
            kUsage, ProgramDirHelpLine(dir).c_str());
    return help;
}

struct WindowArguments {
    std::string dir;
    CServerDlg::OpenChoice open = CServerDlg::OpenChoice::AttachWhenRunning;
    QString address;  // with --connect
};

bool ParseArguments(int argc, char** argv, WindowArguments& arguments) {
    bool chosen = false;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--dir") == 0 && hasValue) {
            arguments.dir = argv[++i];
        } else if (std::strcmp(argv[i], "--local") == 0 && !chosen) {
            arguments.open = CServerDlg::OpenChoice::InsideWindow;
            chosen = true;
        } else if (std::strcmp(argv[i], "--connect") == 0 && hasValue && !chosen) {
            arguments.open = CServerDlg::OpenChoice::Connect;
            arguments.address = QString::fromLocal8Bit(argv[++i]);
            chosen = true;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (AnswerInformationOptions(argc, argv)) return 0;
    EventLoop mainLoop;
    if (!mainLoop.IsUsable()) {
        std::perror("tarvona: no descriptor for the event loop");
        return 1;
    }
    // Before Qt starts any thread, so that every thread inherits the blocked signals.
    CStopSignals stopSignals;
    CCurlGlobal curl;
    QApplication app(argc, argv);
    // The window may live hidden in the notification area; the program ends when the
    // window says it has finished, not when no window is visible.
    QApplication::setQuitOnLastWindowClosed(false);
    WindowArguments arguments;
    if (!ParseArguments(argc, argv, arguments)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const ProgramDirChoice choice = ExplainProgramDir(arguments.dir);
    if (choice.dir.empty()) {
        std::fprintf(stderr, "tarvona: %s\n", choice.source.c_str());
        ShowMessageBox(nullptr, {QMessageBox::Critical, "Tarvona FTP Server",
                                 QString::fromStdString(choice.source), QMessageBox::Ok});
        return 1;
    }
    const std::string& programDir = choice.dir;
    CServerStartup startup(programDir);
    CFtpServer server(programDir);
    const bool ready = startup.Prepare(server);
    for (const std::string& warning : startup.Warnings())
        std::fprintf(stderr, "%s\n", warning.c_str());
    if (!ready) {
        ShowMessageBox(nullptr,
                       {QMessageBox::Critical, "Tarvona FTP Server",
                        QString::fromStdString(startup.Warnings().back()), QMessageBox::Ok});
        return 1;
    }
    if (!startup.LogFileOpened())
        ShowMessageBox(nullptr,
                       {QMessageBox::Critical, "Error in CLogFile::Open()",
                        QString::fromStdString(startup.LogFile().GetLastError()), QMessageBox::Ok});
    CServerDlg window(mainLoop, server, startup.LogFile(), startup.Options());
    startup.LogWarnings(server);
    const std::unique_ptr<CAddressDetector> detector = MakeAddressDetector(mainLoop, server);
    window.SetAddressDetector(detector.get());
    window.SetOpenChoice(arguments.open, arguments.address);
    QObject::connect(&window, &CServerDlg::Finished, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    if (!stopSignals.Watch(mainLoop, [&window] { window.EndFromOutside(); }))
        std::fprintf(stderr, "cannot watch the stop signals\n");
    window.Open();
    return QApplication::exec();
}
