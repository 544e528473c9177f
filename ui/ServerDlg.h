// The main window: five tabs, the icon buttons and menus, the status bar, the
// notification-area icon, and the start, stop, restart and exit sequences. The pages
// show one server through a CServerLink: the server controller inside this process (on
// this, the main thread), or a running server the window attached to (the program
// directory's service, or another machine's over TLS). The window switches between them.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/Options.h"
#include "ui/QueuedWindowSink.h"
#include "ui/ServerLink.h"

class CAccountAccess;
class CAddressDetector;
class CAdminConnection;
class CInProcessServerLink;
class CRemoteServerLink;
class CEventLoopDriver;
class CFtpServer;
class CGroupsPage;
class CLogFile;
class CLogPage;
class COnlineUsersPage;
class CStatisticsPage;
class COptionsPage;
class CSettingsAccess;
class CSystemTray;
class CTrafficStatus;
class CUsersPage;
class EventLoop;
class QAction;
class QLabel;
class QMenu;
class QTabWidget;

class CServerDlg : public QMainWindow {
    Q_OBJECT
public:
    // `mainLoop` is the calling thread's loop, which this window drives from Qt's;
    // `server` has been through the shared start-up steps with `options`; `logFile` is
    // today's log file. All three outlive the window.
    CServerDlg(EventLoop& mainLoop, CFtpServer& server, CLogFile& logFile,
               const OptionValues& options, QWidget* parent = nullptr);
    ~CServerDlg() override;

    // Which server Open shows: the running one on the program directory's control socket
    // when it answers (else the one inside the window), the one inside the window, or the
    // server at a "tarvona@HOST:PORT" or "https://HOST:PORT" address (asking for its
    // password).
    enum class OpenChoice { AttachWhenRunning, InsideWindow, Connect };
    void SetOpenChoice(OpenChoice choice, const QString& address = {});

    // The window's part of the opening sequence: the notification-area icon, the sink
    // handed to the server, the server to show (see SetOpenChoice) and, for the one inside
    // the window, the start when "AutoActive" is 1; centring, hiding when "Minimize" is 1,
    // and the program directory in the settings store. Shows the window.
    void Open();
    // Public-address detection for the passive address; none unless set (before Open).
    void SetAddressDetector(CAddressDetector* detector) { m_detector = detector; }

    CQueuedWindowSink& Sink();
    // The server the pages show.
    CServerLink& Link() { return *m_link; }
    // "Connection to X lost: why. Reconnecting..." while the link's connection is lost.
    QString BannerText() const;
    bool BannerShown() const;
    // Shows the server whose API `connection` reaches once it answers, else says why not.
    void AttachWhenAnswering(std::unique_ptr<CAdminConnection> connection, bool remoteMachine);
    // The TLS listener at HOST:PORT: its certificate's fingerprint is shown and pinned at
    // the first contact; a certificate other than the pinned one is refused with a warning
    // before anything is sent.
    void ConnectToServer(const QString& host, int port, const QString& password);
    QTabWidget& Tabs() { return *m_tabs; }
    COnlineUsersPage& OnlineUsersPage() { return *m_onlinePage; }
    CStatisticsPage& StatisticsPage() { return *m_statisticsPage; }
    CLogPage& LogPage() { return *m_logPage; }
    COptionsPage& OptionsPage() { return *m_optionsPage; }
    CUsersPage& UsersPage() { return *m_usersPage; }
    CGroupsPage& GroupsPage() { return *m_groupsPage; }
    QString StatusText() const;
    // The status bar's certificate warning; empty while none is shown.
    QString CertificateWarning() const;
    bool StartFailed() const { return m_startFailed; }
    QAction& StartAction() { return *m_startAction; }
    QAction& StopAction() { return *m_stopAction; }
    QAction& ExitAction() { return *m_exitAction; }
    QMenu& TrayMenu() { return *m_trayMenu; }
    // Applies every queued sink event now (the window does it every 50 ms).
    void ApplyPendingEvents();

public slots:
    // Start sequence; nothing when the server runs already.
    void StartServer();
    // Stop sequence; it ends every session. The window keeps working while sessions
    // end, shows how many are left, and takes no second stop meanwhile.
    void StopServer();
    // Stop, then start once the stop has ended.
    void RestartServer();
    // Asks "Do you really want to exit?"; Yes stops the server and ends the program.
    void RequestExit() { close(); }
    // SIGTERM or SIGINT: the stop sequence and the end of the program, without asking.
    void EndFromOutside();
    void ShowHelp();
    void ShowAbout();
    void ShowMainWindow();
    // "Connect to server...": the connect dialog, then ConnectToServer.
    void ShowConnectDialog(const QString& host = {}, int port = 0);
    // Back to the server inside the window.
    void UseLocalServer();

signals:
    // The pages show another server now.
    void LinkChanged(CServerLink& link);
    // The window has closed for good; the program ends with status 0.
    void Finished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreatePages();
    void CreateStatusBar();
    void CreateBanner();
    OptionValues StartOptions();
    void OpenChosenServer();
    void ProbeThenAttach(std::unique_ptr<CAdminConnection> connection, bool remoteMachine,
                         std::function<void(const QString& why)> failed);
    void ShowServerState(bool online, const QString& text);
    // The state of the shown server: the status line and the actions, and a start that
    // waited for a stop's end.
    void ShowLinkState(const ServerLinkState& state);
    // The end of a stop of the server inside the window, which the window's end may wait for.
    void InsideServerStateChanged(const ServerLinkState& state);
    void ShowStartFailure(const QString& why, int port);
    // The status bar's warning while it expires soon, and the options page's details.
    void ShowCertificate(const LinkCertificate& certificate);
    void ShowLater(const QString& caption, const QString& text);
    void SwitchTo(CServerLink* link);
    // The options page and the account pages read and save on the server `link` shows.
    void UseEditorsOf(CServerLink& link);
    std::unique_ptr<CSettingsAccess> InsideSettingsAccess();
    void AttachTo(std::unique_ptr<CAdminConnection> connection, bool remoteMachine);
    void ConnectToAddress(const QString& address);
    // The fingerprint `shown` (empty: `why`) against the one `pinned` for `key` (empty:
    // first contact), then the connection.
    void TrustAndAttach(const QString& host, int port, const QString& password,
                        const std::string& key, const std::string& pinned, const QString& shown,
                        const QString& why);
    void StartInsideServer();
    bool ConfirmExit();
    void HideIntoTray();

    CFtpServer& m_server;
    OptionValues m_options;
    std::unique_ptr<CInProcessServerLink> m_inside;
    std::unique_ptr<CRemoteServerLink> m_remote;
    CServerLink* m_link = nullptr;
    OpenChoice m_openChoice = OpenChoice::AttachWhenRunning;
    QString m_openAddress;
    CEventLoopDriver* m_driver;
    QTabWidget* m_tabs = nullptr;
    CLogPage* m_logPage = nullptr;
    COnlineUsersPage* m_onlinePage = nullptr;
    CStatisticsPage* m_statisticsPage = nullptr;
    std::unique_ptr<CSettingsAccess> m_settingsAccess;  // the options page's
    std::shared_ptr<CAccountAccess> m_tableAccounts;    // the program directory's tables
    COptionsPage* m_optionsPage = nullptr;
    CAddressDetector* m_detector = nullptr;
    CUsersPage* m_usersPage = nullptr;
    CGroupsPage* m_groupsPage = nullptr;
    QLabel* m_statusText = nullptr;
    QLabel* m_serverName = nullptr;
    QLabel* m_certificateWarning = nullptr;
    QLabel* m_banner = nullptr;
    CTrafficStatus* m_traffic = nullptr;
    CSystemTray* m_tray = nullptr;
    QMenu* m_trayMenu = nullptr;
    QAction* m_startAction = nullptr;
    QAction* m_stopAction = nullptr;
    QAction* m_helpAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QAction* m_exitAction = nullptr;
    QAction* m_showAction = nullptr;
    QAction* m_connectAction = nullptr;
    QAction* m_localAction = nullptr;
    QTimer m_idleTimer;  // moves the online list's idle column on
    bool m_startFailed = false;
    bool m_exiting = false;
    bool m_startAfterStop = false;
    bool m_closeAfterStop = false;
};
