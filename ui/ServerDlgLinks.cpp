// Which server the window shows: the one inside it, the program directory's running
// service, or another machine's server over TLS; and the switches between them.
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "api/ApiService.h"
#include "api/KnownServers.h"
#include "platform/TlsPinning.h"
#include "server/FtpServer.h"
#include "ui/AccountAccess.h"
#include "ui/AdminConnection.h"
#include "ui/ConnectDlg.h"
#include "ui/FingerprintDlg.h"
#include "ui/GroupsPage.h"
#include "ui/InProcessServerLink.h"
#include "ui/LogPage.h"
#include "ui/MessageBoxes.h"
#include "ui/OnlineUsersPage.h"
#include "ui/OptionsPage.h"
#include "ui/RemoteServerLink.h"
#include "ui/ServerDlg.h"
#include "ui/SettingsAccess.h"
#include "ui/StatisticsPage.h"
#include "ui/TrafficStatus.h"
#include "ui/UsersPage.h"

namespace {

// A service on the control socket answers at once; a stale socket file must not keep the
// window's own server from starting for long.
constexpr std::chrono::milliseconds kLocalProbeTimeout{3000};
constexpr char kTitle[] = "Tarvona FTP Server";

}  // namespace

void CServerDlg::SetOpenChoice(OpenChoice choice, const QString& address) {
    m_openChoice = choice;
    m_openAddress = address;
}

void CServerDlg::OpenChosenServer() {
    if (m_openChoice == OpenChoice::InsideWindow) {
        StartInsideServer();
        return;
    }
    if (m_openChoice == OpenChoice::Connect) {
        // After the window shows: the password is asked for in a dialog over it.
        const QString address = m_openAddress;
        QTimer::singleShot(0, this, [this, address] { ConnectToAddress(address); });
        return;
    }
    QString dir = QString::fromStdString(m_server.ProgramDir());
    if (!dir.endsWith('/')) dir += '/';
    if (!QFileInfo::exists(dir + QString::fromUtf8(kControlSocketName))) {
        StartInsideServer();
        return;
    }
    auto connection = CAdminConnection::Local(dir);
    connection->SetTimeout(kLocalProbeTimeout);
    m_statusText->setText("Looking for the server running on this program directory...");
    ProbeThenAttach(std::move(connection), false, [this](const QString&) {
        m_statusText->setText("Tarvona FTP Server is offline.");
        StartInsideServer();
    });
}

void CServerDlg::StartInsideServer() {
    if (m_options.autoActive == 1) StartServer();
}

void CServerDlg::ProbeThenAttach(std::unique_ptr<CAdminConnection> connection, bool remoteMachine,
                                 std::function<void(const QString& why)> failed) {
    // Owned by the window until the answer decides: a window closed meanwhile takes it.
    CAdminConnection* probing = connection.release();
    probing->setParent(this);
    probing->Get("/api/v1/server", [this, probing, remoteMachine,
                                    failed = std::move(failed)](const AdminReply& reply) {
        if (reply.status == 200) {
            probing->setParent(nullptr);
            probing->SetTimeout(CAdminConnection::kDefaultTimeout);
            AttachTo(std::unique_ptr<CAdminConnection>(probing), remoteMachine);
            return;
        }
        probing->deleteLater();  // it is still delivering this answer
        failed(reply.status == 0 ? reply.error
                                 : QString("%1 (status %2)").arg(reply.error).arg(reply.status));
    });
}

void CServerDlg::AttachWhenAnswering(std::unique_ptr<CAdminConnection> connection,
                                     bool remoteMachine) {
    const QString name = connection->DisplayName();
    ProbeThenAttach(std::move(connection), remoteMachine, [this, name](const QString& why) {
        ShowLater(kTitle, QString("Cannot connect to %1: %2").arg(name, why));
    });
}

void CServerDlg::AttachTo(std::unique_ptr<CAdminConnection> connection, bool remoteMachine) {
    CRemoteServerLink* previous = m_remote.release();
    m_remote = std::make_unique<CRemoteServerLink>(std::move(connection), remoteMachine);
    SwitchTo(m_remote.get());
    if (previous != nullptr) previous->deleteLater();  // it may be delivering an answer
}

void CServerDlg::UseLocalServer() {
    if (m_link == m_inside.get()) return;
    SwitchTo(m_inside.get());
    if (m_remote) m_remote.release()->deleteLater();
}

void CServerDlg::SwitchTo(CServerLink* link) {
    if (m_link != nullptr) {
        m_link->Deactivate();
        disconnect(m_link, nullptr, this, nullptr);
    }
    m_link = link;
    m_onlinePage->SetLink(link);
    m_statisticsPage->SetLink(link);
    m_logPage->ClearAll();
    m_traffic->Reset();
    m_banner->hide();
    ShowCertificate(std::nullopt);  // until the server says
    connect(link, &CServerLink::logLines, this, [this](const QStringList& lines) {
        m_logPage->AppendLines(std::vector<QString>(lines.begin(), lines.end()));
    });
    connect(link, &CServerLink::logCleared, this, [this] { m_logPage->ClearAll(); });
    connect(link, &CServerLink::logOpenFailed, this,
            [this](const QString& text) { ShowLater("Error in CLogFile::Open()", text); });
    connect(link, &CServerLink::stateChanged, this, &CServerDlg::ShowLinkState);
    connect(link, &CServerLink::certificateChanged, this, &CServerDlg::ShowCertificate);
    connect(link, &CServerLink::sessionCountChanged, this,
            [this](qint64 count) { m_traffic->SetSessions(count); });
    // Sent first: the received figure adds the graph's point.
    connect(link, &CServerLink::trafficTotals, this,
            [this](qint64 received, qint64 sent, qint64 when) {
                m_traffic->SetSent(sent, when);
                m_traffic->SetReceived(received, when);
            });
    connect(link, &CServerLink::startFailed, this, &CServerDlg::ShowStartFailure);
    connect(link, &CServerLink::actionFailed, this,
            [this](const QString& what) { ShowLater(kTitle, what); });
    connect(link, &CServerLink::connectionLost, this, [this](const QString& why) {
        m_banner->setText(
            QString("Connection to %1 lost: %2. Reconnecting...").arg(m_link->DisplayName(), why));
        m_banner->show();
    });
    connect(link, &CServerLink::connectionRestored, this, [this] {
        m_banner->hide();
        // What changed on the server meanwhile.
        m_optionsPage->Reload();
        m_usersPage->Refresh();
        m_groupsPage->Refresh();
    });
    const bool inside = link == m_inside.get();
    setWindowTitle(inside ? QString(kTitle) : link->DisplayName() + " - " + kTitle);
    m_serverName->setText(link->DisplayName());
    m_localAction->setEnabled(!inside);
    // Until the server says otherwise; the one inside says so only when it runs.
    ShowServerState(false, "Tarvona FTP Server is offline.");
    if (!inside) m_startAction->setEnabled(false);
    UseEditorsOf(*link);
    link->Activate();
    emit LinkChanged(*link);
}

std::unique_ptr<CSettingsAccess> CServerDlg::InsideSettingsAccess() {
    // The window puts these in force itself: the log saving, the port (Restart), the
    // autostart entry (the page).
    return MakeInProcessSettingsAccess(
        m_server, {&OptionValues::saveLog, &OptionValues::port, &OptionValues::startup});
}

void CServerDlg::UseEditorsOf(CServerLink& link) {
    CAdminConnection* connection = link.Connection();
    std::unique_ptr<CSettingsAccess> settings =
        connection != nullptr ? MakeApiSettingsAccess(*connection) : InsideSettingsAccess();
    m_optionsPage->SetOnRemoteMachine(link.IsRemoteMachine());
    m_optionsPage->SetAccess(*settings);
    m_settingsAccess = std::move(settings);  // the page no longer uses the previous one
    std::shared_ptr<CAccountAccess> accounts =
        connection != nullptr ? MakeApiAccountAccess(*connection) : m_tableAccounts;
    m_usersPage->SetAccess(accounts);
    m_groupsPage->SetAccess(accounts);
}

// "tarvona@HOST:PORT" or "https://HOST:PORT".
void CServerDlg::ConnectToAddress(const QString& address) {
    QString url = address.trimmed();
    if (url.startsWith("tarvona@")) url = "https://" + url.mid(8);
    ServerUrl server;
    std::string error;
    if (!ParseServerUrl(url.toStdString(), server, error)) {
        ShowLater(
            kTitle,
            QString("Cannot connect to \"%1\": %2").arg(address, QString::fromStdString(error)));
        return;
    }
    ShowConnectDialog(QString::fromStdString(server.host), server.port);
}

void CServerDlg::ShowConnectDialog(const QString& host, int port) {
    CConnectDlg dialog(this);
    if (!host.isEmpty()) {
        dialog.AddressEdit().setText(host);
        dialog.PortEdit().setText(QString::number(port));
        dialog.PasswordEdit().setFocus();
    }
    if (dialog.exec() != QDialog::Accepted) return;
    ConnectToServer(dialog.Host(), dialog.Port(), dialog.Password());
}

// SECURITY: the certificate is looked at (nothing sent) before the password goes out: a
// first one is trusted only when the user says so, a changed one never from here.
void CServerDlg::ConnectToServer(const QString& host, int port, const QString& password) {
    const std::string key = ServerKey(ServerUrl{host.toStdString(), port});
    const QString name = QString::fromStdString(key);
    std::string error;
    const std::string pinned = KnownFingerprint(key, error);
    if (!error.empty()) {
        ShowLater(kTitle, QString::fromStdString(error));
        return;
    }
    m_serverName->setText("Connecting to tarvona@" + name + "...");
    CAdminConnection::FetchFingerprint(
        host, port, this,
        [this, host, port, password, key, pinned](const QString& shown, const QString& why) {
            // The dialogs run outside the socket's signal.
            QTimer::singleShot(0, this, [=, this] {
                TrustAndAttach(host, port, password, key, pinned, shown, why);
            });
        });
}

void CServerDlg::TrustAndAttach(const QString& host, int port, const QString& password,
                                const std::string& key, const std::string& pinned,
                                const QString& shown, const QString& why) {
    const QString name = QString::fromStdString(key);
    m_serverName->setText(m_link->DisplayName());
    if (shown.isEmpty()) {
        ShowLater(kTitle, QString("Cannot connect to tarvona@%1: %2").arg(name, why));
        return;
    }
    if (pinned.empty()) {
        CFingerprintDlg prompt(name, shown, this);
        if (prompt.exec() != QDialog::Accepted) return;
        std::string failure;
        if (!RememberFingerprint(key, shown.toStdString(), failure)) {
            ShowLater(kTitle, QString::fromStdString(failure));
            return;
        }
    } else if (CanonicalFingerprint(shown.toStdString()) != pinned) {
        CFingerprintDlg warning(name, QString::fromStdString(pinned), shown,
                                QString::fromStdString(KnownServersFile()), this);
        warning.exec();
        return;
    }
    AttachWhenAnswering(CAdminConnection::Remote(host, port, shown, password), true);
}

void CServerDlg::ShowLater(const QString& caption, const QString& text) {
    // Outside the signal that brought it, so no box runs inside a delivery.
    QTimer::singleShot(0, this, [caption, text] {
        ShowMessageBox(nullptr, {QMessageBox::Critical, caption, text, QMessageBox::Ok});
    });
}
