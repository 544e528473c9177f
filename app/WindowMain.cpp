// tarvona: the administration window with the FTP service inside.
//   tarvona [--dir DIR] | --help | --version
// Runs the same opening steps as tarvona-server, then the window's own; SIGINT and
// SIGTERM (logout, shutdown, kill) stop the server and end the program with status 0.
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

constexpr char kUsage[] = "usage: tarvona [--dir DIR]\n";

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
            "  --help      this text;  --version  the version\n"
            "%s\n",
            kUsage, ProgramDirHelpLine(dir).c_str());
    return help;
}

bool ParseArguments(int argc, char** argv, std::string& dir) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc)
            dir = argv[++i];
        else
            return false;
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
    std::string dirOption;
    if (!ParseArguments(argc, argv, dirOption)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const ProgramDirChoice choice = ExplainProgramDir(dirOption);
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
    QObject::connect(&window, &CServerDlg::Finished, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    if (!stopSignals.Watch(mainLoop, [&window] { window.EndFromOutside(); }))
        std::fprintf(stderr, "cannot watch the stop signals\n");
    window.Open();
    return QApplication::exec();
}
