#include "ui/ServerDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include "config/Autostart.h"
#include "net/AddressDetector.h"
#include "server/AdminOperations.h"
#include "server/FtpServer.h"
#include "server/StartSettings.h"
#include "ui/AboutDlg.h"
#include "ui/EventLoopDriver.h"
#include "ui/GroupsPage.h"
#include "ui/HelpDlg.h"
#include "ui/LogPage.h"
#include "ui/MessageBoxes.h"
#include "ui/OnlineUsersModel.h"
#include "ui/OnlineUsersPage.h"
#include "ui/OptionsPage.h"
#include "ui/Resources.h"
#include "ui/SettingsAccess.h"
#include "ui/SystemTray.h"
#include "ui/TrafficStatus.h"
#include "ui/UsersPage.h"

namespace {
constexpr int kDrainPeriodMs = 50;
constexpr int kHideDelayMs = 200;
constexpr int kStopStepMs = 50;
}  // namespace

CServerDlg::CServerDlg(EventLoop& mainLoop, CFtpServer& server, CLogFile& logFile,
                       const OptionValues& options, QWidget* parent)
    : QMainWindow(parent),
      m_server(server),
      m_options(options),
      m_sink(logFile),
      m_driver(new CEventLoopDriver(mainLoop, this)) {
    EnsureUiResources();
    setWindowTitle("Tarvona FTP Server");
    setWindowIcon(QIcon(":/tarvona.svg"));
    m_sink.SetSaveLog(options.saveLog == 1);
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreatePages();
    CreateStatusBar();
    resize(760, 480);
    connect(&m_drainTimer, &QTimer::timeout, this, &CServerDlg::ApplyPendingEvents);
    m_drainTimer.start(kDrainPeriodMs);
    connect(&m_idleTimer, &QTimer::timeout, this,
            [this] { m_onlinePage->Model().SetNow(m_sink.Now()); });
    m_idleTimer.start(1000);
    connect(&m_stopTimer, &QTimer::timeout, this, &CServerDlg::ContinueStop);
}

CServerDlg::~CServerDlg() {
    m_server.Stop();
    m_server.SetWindowSink(nullptr);
}

void CServerDlg::CreateActions() {
    m_startAction = new QAction(QIcon(":/start.svg"), "Start Server", this);
    m_startAction->setToolTip("Start the server");
    m_stopAction = new QAction(QIcon(":/stop.svg"), "Stop Server", this);
    m_stopAction->setToolTip("Stop the server");
    m_stopAction->setEnabled(false);
    m_helpAction = new QAction(QIcon(":/help.svg"), "Help", this);
    m_helpAction->setToolTip("Tarvona FTP Server Help");
    m_aboutAction = new QAction(QIcon(":/about.svg"), "About...", this);
    m_aboutAction->setToolTip("About Tarvona FTP Server");
    m_exitAction = new QAction("Exit", this);
    m_showAction = new QAction("Show main window", this);
    connect(m_startAction, &QAction::triggered, this, &CServerDlg::StartServer);
    connect(m_stopAction, &QAction::triggered, this, &CServerDlg::StopServer);
    connect(m_helpAction, &QAction::triggered, this, &CServerDlg::ShowHelp);
    connect(m_aboutAction, &QAction::triggered, this, &CServerDlg::ShowAbout);
    connect(m_exitAction, &QAction::triggered, this, &CServerDlg::RequestExit);
    connect(m_showAction, &QAction::triggered, this, &CServerDlg::ShowMainWindow);
}

void CServerDlg::CreateMenus() {
    QMenu* serverMenu = menuBar()->addMenu("&Server");
    serverMenu->addAction(m_startAction);
    serverMenu->addAction(m_stopAction);
    serverMenu->addSeparator();
    serverMenu->addAction(m_exitAction);
    QMenu* helpMenu = menuBar()->addMenu("&Help");
    helpMenu->addAction(m_helpAction);
    helpMenu->addAction(m_aboutAction);
    m_trayMenu = new QMenu(this);
    m_trayMenu->addAction(m_showAction);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_startAction);
    m_trayMenu->addAction(m_stopAction);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_aboutAction);
    m_trayMenu->addAction("Help...", this, &CServerDlg::ShowHelp);
    m_trayMenu->addAction(m_exitAction);
}

void CServerDlg::CreateToolBar() {
    QToolBar* bar = addToolBar("Server");
    bar->setMovable(false);
    bar->setIconSize(QSize(20, 20));
    bar->addAction(m_startAction);
    bar->addAction(m_stopAction);
    bar->addSeparator();
    bar->addAction(m_helpAction);
    bar->addAction(m_aboutAction);
}

void CServerDlg::CreatePages() {
    m_tabs = new QTabWidget(this);
    m_logPage = new CLogPage(m_tabs);
    m_onlinePage = new COnlineUsersPage(m_server, m_tabs);
    m_onlinePage->ShowBansOf(m_server.LoginGuard());
    // The window puts these in force itself: the log saving (below), the port (Restart),
    // the autostart entry (the page).
    m_settingsAccess = MakeInProcessSettingsAccess(
        m_server, {&OptionValues::saveLog, &OptionValues::port, &OptionValues::startup});
    m_optionsPage = new COptionsPage(*m_settingsAccess, m_server.ProgramDir(), m_tabs);
    connect(m_optionsPage, &COptionsPage::RestartRequested, this, &CServerDlg::RestartServer);
    connect(m_optionsPage, &COptionsPage::StopServerRequested, this, &CServerDlg::StopServer);
    connect(m_optionsPage, &COptionsPage::OptionsSaved, this,
            [this] { m_sink.SetSaveLog(m_optionsPage->Values().saveLog == 1); });
    m_tabs->addTab(m_optionsPage, "Options");
    m_tabs->addTab(m_logPage, "Logs");
    std::shared_ptr<CAccountAccess> accounts = MakeTableAccountAccess(
        m_server.ProgramDir(), [this](AccountKind kind, AccountEdit edit, const std::string& name) {
            CAdminOperations(m_server, AdminOrigin::Window).NoteAccountEdit(kind, edit, name);
        });
    m_usersPage = new CUsersPage(
        accounts, [this] { return m_options.defaultDir; }, m_tabs);
    m_groupsPage = new CGroupsPage(accounts, m_tabs);
    m_tabs->addTab(m_usersPage, "Users");
    m_tabs->addTab(m_groupsPage, "Groups");
    m_tabs->addTab(m_onlinePage, "Online users");
    setCentralWidget(m_tabs);
}

void CServerDlg::CreateStatusBar() {
    m_statusText = new QLabel("Tarvona FTP Server is offline.", this);
    m_traffic = new CTrafficStatus(this);
    statusBar()->addWidget(m_statusText, 1);
    statusBar()->addPermanentWidget(m_traffic);
}

QString CServerDlg::StatusText() const { return m_statusText->text(); }

void CServerDlg::Open() {
    m_tray = new CSystemTray(this, m_trayMenu, this);
    (void)m_tray->Create();  // no notification area: the window simply never hides
    // The autostart entry follows "Startup"; a failure is not worth a box, as on the
    // options page.
    (void)ApplyStartupOption(m_options.startup,
                             QCoreApplication::applicationFilePath().toStdString(),
                             DefaultAutostartDir(), nullptr);
    m_server.SetWindowSink(&m_sink);
    if (m_detector != nullptr) {
        if (IsAutoPassiveIp(m_options.passiveIp)) (void)m_detector->StartDetection(m_options.port);
        m_detector->StartRetryTimer();
    }
    if (m_options.autoActive == 1) StartServer();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    if (!m_startFailed && m_options.minimize == 1)
        QTimer::singleShot(kHideDelayMs, this, &CServerDlg::HideIntoTray);
    QSettings("Vondrel Software", "tarvona")
        .setValue("Program/Path", QString::fromStdString(m_server.ProgramDir()));
}

void CServerDlg::ShowServerState(bool online, const QString& text) {
    m_statusText->setText(text);
    m_startAction->setEnabled(!online);
    m_stopAction->setEnabled(online);
}

void CServerDlg::StartServer() {
    if (m_server.IsRunning() || m_server.IsStopping()) return;
    (void)m_optionsPage->PullControls();  // the port is the page's
    m_options.port = m_optionsPage->Values().port;
    ApplyStartSettings(m_server, m_options);
    if (m_server.Start()) {
        ShowServerState(true, "Tarvona FTP Server is online");
        if (m_detector != nullptr) (void)m_detector->StartDetection(m_options.port);
        return;
    }
    m_startFailed = true;
    ShowMessageBox(
        this,
        {QMessageBox::Critical, "Tarvona FTP Server",
         QString("Error starting the FTP Server.This may be due to another service running on "
                 "the port %1,Try changing the port number and then starting the server again.")
             .arg(m_options.port),
         QMessageBox::Ok});
}

void CServerDlg::StopServer() {
    if (m_server.IsStopping()) return;
    m_server.BeginStop();
    ContinueStop();
}

void CServerDlg::ContinueStop() {
    const std::size_t left = m_server.ContinueStop();
    if (left > 0) {
        m_statusText->setText(left == 1 ? QString("Stopping: 1 session left")
                                        : QString("Stopping: %1 sessions left").arg(left));
        m_startAction->setEnabled(false);
        m_stopAction->setEnabled(false);
        if (!m_stopTimer.isActive()) m_stopTimer.start(kStopStepMs);
        return;
    }
    m_stopTimer.stop();
    ShowServerState(false, "Tarvona FTP Server is offline");
    if (m_closeAfterStop) {
        m_closeAfterStop = false;
        close();
        return;
    }
    if (m_startAfterStop) {
        m_startAfterStop = false;
        StartServer();
    }
}

void CServerDlg::RestartServer() {
    m_startAfterStop = true;
    StopServer();
}

void CServerDlg::EndFromOutside() {
    m_exiting = true;
    close();
}

void CServerDlg::ShowHelp() {
    CHelpDlg help(this);
    help.exec();
}

void CServerDlg::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CServerDlg::ShowMainWindow() { CSystemTray::ShowTarget(this); }
