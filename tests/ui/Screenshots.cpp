// Writes PNGs of every tab of the main window and of the about and help dialogs, with a
// running server, a logged-in client and some traffic, so the window can be looked at
// without a display.   ui_screenshots OUTPUT_DIR
#include <QApplication>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <string>

#include "server/FtpServer.h"
#include "tests/support/RawFtpClient.h"
#include "tests/ui/WindowFixture.h"
#include "ui/AboutDlg.h"
#include "ui/HelpDlg.h"
#include "ui/OnlineUsersModel.h"
#include "ui/OnlineUsersPage.h"
#include "ui/ServerDlg.h"

namespace {
bool Save(QWidget& widget, const QString& path) {
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}
}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    QApplication app(argc, argv);
    const QString out = argc > 1 ? argv[1] : "screenshots";
    std::filesystem::create_directories(out.toStdString());

    WindowFixture fixture("Savelog=1\nPort=" + std::to_string(FindFreePort()) + "\n");
    CServerDlg& window = fixture.Window();
    window.StartServer();
    fixture.Server().SetStatisticsInterval(100);  // the status bar's figures at once
    auto client = fixture.LogIn();
    if (!client) return 1;
    client->SendLine("CWD /sub");
    for (int i = 0; i < 12; ++i) {  // some traffic for the rate graph
        for (int n = 0; n < i % 4 + 1; ++n) client->SendLine("NOOP");
        QTest::qWait(110);
    }
    fixture.WaitFor([&] { return window.OnlineUsersPage().Model().rowCount() == 1; });
    for (int i = 0; i < 5; ++i) (void)fixture.Server().LoginGuard().RecordFailure("203.0.113.7");
    QTest::qWait(1300);  // the ban list refreshes every second
    window.ApplyPendingEvents();

    bool ok = true;
    QTabWidget& tabs = window.Tabs();
    for (int i = 0; i < tabs.count(); ++i) {
        tabs.setCurrentIndex(i);
        ok = Save(window, QString("%1/tab%2-%3.png")
                              .arg(out)
                              .arg(i)
                              .arg(tabs.tabText(i).replace(' ', '-'))) &&
             ok;
    }
    CAboutDlg about(&window);
    about.adjustSize();
    ok = Save(about, out + "/about.png") && ok;
    CHelpDlg help(&window);
    ok = Save(help, out + "/help.png") && ok;
    client->SendLine("QUIT");
    fixture.WaitForNoSessions();
    return ok ? 0 : 1;
}
