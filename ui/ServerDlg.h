// The main window: five tabs, the icon buttons and menus, the status bar, the
// notification-area icon, and the start, stop, restart and exit sequences. The server
// controller runs inside the same process on this (the main) thread.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <vector>

#include "config/Options.h"
#include "ui/QueuedWindowSink.h"

class CAddressDetector;
class CEventLoopDriver;
class CFtpServer;
class CGroupsPage;
class CLogFile;
class CLogPage;
class COnlineUsersPage;
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

    // The window's part of the opening sequence: the notification-area icon, the sink
    // handed to the server, the start when "AutoActive" is 1, centring, hiding when
    // "Minimize" is 1, and the program directory in the settings store. Shows the window.
    void Open();
    // Public-address detection for the passive address; none unless set (before Open).
    void SetAddressDetector(CAddressDetector* detector) { m_detector = detector; }

    CQueuedWindowSink& Sink() { return m_sink; }
    QTabWidget& Tabs() { return *m_tabs; }
    COnlineUsersPage& OnlineUsersPage() { return *m_onlinePage; }
    CLogPage& LogPage() { return *m_logPage; }
    COptionsPage& OptionsPage() { return *m_optionsPage; }
    CUsersPage& UsersPage() { return *m_usersPage; }
    CGroupsPage& GroupsPage() { return *m_groupsPage; }
    QString StatusText() const;
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

signals:
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
    void ShowServerState(bool online, const QString& text);
    // One step of a running stop: the sessions left, or the stop's end and what waited
    // for it (a start, the window's end).
    void ContinueStop();
    bool ConfirmExit();
    void HideIntoTray();
    void ApplyEvent(const WindowEvent& event, std::vector<QString>& lines);
    void ShowLogOpenError(const QString& text);

    CFtpServer& m_server;
    OptionValues m_options;
    CQueuedWindowSink m_sink;
    CEventLoopDriver* m_driver;
    QTabWidget* m_tabs = nullptr;
    CLogPage* m_logPage = nullptr;
    COnlineUsersPage* m_onlinePage = nullptr;
    std::unique_ptr<CSettingsAccess> m_settingsAccess;  // the options page's
    COptionsPage* m_optionsPage = nullptr;
    CAddressDetector* m_detector = nullptr;
    CUsersPage* m_usersPage = nullptr;
    CGroupsPage* m_groupsPage = nullptr;
    QLabel* m_statusText = nullptr;
    CTrafficStatus* m_traffic = nullptr;
    CSystemTray* m_tray = nullptr;
    QMenu* m_trayMenu = nullptr;
    QAction* m_startAction = nullptr;
    QAction* m_stopAction = nullptr;
    QAction* m_helpAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QAction* m_exitAction = nullptr;
    QAction* m_showAction = nullptr;
    QTimer m_drainTimer;  // applies queued sink events in batches
    QTimer m_idleTimer;   // moves the online list's idle column on
    QTimer m_stopTimer;   // steps a running stop
    bool m_startFailed = false;
    bool m_exiting = false;
    bool m_startAfterStop = false;
    bool m_closeAfterStop = false;
};
