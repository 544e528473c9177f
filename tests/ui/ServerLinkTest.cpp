// The real window attached to a separate tarvona-server process: over the program
// directory's control socket at start (the window's own server stays down), and over
// TLS with the certificate pinned at the first contact and a changed one refused. The
// server's certificate runs out in 10 days: the server, its API and the window warn.
#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "accounts/PasswordHash.h"
#include "api/KnownServers.h"
#include "platform/TlsPinning.h"
#include "server/FtpServer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RawFtpClient.h"
#include "tests/support/TestAccounts.h"
#include "tests/support/TestCertificates.h"
#include "tests/ui/ModalDriver.h"
#include "tests/ui/ServerProcess.h"
#include "tests/ui/WindowFixture.h"
#include "ui/FingerprintDlg.h"
#include "ui/HistoryChart.h"
#include "ui/LogModel.h"
#include "ui/LogPage.h"
#include "ui/OnlineUsersModel.h"
#include "ui/OnlineUsersPage.h"
#include "ui/OptionsPage.h"
#include "ui/ServerDlg.h"
#include "ui/ServerLink.h"
#include "ui/StatisticsPage.h"
#include "ui/TlsOptionsTab.h"
#include "ui/TopUsersModel.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kPassword = "s3cret admin";
constexpr const char* kSignIn = "admin (administration API)";

bool PageHasLine(CServerDlg& window, const QString& text) {
    CLogModel& log = window.LogPage().Model();
    for (int row = 0; row < log.rowCount(); ++row)
        if (log.Line(row).contains(text)) return true;
    return false;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// With TARVONA_SHOTS set to a folder, the attached window is written there to be looked at.
void SaveShot(QWidget& window, const char* name) {
    const QByteArray folder = qgetenv("TARVONA_SHOTS");
    if (!folder.isEmpty()) window.grab().save(QString::fromLocal8Bit(folder) + "/" + name);
}

}  // namespace

class ServerLinkTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<WindowFixture> m_fixture;
    std::unique_ptr<ChildProcess> m_server;
    std::string m_dir;
    std::uint16_t m_ftpPort = 0;
    std::uint16_t m_adminPort = 0;
    QString m_pin;

    bool StartServer() {
        m_server = std::make_unique<ChildProcess>();
        const std::string marker = "SHA-256 fingerprint ";
        if (!m_server->Start({TARVONA_SERVER_BINARY, "--dir", m_dir, "--listen", "127.0.0.1",
                              "--port", std::to_string(m_ftpPort)}) ||
            !m_server->WaitForOutput("Server is running on port", 20s) ||
            !m_server->WaitForOutput(marker, 20s))
            return false;
        const std::string& output = m_server->Output();
        m_pin = QString::fromStdString(output.substr(output.rfind(marker) + marker.size(), 95));
        return true;
    }

    CServerDlg& Window() { return m_fixture->Window(); }
    COnlineUsersModel& Online() { return Window().OnlineUsersPage().Model(); }

    // A logged-in FTP session and how long its row took to show (ms; -1: never).
    qint64 LogInAndWaitForTheRow(RawFtpClient& client) {
        const int before = Online().rowCount();
        QElapsedTimer waited;
        waited.start();
        if (!client.Connect(m_ftpPort) || !client.LogIn("alice", "secret")) return -1;
        if (!m_fixture->WaitFor([&] { return Online().rowCount() > before; }, 10s)) return -1;
        return waited.elapsed();
    }

private slots:
    void initTestCase() {
        m_ftpPort = FindFreePort();
        do m_adminPort = FindFreePort();
        while (m_adminPort == m_ftpPort);
        const std::string options =
            "AutoActive=1\n[Security]\nFailDelay=0\n[Admin]\nListen=127.0.0.1:" +
            std::to_string(m_adminPort) + "\nPasswordHash=" + HashPassword(kPassword) +
            "\n[TLS]\nCertificateFile=short-cert.pem\nKeyFile=short-key.pem\n";
        m_fixture = std::make_unique<WindowFixture>(options, [this](WindowFixture& fixture) {
            m_dir = fixture.Dir().ProgramDir();
            QVERIFY(MakeTestCertificate(m_dir + "short-cert.pem", m_dir + "short-key.pem", 10));
            QVERIFY2(StartServer(), m_server->Output().c_str());
        });
        QVERIFY(m_fixture->WaitFor([&] { return Window().Link().Connection() != nullptr; }));
    }

    void cleanup() { CancelPendingSteps(); }

    void attachesAtStartAndKicksFromTheWindow() {
        QVERIFY(!m_fixture->Server().IsRunning());  // AutoActive=1, yet the service answered
        QCOMPARE(Window().Link().DisplayName(), QString("local service"));
        QVERIFY(Window().windowTitle().contains("local service"));
        QVERIFY(m_fixture->WaitFor(
            [&] { return Window().StatusText() == "Tarvona FTP Server is online"; }));
        RawFtpClient client;
        const qint64 shownAfter = LogInAndWaitForTheRow(client);
        QVERIFY(shownAfter >= 0);
        qInfo("session row shown %lld ms after the connect", shownAfter);
        QCOMPARE(Online().data(Online().index(0, COnlineUsersModel::User), Qt::DisplayRole),
                 QVariant("alice"));
        QVERIFY(m_fixture->WaitFor([&] { return PageHasLine(Window(), "alice"); }));
        Window().OnlineUsersPage().View().selectRow(0);
        Window().OnlineUsersPage().KickSelected();
        QVERIFY(client.WaitClosed(10s));
        QVERIFY(m_fixture->WaitFor([&] { return Online().rowCount() == 0; }));
        QVERIFY(m_fixture->WaitFor(
            [&] { return PageHasLine(Window(), "kicked by the administrator (control socket)"); }));
        Window().Tabs().setCurrentWidget(&Window().LogPage());
        SaveShot(Window(), "attached-local.png");
    }

    // The Statistics page asks the attached server: a refused login of a name no account
    // has shows as the "(unknown)" row.
    void showsTheAttachedServersHistory() {
        RawFtpClient client;
        QVERIFY(client.Connect(m_ftpPort));
        QCOMPARE(client.Reply(), std::string(kGreeting));
        QCOMPARE(client.Ask("USER no-such-user"), std::string(kNeedPassword));
        QCOMPARE(client.Ask("PASS wrong"), std::string("530 username or password incorrect."));
        CStatisticsPage& page = Window().StatisticsPage();
        Window().Tabs().setCurrentWidget(&page);
        const auto unknownShown = [&] {
            const CTopUsersModel& model = page.Model();
            for (const HistoryUserTotal& user : model.Users())
                if (user.user == kUnknownUserShown && user.counts.failedLogins >= 1) return true;
            return false;
        };
        QVERIFY(m_fixture->WaitFor(unknownShown, 10s));
        QCOMPARE(page.Chart().Buckets().size(), std::size_t{30});
        SaveShot(Window(), "attached-statistics.png");
    }

    void warnsOfTheCertificateThatExpiresSoon() {
        QVERIFY(m_server->WaitForOutput("TLS certificate expires in ", 10s));
        const std::string& output = m_server->Output();
        const std::size_t at = output.find("TLS certificate expires in ");
        const std::string line = output.substr(at, output.find('\n', at) - at);
        QVERIFY2(line.find("; replace it or let ACME renew it.") != std::string::npos,
                 line.c_str());
        const QJsonObject certificate =
            WaitForAnswer(*Window().Link().Connection(), "GET", "/api/v1/server")
                .json.object()
                .value("certificate")
                .toObject();
        const int daysLeft = certificate.value("daysLeft").toInt(-1);
        QVERIFY2(daysLeft == 9 || daysLeft == 10, qPrintable(QString::number(daysLeft)));
        QVERIFY(certificate.value("expiresSoon").toBool());
        QCOMPARE(certificate.value("fingerprint").toString(), m_pin);
        const QDateTime notAfter =
            QDateTime::fromString(certificate.value("notAfter").toString(), Qt::ISODate);
        QVERIFY(certificate.value("notAfter").toString().endsWith('Z'));
        QVERIFY(qAbs(notAfter.toSecsSinceEpoch() - QDateTime::currentSecsSinceEpoch() -
                     10 * 86400) < 120);
        // Printed as the server counted it.
        const QString expected = QString("TLS certificate expires in %1 days").arg(daysLeft);
        QVERIFY(m_fixture->WaitFor([&] { return Window().CertificateWarning() == expected; }));
        CTlsOptionsTab& tls = Window().OptionsPage().TlsTab();
        QCOMPARE(tls.Fingerprint(), m_pin);
        QVERIFY2(tls.ValidUntilEdit().text().endsWith(QString("(%1 days left)").arg(daysLeft)),
                 qPrintable(tls.ValidUntilEdit().text()));
        Window().Tabs().setCurrentWidget(&Window().OptionsPage());
        Window().OptionsPage().SectionTabs().setCurrentIndex(1);
        QTest::qWait(20);  // the scroll area lays the tab out
        SaveShot(Window(), "attached-certificate.png");
        Window().OptionsPage().SectionTabs().setCurrentIndex(0);
    }

    void showsTheLostConnectionAndReconnects() {
        int status = -1;
        QVERIFY(m_server->Terminate() && m_server->WaitForExit(20s, status));
        QVERIFY(m_fixture->WaitFor([&] { return Window().BannerShown(); }, 15s));
        QVERIFY2(Window().BannerText().startsWith("Connection to local service lost: "),
                 qPrintable(Window().BannerText()));
        SaveShot(Window(), "attached-lost.png");
        QVERIFY2(StartServer(), m_server->Output().c_str());
        QVERIFY(m_fixture->WaitFor([&] { return !Window().BannerShown(); }, 20s));
        RawFtpClient client;
        QVERIFY(LogInAndWaitForTheRow(client) >= 0);
    }

    void pinsTheFirstCertificateAndRefusesAChangedOne() {
        const std::string key = "127.0.0.1:" + std::to_string(m_adminPort);
        const QString name = QString::fromStdString("tarvona@" + key);
        const auto trusted = WhenShown<CFingerprintDlg>([](CFingerprintDlg& prompt) {
            QVERIFY(!prompt.IsChangeWarning());
            prompt.accept();
        });
        Window().ConnectToServer("127.0.0.1", m_adminPort, kPassword);
        QVERIFY(m_fixture->WaitFor([&] { return Window().Link().DisplayName() == name; }));
        QVERIFY(trusted->ran && Window().windowTitle().contains(name));
        QVERIFY(Window().Link().IsRemoteMachine());
        std::string error;
        QCOMPARE(KnownFingerprint(key, error), CanonicalFingerprint(m_pin.toStdString()));
        RawFtpClient client;
        QVERIFY(LogInAndWaitForTheRow(client) >= 0);
        // The options page follows the server shown: it saves through the API, and the
        // service dialog belongs to this machine.
        COptionsPage& options = Window().OptionsPage();
        QVERIFY(options.ServiceButton().isHidden());
        Window().Tabs().setCurrentWidget(&options);
        QVERIFY(m_fixture->WaitFor([&] { return options.isEnabled(); }));
        options.MinPortEdit().setText("40000");
        QSignalSpy saved(&options, &COptionsPage::OptionsSaved);
        options.SaveOptions();
        QVERIFY(m_fixture->WaitFor([&] { return saved.count() == 1; }));
        QVERIFY(m_server->WaitForOutput(
            "Option MinPort set to 40000 by the administrator (network).", 10s));
        SaveShot(Window(), "attached-remote.png");

        Window().UseLocalServer();
        QVERIFY(Window().Link().Connection() == nullptr && !m_fixture->Server().IsRunning());
        QVERIFY(!options.ServiceButton().isHidden());
        const std::string otherPin = (QString("AB:").repeated(31) + "AB").toStdString();
        QVERIFY2(RememberFingerprint(key, otherPin, error), error.c_str());
        const std::size_t signIns = Count(m_server->Output(), kSignIn);
        const auto warned = WhenShown<CFingerprintDlg>([](CFingerprintDlg& warning) {
            QVERIFY(warning.IsChangeWarning());
            warning.reject();
        });
        Window().ConnectToServer("127.0.0.1", m_adminPort, kPassword);
        QVERIFY(m_fixture->WaitFor([&] { return warned->ran; }));
        QTest::qWait(500);
        QVERIFY(Window().Link().Connection() == nullptr);
        QCOMPARE(Count(m_server->Output(), kSignIn), signIns);
    }

    void cleanupTestCase() { m_fixture.reset(); }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;  // the pins must not touch the real home
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    ServerLinkTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ServerLinkTest.moc"
