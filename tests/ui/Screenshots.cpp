// Writes PNGs of every tab of the main window and of its dialogs (about, help, the
// account editors with each of their tabs), with a running server, a logged-in client,
// some traffic and a few accounts, so the window can be looked at without a display.
//   ui_screenshots OUTPUT_DIR
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <cstdio>
#include <filesystem>
#include <string>

#include "accounts/AccountEditor.h"
#include "accounts/PermissionText.h"
#include "config/IpFilter.h"
#include "server/FtpServer.h"
#include "server/HistoryPeriod.h"
#include "server/TransferHistory.h"
#include "tests/support/RawFtpClient.h"
#include "tests/support/TestAccounts.h"
#include "tests/support/TestCertificates.h"
#include "tests/ui/ModalDriver.h"
#include "tests/ui/WindowFixture.h"
#include "ui/AboutDlg.h"
#include "ui/ConnectDlg.h"
#include "ui/DirectoryBrowser.h"
#include "ui/FingerprintDlg.h"
#include "ui/GroupDlg.h"
#include "ui/GroupSelectDlg.h"
#include "ui/HelpDlg.h"
#include "ui/IpAddressDlg.h"
#include "ui/IpFilterDlg.h"
#include "ui/OnlineUsersModel.h"
#include "ui/OnlineUsersPage.h"
#include "ui/OptionsPage.h"
#include "ui/ServerDlg.h"
#include "ui/ServiceDlg.h"
#include "ui/SettingsAccess.h"
#include "ui/StatisticsPage.h"
#include "ui/UserAccountDlg.h"
#include "ui/VirtualFolderDlg.h"

namespace {
QString Describe(QWidget& widget) {
    QString text;
    if (auto* button = qobject_cast<QAbstractButton*>(&widget)) text = button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(&widget)) text = edit->text();
    if (auto* combo = qobject_cast<QComboBox*>(&widget)) text = combo->currentText();
    return QString("%1 \"%2\"").arg(widget.metaObject()->className(), text);
}

// The title and the order Tab walks through the visible controls of `widget`, beside
// its PNG, so that a jump out of reading order shows without a keyboard.
void WriteTabOrder(QWidget& widget, const QString& pngPath) {
    QFile file(QString(pngPath).replace(".png", "-tab-order.txt"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    QTextStream out(&file);
    out << "title \"" << widget.windowTitle() << "\"\n";
    QWidget* current = &widget;
    for (int step = 0; step < 200; ++step) {
        current = current->nextInFocusChain();
        if (current == &widget) break;
        if (current->isVisibleTo(&widget) && current->isEnabled() &&
            (current->focusPolicy() & Qt::TabFocus) && widget.isAncestorOf(current))
            out << Describe(*current) << "\n";
    }
}

bool Save(QWidget& widget, const QString& path) {
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    WriteTabOrder(widget, path);
    return saved;
}

// Two groups and two more accounts, with folders of their own and from a group.
void AddAccounts(const std::string& programDir, const std::string& home) {
    CAccountEditor editor(programDir);
    const auto folder = [&](const char* name, const char* perms) {
        return VirtualFolder{0, name, home, PermissionsFromText(perms)};
    };
    GroupRecord staff{0, "Staff", "Everyone at the office"};
    GroupRecord guests{0, "Guests", ""};
    (void)editor.SaveGroup(staff, {folder("Shared", "RWDRALCRR"), folder("Forms", "R----L---")});
    (void)editor.SaveGroup(guests, {});
    UserRecord bob = FullAccessUser("bob", "b0b-pass", home);
    bob.email = "bob@example.org";
    bob.groups = "1,2";
    bob.reserved = "1,2030-01-31";
    bob.quotaMax = 500000;
    bob.quotaCurrent = 12345;
    (void)editor.SaveUser(bob, {folder("Music", "R----L---"), folder("Upload", "RW--AL---")});
    UserRecord carol = FullAccessUser("carol", "secret", home);
    carol.status = "0";
    (void)editor.SaveUser(carol, {});
}

// Each tab of `dialog` as OUT/PREFIX-TAB.png.
bool SaveTabs(QDialog& dialog, QTabWidget& tabs, const QString& out, const QString& prefix) {
    bool ok = true;
    dialog.show();
    for (int i = 0; i < tabs.count(); ++i) {
        tabs.setCurrentIndex(i);
        QTest::qWait(20);
        ok = Save(dialog,
                  QString("%1/%2-%3.png").arg(out, prefix, tabs.tabText(i).replace(' ', '-'))) &&
             ok;
    }
    dialog.hide();
    return ok;
}

bool SaveEditors(CServerDlg& window, const std::string& programDir, const QString& out) {
    const auto access = MakeTableAccountAccess(programDir);
    bool read = false;  // the tables answer at once
    const auto opened = [&](const AccessStatus& status) { read = status.ok(); };
    CUserAccountDlg user(*access, &window);
    user.OpenExisting({2, {}}, opened);
    bool ok = read && SaveTabs(user, user.Tabs(), out, "user");
    CGroupDlg group(*access, &window);
    group.OpenExisting({1, {}}, opened);
    ok = read && SaveTabs(group, group.Tabs(), out, "group") && ok;
    CVirtualFolderDlg folder("Music", "/srv/music", &window);
    folder.adjustSize();
    ok = Save(folder, out + "/virtual-folder.png") && ok;
    CGroupSelectDlg select(*access, "Staff", &window);
    select.adjustSize();
    ok = Save(select, out + "/group-select.png") && ok;
    QLineEdit target(QString::fromStdString(programDir));
    auto browser = WhenShown<QFileDialog>([&](QFileDialog& d) {
        ok = Save(d, out + "/folder-browser.png") && ok;
        d.reject();
    });
    BrowseForDirectory(&window, target);
    return browser->ran && ok;
}
// Each tab of the options page as OUT/options-TAB.png; then, with a certificate that runs
// out in 10 days, the status bar's warning and the TLS tab's dates.
bool SaveOptionsTabs(WindowFixture& fixture, const QString& out) {
    CServerDlg& window = fixture.Window();
    CFtpServer& server = fixture.Server();
    QTabWidget& sections = window.OptionsPage().SectionTabs();
    window.Tabs().setCurrentWidget(&window.OptionsPage());
    bool ok = true;
    for (int i = 0; i < sections.count(); ++i) {
        sections.setCurrentIndex(i);
        QTest::qWait(20);  // the scroll area lays the tab out
        ok = Save(window, QString("%1/options-%2.png").arg(out, sections.tabText(i))) && ok;
    }
    const std::string dir = server.ProgramDir();
    if (!MakeTestCertificate(dir + kGeneratedCertificateName, dir + kGeneratedKeyName, 10))
        return false;
    server.Tls().CheckExpiry(server);  // as the daily check would
    ok = fixture.WaitFor([&] { return !window.CertificateWarning().isEmpty(); }) && ok;
    sections.setCurrentIndex(1);
    QTest::qWait(20);
    ok = Save(window, out + "/options-TLS-expiring.png") && ok;
    sections.setCurrentIndex(0);
    return ok;
}

// Two months of made-up traffic: weekdays busier than weekends, and a few refusals.
void AddHistory(CTransferHistory& history) {
    std::vector<HistoryRow> rows;
    const std::int32_t today = history.Today();
    for (std::int32_t back = 0; back < 60; ++back) {
        const std::int32_t day = today - back;
        const std::int64_t weekday = (day - WeekStartOfDay(day)) < 5 ? 3 : 1;
        rows.push_back({false,
                        day,
                        "alice",
                        {weekday * (40 + back % 7 * 9) << 20, weekday * (90 + back % 5 * 30) << 20,
                         weekday * 12, weekday * 30, back % 9 == 0 ? 1 : 0, 0}});
        rows.push_back({false, day, "bob", {(back % 3 + 1) * 15 << 20, 8 << 20, 3, 2, 0, 0}});
        if (back % 4 == 0) rows.push_back({false, day, "", {0, 0, 0, 0, 0, back % 8 + 1}});
    }
    history.AddRows(rows);
}

// The Statistics page for one user by week, as OUT/statistics-bob-by-week.png.
bool SaveStatisticsChoices(CServerDlg& window, const QString& out) {
    CStatisticsPage& page = window.StatisticsPage();
    window.Tabs().setCurrentWidget(&page);
    page.UserChoice().setCurrentIndex(page.UserChoice().findData("bob"));
    page.GroupingChoice().setCurrentIndex(1);
    page.RangeChoice().setCurrentIndex(2);
    page.Refresh();
    QTest::qWait(20);
    const bool ok = Save(window, out + "/statistics-bob-by-week.png");
    page.UserChoice().setCurrentIndex(0);
    page.GroupingChoice().setCurrentIndex(0);
    page.RangeChoice().setCurrentIndex(1);
    page.Refresh();
    return ok;
}

// Connecting to another machine's server: the address dialog and both certificate prompts.
bool SaveConnectionDialogs(QWidget& window, const QString& out) {
    CConnectDlg connectTo(&window);
    connectTo.AddressEdit().setText("files.example.org");
    connectTo.PasswordEdit().setText("secret");
    connectTo.adjustSize();
    bool ok = Save(connectTo, out + "/connect.png");
    const QString first =
        "3F:A9:0C:71:5E:D2:88:14:B6:4A:E0:93:27:CC:5D:1F:"
        "80:6B:F4:39:A2:07:DE:65:9C:11:48:B3:F7:2E:90:5A";
    CFingerprintDlg prompt("files.example.org:14148", first, &window);
    prompt.adjustSize();
    ok = Save(prompt, out + "/fingerprint-first.png") && ok;
    QString changed = first;
    changed.replace("3F:A9", "C4:02");
    CFingerprintDlg warning("files.example.org:14148", first, changed,
                            "/home/alice/.config/tarvona/known_servers", &window);
    warning.adjustSize();
    return Save(warning, out + "/fingerprint-changed.png") && ok;
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
    const std::string programDir = fixture.Server().ProgramDir();
    AddAccounts(programDir, fixture.Dir().Path("home"));
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
    AddHistory(fixture.Server().History());

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
    ok = SaveOptionsTabs(fixture, out) && ok;
    ok = SaveStatisticsChoices(window, out) && ok;
    ok = SaveEditors(window, programDir, out) && ok;
    CAboutDlg about(&window);
    about.adjustSize();
    ok = Save(about, out + "/about.png") && ok;
    CHelpDlg help(&window);
    ok = Save(help, out + "/help.png") && ok;
    WriteFile(fixture.Dir().Path("rejectip.txt"), "10.0.0.12,192.168.*.*,fe80::1");
    (void)fixture.Server().Filter().Load(fixture.Dir().ProgramDir());
    const auto filterAccess = MakeInProcessSettingsAccess(fixture.Server());
    CIpFilterDlg filter(*filterAccess, &window);
    filter.SetMode(1);
    ok = Save(filter, out + "/ip-filter.png") && ok;
    CIpAddressDlg address("192.168.*.*", &window);
    ok = Save(address, out + "/ip-address.png") && ok;
    ok = SaveConnectionDialogs(window, out) && ok;
    CServiceDlg service(fixture.Dir().ProgramDir(), {}, &window);
    service.adjustSize();
    ok = Save(service, out + "/service.png") && ok;
    // The status line while a stop waits for the logged-in session to end.
    tabs.setCurrentIndex(0);
    window.StopServer();
    ok = Save(window, out + "/stopping.png") && ok;
    fixture.WaitFor([&] { return !fixture.Server().IsStopping(); });
    fixture.WaitForNoSessions();
    return ok ? 0 : 1;
}
