// tarvona: the administration window with the FTP service inside.
//   tarvona [--dir DIR]
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
#include "net/HttpGet.h"
#include "platform/EventLoop.h"
#include "platform/Signals.h"
#include "server/FtpServer.h"
#include "ui/MessageBoxes.h"
#include "ui/ServerDlg.h"

namespace {

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
    EventLoop mainLoop;
    // Before Qt starts any thread, so that every thread inherits the blocked signals.
    CStopSignals stopSignals;
    CCurlGlobal curl;
    QApplication app(argc, argv);
    // The window may live hidden in the notification area; the program ends when the
    // window says it has finished, not when no window is visible.
    QApplication::setQuitOnLastWindowClosed(false);
    std::string dirOption;
    if (!ParseArguments(argc, argv, dirOption)) {
        std::fprintf(stderr, "usage: tarvona [--dir DIR]\n");
        return 2;
    }
    const std::string programDir = ChooseProgramDir(dirOption);
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
