// The options page and the IP filter dialog on a tarvona-server process, through its
// control socket: what they save is in force, in the server's files and in its API's
// answers; the keys that wait for the next start are named; a stale save is refused.
#include <QApplication>
#include <QButtonGroup>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

#include "config/Options.h"
#include "tests/support/RawFtpClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestAccounts.h"
#include "tests/ui/ServerProcess.h"
#include "ui/AcmeOptionsTab.h"
#include "ui/AdminConnection.h"
#include "ui/IpFilterDlg.h"
#include "ui/MessageBoxes.h"
#include "ui/OptionsPage.h"
#include "ui/SecurityOptionsTab.h"
#include "ui/SettingsAccess.h"
#include "ui/TlsOptionsTab.h"

using namespace std::chrono_literals;

namespace {

void Retype(QLineEdit& edit, const QString& text) {
    edit.selectAll();
    QTest::keyClicks(&edit, text);
    QTest::keyClick(&edit, Qt::Key_Return);
}

// The port of a "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)." reply; 0 for another.
int PassivePort(const std::string& reply) {
    const auto open = reply.find('('), close = reply.find(')');
    if (reply.rfind("227", 0) != 0 || open == std::string::npos || close == std::string::npos)
        return 0;
    const QStringList parts =
        QString::fromStdString(reply.substr(open + 1, close - open - 1)).split(',');
    return parts.size() == 6 ? parts[4].toInt() * 256 + parts[5].toInt() : 0;
}

}  // namespace

class ApiSettingsAccessTest : public QObject {
    Q_OBJECT
private:
    TempDir m_dir;
    ServerProcess m_server;
    std::unique_ptr<CAdminConnection> m_connection;
    std::unique_ptr<CSettingsAccess> m_settings;
    QStringList m_boxes;
    QMessageBox::StandardButton m_answer = QMessageBox::Ok;

    std::string ProgramDir() { return m_dir.ProgramDir(); }
    int StoredInt(IntOption option) { return COptions(ProgramDir()).ReadInt(option); }

    // The page, once it shows what the server holds.
    std::unique_ptr<COptionsPage> OpenPage() {
        auto page = std::make_unique<COptionsPage>(*m_settings, ProgramDir());
        page->SetOnRemoteMachine(true);
        return page;
    }

    QJsonObject ServedOptions() {
        return WaitForAnswer(*m_connection, "GET", "/api/v1/options")
            .json.object()
            .value("options")
            .toObject();
    }

private slots:
    void initTestCase() {
        QVERIFY(SaveAccount(ProgramDir(), FullAccessUser("alice", "secret", m_dir.Path())));
        WriteFile(m_dir.Path("option.ini"), "[Server]\nPassiveIP=Auto\n[Security]\nFailDelay=0\n");
        QVERIFY2(m_server.Start(TARVONA_SERVER_BINARY, m_dir.ProgramDir()),
                 m_server.process.Output().c_str());
        m_connection = ServerProcess::Connect(m_dir.ProgramDir());
        m_settings = MakeApiSettingsAccess(*m_connection);
        SetMessageBoxHook([this](const MessageBoxRequest& box) {
            m_boxes << box.text;
            return m_answer;
        });
    }

    void cleanupTestCase() { SetMessageBoxHook({}); }

    void livePassiveRangeAndNextStartPortAreSavedAndNamed() {
        const auto page = OpenPage();
        QTRY_VERIFY_WITH_TIMEOUT(page->isEnabled(), 10000);
        QVERIFY(page->ServiceButton().isHidden());
        Retype(page->MaxPortEdit(), "40100");
        Retype(page->MinPortEdit(), "40000");
        QTRY_COMPARE_WITH_TIMEOUT(StoredInt(&OptionValues::minPort), 40000, 10000);
        QCOMPARE(ServedOptions().value("MinPort").toInt(), 40000);
        QCOMPARE(ServedOptions().value("MaxPort").toInt(), 40100);
        QVERIFY2(page->NextStartNote().text().isEmpty(), qPrintable(page->NextStartNote().text()));
        RawFtpClient client;  // in force without a restart
        QVERIFY(client.Connect(m_server.ftpPort) && client.LogIn("alice", "secret"));
        const int passive = PassivePort(client.Ask("PASV"));
        QVERIFY2(passive >= 40000 && passive <= 40100, qPrintable(QString::number(passive)));

        QSignalSpy restart(page.get(), &COptionsPage::RestartRequested);
        Retype(page->PortEdit(), "2121");
        QTest::mouseClick(&page->RestartButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(restart.count(), 1, 10000);
        QCOMPARE(StoredInt(&OptionValues::port), 2121);
        QVERIFY2(page->NextStartNote().text().contains("next start: Port"),
                 qPrintable(page->NextStartNote().text()));
        QVERIFY(m_boxes.isEmpty());
    }

    void ipFilterOkIsInTheServersFilesOrRefusedWithTheDialogOpen() {
        CIpFilterDlg dialog(*m_settings);
        QTRY_VERIFY_WITH_TIMEOUT(dialog.OkButton().isEnabled(), 10000);
        std::string answer = "10.1.2.3";
        dialog.SetAddressAsker([&](const std::string&) { return std::optional(answer); });
        dialog.ModeButtons().button(2)->click();
        dialog.AddEntry();
        dialog.ModeButtons().button(1)->click();
        answer = "not-an-address";  // past the address dialog, as another client could send
        dialog.AddEntry();
        dialog.accept();
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes.size(), 1, 10000);
        QVERIFY2(m_boxes[0].contains("not an IP list entry: not-an-address"),
                 qPrintable(m_boxes[0]));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(StoredInt(&OptionValues::filterMode), 0);

        dialog.List().setCurrentIndex(dialog.List().model()->index(0, 0));
        dialog.RemoveEntry();
        answer = "192.168.*.*";
        dialog.AddEntry();
        dialog.accept();
        QTRY_COMPARE_WITH_TIMEOUT(dialog.result(), int(QDialog::Accepted), 10000);
        QCOMPARE(ReadFile(m_dir.Path("rejectip.txt")), std::string("192.168.*.*"));
        QCOMPARE(ReadFile(m_dir.Path("acceptip.txt")), std::string("10.1.2.3"));
        QCOMPARE(StoredInt(&OptionValues::filterMode), 1);
        m_boxes.clear();
    }

    // Another writer changed MinPort between the page's reading and its save: refused,
    // the edit kept. A change of another key (the filter dialog's mode just now, the
    // maximum users here) does not make the edit stale.
    void aStaleSaveIsRefusedAndTheEditKept() {
        const auto page = OpenPage();
        QTRY_VERIFY_WITH_TIMEOUT(page->isEnabled(), 10000);
        COptions other(ProgramDir());
        QVERIFY(other.WriteInt(&OptionValues::minPort, 40050));
        m_answer = QMessageBox::No;
        Retype(page->MinPortEdit(), "40070");
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes.size(), 1, 10000);
        QVERIFY2(m_boxes[0].contains(kChangedBySomeoneElse), qPrintable(m_boxes[0]));
        QCOMPARE(page->MinPortEdit().text(), QString("40070"));
        QCOMPARE(StoredInt(&OptionValues::minPort), 40050);

        m_answer = QMessageBox::Yes;  // reload
        Retype(page->MinPortEdit(), "40071");
        QTRY_COMPARE_WITH_TIMEOUT(page->MinPortEdit().text(), QString("40050"), 10000);
        QVERIFY(other.WriteInt(&OptionValues::maxUsers, 7));
        m_boxes.clear();
        Retype(page->MinPortEdit(), "40070");
        QTRY_VERIFY2_WITH_TIMEOUT(StoredInt(&OptionValues::minPort) == 40070,
                                  qPrintable(m_boxes.join('|')), 10000);
        QCOMPARE(StoredInt(&OptionValues::maxUsers), 7);
        QVERIFY(m_boxes.isEmpty());
    }

    // The TLS, Security and ACME tabs through the API: saved, named when they wait for the
    // next start, shown again by a new page; a refused value saves nothing.
    void sectionKeysRoundTripAndARefusalSavesNothing() {
        auto page = OpenPage();
        QTRY_VERIFY_WITH_TIMEOUT(page->isEnabled(), 10000);
        for (QPushButton* button : page->findChildren<QPushButton*>())
            QVERIFY(button->text() != "Browse..." || button->isHidden());  // another machine's
        page->TlsTab().ImplicitPortEdit().setText("990");
        page->SecurityTab().MaxPerUserEdit().setText("2");
        page->AcmeTab().DomainsEdit().setText("ftp.example.org");
        page->AcmeTab().DirectoryEdit().setText("https://ca.example/dir");
        Retype(page->TlsTab().CertificateFileEdit(), "other-cert.pem");
        QTRY_COMPARE_WITH_TIMEOUT(ServedOptions().value("ImplicitPort").toInt(), 990, 10000);
        const QJsonObject served = ServedOptions();
        QCOMPARE(served.value("CertificateFile").toString(), QString("other-cert.pem"));
        QCOMPARE(served.value("MaxPerUser").toInt(), 2);
        QCOMPARE(served.value("Domains").toString(), QString("ftp.example.org"));
        QCOMPARE(served.value("Directory").toString(), QString("https://ca.example/dir"));
        QTRY_VERIFY_WITH_TIMEOUT(page->NextStartNote().text().contains("Implicit TLS port"), 10000);
        QVERIFY2(page->NextStartNote().text().contains("ACME domains") &&
                     !page->NextStartNote().text().contains("Other options"),
                 qPrintable(page->NextStartNote().text()));

        const QByteArray before = ReadFile(m_dir.Path("option.ini")).c_str();
        Retype(page->AcmeTab().DirectoryEdit(), "http://ca.example/dir");
        QCOMPARE(m_boxes, QStringList{"The options were not saved: The ACME directory must be an "
                                      "https:// URL when domains are set."});
        QTest::qWait(200);  // a request would be on its way by now
        QCOMPARE(QByteArray(ReadFile(m_dir.Path("option.ini")).c_str()), before);
        m_boxes.clear();

        page = OpenPage();
        QTRY_VERIFY_WITH_TIMEOUT(page->isEnabled(), 10000);
        QCOMPARE(page->TlsTab().ImplicitPortEdit().text(), QString("990"));
        QCOMPARE(page->AcmeTab().DirectoryEdit().text(), QString("https://ca.example/dir"));
        QCOMPARE(page->SecurityTab().MaxPerUserEdit().text(), QString("2"));
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    ApiSettingsAccessTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ApiSettingsAccessTest.moc"
