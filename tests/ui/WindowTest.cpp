// The administration window driven as a user would, with the real server inside and
// real FTP clients on loopback.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QMenu>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <optional>

#include "config/IpFilter.h"
#include "config/LogFile.h"
#include "server/FtpServer.h"
#include "server/HistoryPeriod.h"
#include "server/TransferHistory.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RawFtpClient.h"
#include "tests/ui/WindowFixture.h"
#include "ui/BanListModel.h"
#include "ui/HistoryChart.h"
#include "ui/LogModel.h"
#include "ui/LogPage.h"
#include "ui/OnlineUsersModel.h"
#include "ui/OnlineUsersPage.h"
#include "ui/OptionsPage.h"
#include "ui/ServerDlg.h"
#include "ui/StatisticsPage.h"
#include "ui/TopUsersModel.h"

using namespace std::chrono_literals;

namespace {
bool PageHasLine(CServerDlg& window, const QString& text) {
    CLogModel& log = window.LogPage().Model();
    for (int row = 0; row < log.rowCount(); ++row)
        if (log.Line(row).contains(text)) return true;
    return false;
}

void SelectRow(CServerDlg& window, int row) {
    QTableView& view = window.OnlineUsersPage().View();
    view.selectionModel()->select(view.model()->index(row, 0),
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QString Cell(CServerDlg& window, int column) {
    COnlineUsersModel& model = window.OnlineUsersPage().Model();
    return model.data(model.index(0, column), Qt::DisplayRole).toString();
}
}  // namespace

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    void TabsAreInTheirOrder();
    void ClientRowShowsItsSessionAndKickEndsIt();
    void DenyListFromARowRefusesTheNextConnection();
    void StopAndBusyPortReportTheirState();
    void WindowWorksOnWhileAStopWaitsForItsSessions();
    void ExitAnsweredNoKeepsTheServerRunning();
    void MinimizeWithoutNotificationAreaKeepsTheWindowReachable();
    void FirstSavedLineOfANewDayEmptiesThePage();
    void StopSignalEndsTheProgramWithStatusZero();
    void LogPageKeepsTheNewestLines();
    void OptionChangeIsLoggedWithItsOrigin();
    void BanListIsResetOnlyWhenTheBansChange();
    void StatisticsPageChartsAUserAndSortsTheUsers();
};

void WindowTest::TabsAreInTheirOrder() {
    WindowFixture fixture;
    QTabWidget& tabs = fixture.Window().Tabs();
    QCOMPARE(tabs.count(), 6);
    const char* const expected[] = {"Options", "Logs",         "Users",
                                    "Groups",  "Online users", "Statistics"};
    for (int i = 0; i < 6; ++i) QCOMPARE(tabs.tabText(i), QString(expected[i]));
    QCOMPARE(fixture.Window().StatusText(), QString("Tarvona FTP Server is offline."));
}

void WindowTest::ClientRowShowsItsSessionAndKickEndsIt() {
    WindowFixture fixture;
    CServerDlg& window = fixture.Window();
    window.StartAction().trigger();
    QCOMPARE(window.StatusText(), QString("Tarvona FTP Server is online"));
    QVERIFY(!window.StartAction().isEnabled());
    window.StartServer();  // from a menu while running: nothing, no box
    QVERIFY(fixture.Boxes().empty());

    auto client = fixture.LogIn();
    QVERIFY(client);
    COnlineUsersModel& model = window.OnlineUsersPage().Model();
    QVERIFY(fixture.WaitFor([&] { return model.rowCount() == 1; }));
    QCOMPARE(Cell(window, COnlineUsersModel::LastCommand), QString("PASS ****"));
    client->SendLine("CWD /sub");
    client->SendLine("NOOP");
    QVERIFY(
        fixture.WaitFor([&] { return Cell(window, COnlineUsersModel::LastCommand) == "NOOP"; }));
    QCOMPARE(Cell(window, COnlineUsersModel::User), QString("alice"));
    QCOMPARE(Cell(window, COnlineUsersModel::Address), QString("127.0.0.1"));
    QCOMPARE(Cell(window, COnlineUsersModel::Directory), QString("/sub"));

    SelectRow(window, 0);
    window.OnlineUsersPage().KickSelected();
    QVERIFY(fixture.WaitFor([&] { return model.rowCount() == 0; }));
    QVERIFY(fixture.WaitFor([&] {
        return PageHasLine(window, "(127.0.0.1, alice) kicked by the administrator (window).");
    }));
    QVERIFY(client->WaitClosed(5s));
    QVERIFY(fixture.WaitForNoSessions());
}

void WindowTest::DenyListFromARowRefusesTheNextConnection() {
    WindowFixture fixture("FilterMode=1\n");
    CServerDlg& window = fixture.Window();
    WriteFile(fixture.Dir().Path("rejectip.txt"), "127.0.0.12");  // longer, but a different address
    QVERIFY(fixture.Server().Filter().Load(fixture.Dir().ProgramDir()));
    window.StartServer();
    auto client = fixture.LogIn();
    QVERIFY(client);
    QVERIFY(fixture.WaitFor([&] { return window.OnlineUsersPage().Model().rowCount() == 1; }));
    SelectRow(window, 0);
    window.OnlineUsersPage().AddSelectedToDenyList();
    window.OnlineUsersPage().AddSelectedToDenyList();  // already there: unchanged
    QCOMPARE(ReadFile(fixture.Dir().Path("rejectip.txt")), std::string("127.0.0.12,127.0.0.1"));
    QVERIFY(fixture.WaitFor([&] {
        return PageHasLine(window,
                           "127.0.0.1 added to the deny list by the administrator (window).");
    }));

    RawFtpClient refused;
    QVERIFY(refused.Connect(fixture.Port()));
    const std::optional<std::string> reply = fixture.ReadLine(refused);
    QVERIFY(reply);
    QCOMPARE(*reply, std::string("421 Access denied, IP address was rejected by the server."));
    QVERIFY(fixture.WaitFor([&] { return refused.WaitClosed(5ms); }));
    client->SendLine("QUIT");
    QVERIFY(fixture.WaitForNoSessions());
}

void WindowTest::StopAndBusyPortReportTheirState() {
    HeldPort held;
    QVERIFY(held.Port() != 0);
    WindowFixture fixture("Port=" + std::to_string(held.Port()) + "\n");
    CServerDlg& window = fixture.Window();
    window.StartAction().trigger();
    QCOMPARE(fixture.Boxes().size(), std::size_t{1});
    const MessageBoxRequest& box = fixture.Boxes().front();
    QCOMPARE(box.caption, QString("Tarvona FTP Server"));
    QCOMPARE(
        box.text,
        QString("Error starting the FTP Server.This may be due to another service running on the "
                "port %1,Try changing the port number and then starting the server again.")
            .arg(held.Port()));
    QVERIFY(window.StartFailed());
    QVERIFY(window.StartAction().isEnabled());
    QCOMPARE(window.StatusText(), QString("Tarvona FTP Server is offline."));

    WindowFixture free;
    free.Window().StartServer();
    free.Window().StopAction().trigger();
    QCOMPARE(free.Window().StatusText(), QString("Tarvona FTP Server is offline"));
    QVERIFY(free.Window().StartAction().isEnabled() && !free.Window().StopAction().isEnabled());
    QVERIFY(free.WaitFor([&] { return PageHasLine(free.Window(), "Server is stopped."); }));
}

// A session is told to end and reports it through the main loop, which the window
// drives: the window goes on meanwhile, counts down, takes no second stop, and a close
// waits for the stop's end.
void WindowTest::WindowWorksOnWhileAStopWaitsForItsSessions() {
    WindowFixture fixture;
    CServerDlg& window = fixture.Window();
    window.StartServer();
    auto client = fixture.LogIn();  // reads nothing from now on
    QVERIFY(client);
    QSignalSpy finished(&window, &CServerDlg::Finished);
    bool workedDuringStop = false;
    QTimer::singleShot(0, &window, [&] { workedDuringStop = fixture.Server().IsStopping(); });
    window.StopAction().trigger();
    QCOMPARE(window.StatusText(), QString("Stopping: 1 session left"));
    QVERIFY(!window.StopAction().isEnabled() && !window.StartAction().isEnabled());
    window.StopServer();  // from the tray menu meanwhile: nothing
    window.StartServer();
    QVERIFY(fixture.Server().IsStopping());

    fixture.SetAnswer(QMessageBox::Yes);
    window.close();
    QVERIFY(window.isVisible());
    QCOMPARE(finished.count(), 0);
    QVERIFY(fixture.WaitFor([&] { return finished.count() == 1; }));
    QVERIFY(workedDuringStop);
    QCOMPARE(window.StatusText(), QString("Tarvona FTP Server is offline"));
    QVERIFY(!fixture.Server().IsRunning() && !fixture.Server().IsStopping());
    QVERIFY(client->WaitClosed(5s));
}

void WindowTest::ExitAnsweredNoKeepsTheServerRunning() {
    WindowFixture fixture;
    CServerDlg& window = fixture.Window();
    window.StartServer();
    QSignalSpy finished(&window, &CServerDlg::Finished);
    QTest::keyClick(&window, Qt::Key_Escape);
    QTest::keyClick(&window, Qt::Key_Return);
    QVERIFY(fixture.Boxes().empty());
    fixture.SetAnswer(QMessageBox::No);
    window.ExitAction().trigger();
    QCOMPARE(fixture.Boxes().size(), std::size_t{1});
    QCOMPARE(fixture.Boxes().back().text, QString("Do you really want to exit?"));
    QVERIFY(fixture.Server().IsRunning());
    QVERIFY(window.isVisible());
    QCOMPARE(finished.count(), 0);

    fixture.SetAnswer(QMessageBox::Yes);
    window.close();
    QVERIFY(!fixture.Server().IsRunning());
    QCOMPARE(finished.count(), 1);
}

// Offscreen there is no notification area: hiding would leave the window unreachable.
void WindowTest::MinimizeWithoutNotificationAreaKeepsTheWindowReachable() {
    WindowFixture fixture("AutoActive=1\nMinimize=1\n");
    CServerDlg& window = fixture.Window();
    QVERIFY(fixture.Server().IsRunning());
    QVERIFY(fixture.WaitFor([&] { return window.isMinimized(); }));
    QVERIFY(window.isVisible());
    window.TrayMenu().actions().front()->trigger();  // "Show main window"
    QVERIFY(!window.isMinimized() && window.isVisible());
}

void WindowTest::FirstSavedLineOfANewDayEmptiesThePage() {
    WindowFixture fixture("Savelog=1\n");
    CServerDlg& window = fixture.Window();
    std::int64_t now = std::time(nullptr);
    window.Sink().SetClock([&now] { return now; });
    window.StartServer();
    QVERIFY(fixture.WaitFor([&] { return PageHasLine(window, "Server is running on port "); }));
    now += 24 * 3600;
    window.StopServer();  // "Server is stopped." is the new day's first line
    QVERIFY(fixture.WaitFor([&] { return window.LogPage().Model().rowCount() == 0; }));
    const std::string tomorrow =
        ReadFile(CLogFile::PathFor(fixture.Dir().ProgramDir(), static_cast<std::time_t>(now)));
    QVERIFY(tomorrow.find("Server is stopped.\r\n") != std::string::npos);
    window.StartServer();  // later lines of the same day stay: both lines of the start
    QVERIFY(fixture.WaitFor([&] { return PageHasLine(window, "Server is running on port "); }));
    QVERIFY(PageHasLine(window, "At most "));
}

void WindowTest::StopSignalEndsTheProgramWithStatusZero() {
    TempDir dir;
    const std::uint16_t port = FindFreePort();
    WriteFile(dir.Path("option.ini"),
              "[Server]\nAutoActive=1\nPort=" + std::to_string(port) + "\n");
    ChildProcess window;
    QVERIFY(window.Start({TARVONA_WINDOW_BINARY, "--dir", dir.Path()}));
    RawFtpClient client;
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (!client.Connect(port, 1s) && std::chrono::steady_clock::now() < end) QTest::qWait(100);
    QCOMPARE(client.ReadLine(20s),
             std::optional<std::string>("220 Welcome to Tarvona FTP Server!"));
    QVERIFY(window.Terminate());
    int status = -1;
    QVERIFY(window.WaitForExit(30s, status));
    QCOMPARE(status, 0);
    QVERIFY(client.WaitClosed());
    // Today's file exists although saving is off.
    QVERIFY(std::filesystem::exists(CLogFile::PathFor(dir.ProgramDir(), std::time(nullptr))));
}

void WindowTest::LogPageKeepsTheNewestLines() {
    CLogModel log(3);
    log.Append({"a", "b"});
    log.Append({"c", "d"});
    QCOMPARE(log.rowCount(), 3);
    QCOMPARE(log.Line(0), QString("b"));
    log.Append({"e", "f", "g", "h"});  // a batch larger than the limit keeps its end
    QCOMPARE(log.rowCount(), 3);
    QCOMPARE(log.Line(0), QString("f"));
    QCOMPARE(log.Line(2), QString("h"));
}

void WindowTest::BanListIsResetOnlyWhenTheBansChange() {
    CBanListModel bans;
    QSignalSpy resets(&bans, &QAbstractItemModel::modelReset);
    bans.SetBans({{"10.0.0.1", 100, 1}});
    bans.SetBans({{"10.0.0.1", 100, 1}});  // the next poll: the selection stays
    QCOMPARE(resets.count(), 1);
    bans.SetBans({{"10.0.0.1", 200, 2}});
    QCOMPARE(resets.count(), 2);
    QCOMPARE(bans.index(0, CBanListModel::Offences).data().toInt(), 2);
}

void WindowTest::OptionChangeIsLoggedWithItsOrigin() {
    WindowFixture fixture;
    CServerDlg& window = fixture.Window();
    QTest::mouseClick(&window.OptionsPage().SaveLogBox(), Qt::LeftButton);
    QVERIFY(fixture.WaitFor([&] {
        return PageHasLine(window, "Option Savelog set to 1 by the administrator (window).");
    }));
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settings;  // the settings store must not touch the real home
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    QApplication app(argc, argv);
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WindowTest.moc"

// Refused logins of a real client and a week of bob's transfers: the page shows the users,
// sorts them by any column, and charts one user by day and by month.
void WindowTest::StatisticsPageChartsAUserAndSortsTheUsers() {
    WindowFixture fixture("[Security]\nFailDelay=0\n");
    CServerDlg& window = fixture.Window();
    window.StartServer();
    for (const char* user : {"alice", "no-such-user"}) {
        RawFtpClient client;
        QVERIFY(client.Connect(fixture.Port()));
        QVERIFY(fixture.ReadLine(client).has_value());
        fixture.Ask(client, std::string("USER ") + user);
        QCOMPARE(fixture.Ask(client, "PASS wrong"),
                 std::string("530 username or password incorrect."));
    }
    CTransferHistory& history = fixture.Server().History();
    std::vector<HistoryRow> rows;
    for (int back = 0; back < 7; ++back)
        rows.push_back({false, history.Today() - back, "bob", {1000 * (back + 1), 50, 1, 1, 0, 0}});
    history.AddRows(rows);

    CStatisticsPage& page = window.StatisticsPage();
    window.Tabs().setCurrentWidget(&page);
    QVERIFY(fixture.WaitFor([&] { return page.Model().rowCount() == 3; }));
    QTableView& view = page.View();
    const auto firstUser = [&] { return view.model()->index(0, 0).data().toString(); };
    QCOMPARE(firstUser(), QString("bob"));  // most bytes first
    view.sortByColumn(CTopUsersModel::FailedLogins, Qt::DescendingOrder);
    QVERIFY(firstUser() == "alice" || firstUser() == "(unknown)");
    view.sortByColumn(CTopUsersModel::User, Qt::AscendingOrder);
    QCOMPARE(firstUser(), QString("(unknown)"));
    QCOMPARE(page.Chart().Buckets().size(), std::size_t{30});

    QComboBox& user = page.UserChoice();
    const int bob = user.findData("bob");
    QVERIFY(bob > 0);
    user.setCurrentIndex(bob);
    emit user.activated(bob);
    QVERIFY(fixture.WaitFor([&] { return page.Chart().Buckets().back().counts.bytesUp == 1000; }));
    std::int64_t bytes = 0;
    for (const HistoryBucket& day : page.Chart().Buckets()) bytes += day.counts.bytesUp;
    QCOMPARE(bytes, std::int64_t{28000});
    page.GroupingChoice().setCurrentIndex(2);
    emit page.GroupingChoice().activated(2);
    QVERIFY(fixture.WaitFor([&] {
        return page.Chart().Buckets().back().label == MonthText(MonthOfDay(history.Today()));
    }));
}
