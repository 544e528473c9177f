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
#include "ui/InProcessServerLink.h"
#include "ui/LogPage.h"
#include "ui/MessageBoxes.h"
#include "ui/OnlineUsersModel.h"
#include "ui/OnlineUsersPage.h"
#include "ui/OptionsPage.h"
#include "ui/RemoteServerLink.h"
#include "ui/Resources.h"
#include "ui/SettingsAccess.h"
#include "ui/StatisticsPage.h"
#include "ui/SystemTray.h"
#include "ui/TrafficStatus.h"
#include "ui/UsersPage.h"

namespace {
constexpr int kHideDelayMs = 200;
}  // namespace

CServerDlg::CServerDlg(EventLoop& mainLoop, CFtpServer& server, CLogFile& logFile,
                       const OptionValues& options, QWidget* parent)
    : QMainWindow(parent),
      m_server(server),
      m_options(options),
      m_inside(std::make_unique<CInProcessServerLink>(server, logFile,
                                                      [this] { return StartOptions(); })),
      m_driver(new CEventLoopDriver(mainLoop, this)) {
    EnsureUiResources();
    setWindowTitle("Tarvona FTP Server");
    setWindowIcon(QIcon(":/tarvona.svg"));
    m_inside->Sink().SetSaveLog(options.saveLog == 1);
    // Not the window's own connection: switching servers keeps it.
    connect(m_inside.get(), &CServerLink::stateChanged, m_inside.get(),
            [this](const ServerLinkState& state) { InsideServerStateChanged(state); });
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreatePages();
    CreateStatusBar();
    CreateBanner();
    resize(760, 480);
    connect(&m_idleTimer, &QTimer::timeout, this,
            [this] { m_onlinePage->Model().SetNow(m_link->Now()); });
    m_idleTimer.start(1000);
    SwitchTo(m_inside.get());
}

// The pages let go of the links before they go; the server inside stops with its link.
CServerDlg::~CServerDlg() {
    m_onlinePage->SetLink(nullptr);
    m_remote.reset();
    m_inside.reset();
}

CQueuedWindowSink& CServerDlg::Sink() { return m_inside->Sink(); }

void CServerDlg::ApplyPendingEvents() { m_inside->ApplyPendingEvents(); }

OptionValues CServerDlg::StartOptions() {
    (void)m_optionsPage->PullControls();  // the port is the page's
    m_options.port = m_optionsPage->Values().port;
    return m_options;
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
    m_connectAction = new QAction("Connect to server...", this);
    m_localAction = new QAction("Use the local server", this);
    connect(m_startAction, &QAction::triggered, this, &CServerDlg::StartServer);
    connect(m_stopAction, &QAction::triggered, this, &CServerDlg::StopServer);
    connect(m_helpAction, &QAction::triggered, this, &CServerDlg::ShowHelp);
    connect(m_aboutAction, &QAction::triggered, this, &CServerDlg::ShowAbout);
    connect(m_exitAction, &QAction::triggered, this, &CServerDlg::RequestExit);
    connect(m_showAction, &QAction::triggered, this, &CServerDlg::ShowMainWindow);
    connect(m_connectAction, &QAction::triggered, this, [this] { ShowConnectDialog(); });
    connect(m_localAction, &QAction::triggered, this, &CServerDlg::UseLocalServer);
}

void CServerDlg::CreateMenus() {
    QMenu* serverMenu = menuBar()->addMenu("&Server");
    serverMenu->addAction(m_startAction);
    serverMenu->addAction(m_stopAction);
    serverMenu->addSeparator();
    serverMenu->addAction(m_connectAction);
    serverMenu->addAction(m_localAction);
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
    m_onlinePage = new COnlineUsersPage(m_tabs);
    m_settingsAccess = InsideSettingsAccess();
    m_optionsPage = new COptionsPage(*m_settingsAccess, m_server.ProgramDir(), m_tabs);
    connect(m_optionsPage, &COptionsPage::RestartRequested, this, &CServerDlg::RestartServer);
    connect(m_optionsPage, &COptionsPage::StopServerRequested, this, &CServerDlg::StopServer);
    connect(m_optionsPage, &COptionsPage::OptionsSaved, this,
            [this] { Sink().SetSaveLog(m_optionsPage->Values().saveLog == 1); });
    m_tabs->addTab(m_optionsPage, "Options");
    m_tabs->addTab(m_logPage, "Logs");
    m_tableAccounts = MakeTableAccountAccess(
        m_server.ProgramDir(), [this](AccountKind kind, AccountEdit edit, const std::string& name) {
            CAdminOperations(m_server, AdminOrigin::Window).NoteAccountEdit(kind, edit, name);
        });
    m_usersPage = new CUsersPage(
        m_tableAccounts, [this] { return m_options.defaultDir; }, m_tabs);
    m_groupsPage = new CGroupsPage(m_tableAccounts, m_tabs);
    m_tabs->addTab(m_usersPage, "Users");
    m_tabs->addTab(m_groupsPage, "Groups");
    m_tabs->addTab(m_onlinePage, "Online users");
    m_statisticsPage = new CStatisticsPage(m_tabs);
    m_tabs->addTab(m_statisticsPage, "Statistics");
    setCentralWidget(m_tabs);
}

void CServerDlg::CreateStatusBar() {
    m_statusText = new QLabel("Tarvona FTP Server is offline.", this);
    m_serverName = new QLabel(this);
    m_serverName->setTextFormat(Qt::PlainText);  // a name the user typed
    m_traffic = new CTrafficStatus(this);
    m_certificateWarning = new QLabel(this);
    m_certificateWarning->setTextFormat(Qt::PlainText);
    m_certificateWarning->setStyleSheet("QLabel { background: #fff3c4; color: #5c4400; }");
    m_certificateWarning->setMargin(2);
    m_certificateWarning->setVisible(false);
    // The warning goes under the state: beside it, with the server's name and the
    // traffic, it would be cut at the window's default width.
    auto* state = new QWidget(this);
    auto* lines = new QVBoxLayout(state);
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(0);
    lines->addWidget(m_statusText);
    lines->addWidget(m_certificateWarning, 0, Qt::AlignLeft);
    statusBar()->addWidget(state, 1);
    statusBar()->addPermanentWidget(m_serverName);
    statusBar()->addPermanentWidget(m_traffic);
}

// A strip above the pages while the shown server cannot be reached.
void CServerDlg::CreateBanner() {
    m_banner = new QLabel(this);
    // SECURITY: the reason may be a remote server's text: never rich text.
    m_banner->setTextFormat(Qt::PlainText);
    m_banner->setWordWrap(true);
    m_banner->setMargin(6);
    m_banner->setStyleSheet("QLabel { background: #fff3c4; color: #5c4400; }");
    m_banner->setVisible(false);
    auto* holder = new QWidget(this);
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_banner);
    layout->addWidget(takeCentralWidget());
    setCentralWidget(holder);
}

QString CServerDlg::BannerText() const { return m_banner->text(); }

bool CServerDlg::BannerShown() const { return !m_banner->isHidden(); }

QString CServerDlg::StatusText() const { return m_statusText->text(); }

QString CServerDlg::CertificateWarning() const {
    return m_certificateWarning->isHidden() ? QString() : m_certificateWarning->text();
}

void CServerDlg::ShowCertificate(const LinkCertificate& certificate) {
    const bool warn = certificate && certificate->expiresSoon;
    // The date is in the tool tip and on the options page's TLS tab.
    const QString phrase =
        warn ? QString::fromStdString("TLS certificate " + CertificateExpiryPhrase(*certificate))
             : QString();
    m_certificateWarning->setText(phrase.section(" (", 0, 0));
    m_certificateWarning->setToolTip(phrase);
    m_certificateWarning->setVisible(warn);
    m_optionsPage->ShowCertificate(certificate);
}

void CServerDlg::Open() {
    m_tray = new CSystemTray(this, m_trayMenu, this);
    (void)m_tray->Create();  // no notification area: the window simply never hides
    // The autostart entry follows "Startup"; a failure is not worth a box, as on the
    // options page.
    (void)ApplyStartupOption(m_options.startup,
                             QCoreApplication::applicationFilePath().toStdString(),
                             DefaultAutostartDir(), nullptr);
    m_inside->ConnectSink();
    if (m_detector != nullptr) {
        if (IsAutoPassiveIp(m_options.passiveIp)) (void)m_detector->StartDetection(m_options.port);
        m_detector->StartRetryTimer();
    }
    OpenChosenServer();
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
    if (m_link->IsStopping()) return;
    m_link->Start();
    if (m_link == m_inside.get() && m_server.IsRunning() && m_detector != nullptr)
        (void)m_detector->StartDetection(m_options.port);
}

void CServerDlg::ShowStartFailure(const QString& why, int port) {
    m_startFailed = true;
    const QString text =
        m_link == m_inside.get()
            ? QString(
                  "Error starting the FTP Server.This may be due to another service running "
                  "on the port %1,Try changing the port number and then starting the server "
                  "again.")
                  .arg(port)
            : QString("%1 could not start listening: %2").arg(m_link->DisplayName(), why);
    ShowMessageBox(this, {QMessageBox::Critical, "Tarvona FTP Server", text, QMessageBox::Ok});
}

void CServerDlg::StopServer() { m_link->Stop(); }

void CServerDlg::ShowLinkState(const ServerLinkState& state) {
    switch (state.phase) {
        case ServerLinkState::Phase::Unknown:
            return;
        case ServerLinkState::Phase::Online:
            ShowServerState(true, "Tarvona FTP Server is online");
            return;
        case ServerLinkState::Phase::Stopping:
            m_statusText->setText(
                state.sessionsLeft == 1
                    ? QString("Stopping: 1 session left")
                    : QString("Stopping: %1 sessions left").arg(state.sessionsLeft));
            m_startAction->setEnabled(false);
            m_stopAction->setEnabled(false);
            return;
        case ServerLinkState::Phase::Offline:
            ShowServerState(false, "Tarvona FTP Server is offline");
            if (m_startAfterStop && !m_closeAfterStop) {
                m_startAfterStop = false;
                StartServer();
            }
            return;
    }
}

void CServerDlg::InsideServerStateChanged(const ServerLinkState& state) {
    if (state.phase != ServerLinkState::Phase::Offline || !m_closeAfterStop) return;
    m_closeAfterStop = false;
    QTimer::singleShot(0, this, &QWidget::close);
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
