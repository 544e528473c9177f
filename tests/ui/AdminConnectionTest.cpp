// The window's client of the administration API against a real tarvona-server process:
// its control socket and its TLS listener, the pinned certificate, the sign-in, the
// log stream, time-outs, and a server stopped and started again under the connection.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <optional>

#include "accounts/PasswordHash.h"
#include "api/ApiService.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RawFtpClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestAccounts.h"
#include "ui/AdminConnection.h"
#include "ui/ConnectDlg.h"
#include "ui/MessageBoxes.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kPassword = "s3cret admin";
const QString kWrongPin = QString("AB:").repeated(31) + "AB";

// Sends one request and waits for its answer; counts how often `done` ran.
struct Call {
    std::optional<AdminReply> reply;
    int calls = 0;
    bool onGuiThread = true;
};

std::shared_ptr<Call> Get(CAdminConnection& connection, const QString& path) {
    auto call = std::make_shared<Call>();
    connection.Get(path, [call](const AdminReply& reply) {
        call->reply = reply;
        ++call->calls;
        call->onGuiThread = call->onGuiThread && QThread::currentThread() == qApp->thread();
    });
    return call;
}

// A Unix socket at `path` that takes connections and never answers.
int SilentUnixListener(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

class AdminConnectionTest : public QObject {
    Q_OBJECT
private:
    TempDir m_dir;
    std::unique_ptr<ChildProcess> m_server;
    std::uint16_t m_ftpPort = 0;
    std::uint16_t m_adminPort = 0;
    QString m_pin;

    bool StartServer() {
        m_server = std::make_unique<ChildProcess>();
        if (!m_server->Start({TARVONA_SERVER_BINARY, "--dir", m_dir.Path(), "--listen", "127.0.0.1",
                              "--port", std::to_string(m_ftpPort)}))
            return false;
        const std::string marker = "SHA-256 fingerprint ";
        if (!m_server->WaitForOutput("Server is running on port", 20s) ||
            !m_server->WaitForOutput(marker, 20s))
            return false;
        const std::string& output = m_server->Output();
        m_pin = QString::fromStdString(output.substr(output.rfind(marker) + marker.size(), 95));
        return true;
    }

    std::unique_ptr<CAdminConnection> Remote(const QString& pin, const QString& password) {
        return CAdminConnection::Remote("127.0.0.1", m_adminPort, pin, password);
    }

    std::unique_ptr<CAdminConnection> Local() {
        return CAdminConnection::Local(QString::fromStdString(m_dir.ProgramDir()));
    }

    // FTP logins until `lines` holds one: a stream starts with the lines after it opened.
    bool LogInUntilSeen(const QList<QByteArray>& lines) {
        const auto seen = [&] {
            return std::any_of(lines.begin(), lines.end(),
                               [](const QByteArray& line) { return line.contains("alice"); });
        };
        QElapsedTimer waited;
        waited.start();
        while (!seen() && waited.elapsed() < 10000) {
            RawFtpClient client;
            if (!client.Connect(m_ftpPort) || !client.LogIn("alice", "secret")) return false;
            QTest::qWait(300);
        }
        return seen();
    }

    // The control socket's connection and the TLS one, the latter pinned to `pin`.
    std::vector<std::shared_ptr<CAdminConnection>> Both(const QString& pin) {
        return {Local(), Remote(pin, kPassword)};
    }

private slots:
    void initTestCase() {
        QVERIFY(SaveAccount(m_dir.ProgramDir(), FullAccessUser("alice", "secret", m_dir.Path())));
        m_ftpPort = FindFreePort();
        do m_adminPort = FindFreePort();
        while (m_adminPort == m_ftpPort);
        WriteFile(m_dir.Path("option.ini"), "[Security]\nFailDelay=0\n[Admin]\nListen=127.0.0.1:" +
                                                std::to_string(m_adminPort) +
                                                "\nPasswordHash=" + HashPassword(kPassword) + "\n");
        QVERIFY2(StartServer(), m_server->Output().c_str());
    }

    void answersOverSocketAndTlsOnTheGuiThread() {
        for (const auto& connection : Both(m_pin.toLower().remove(':'))) {
            const auto call = Get(*connection, "/api/v1/server");
            QTRY_VERIFY_WITH_TIMEOUT(call->reply.has_value(), 10000);
            QCOMPARE(call->reply->status, 200);
            QVERIFY(call->reply->json.isObject());
            QVERIFY(call->onGuiThread);
            QTest::qWait(100);
            QCOMPARE(call->calls, 1);
        }
        QCOMPARE(Local()->DisplayName(), QString("local service"));
        QCOMPARE(Remote(m_pin, kPassword)->DisplayName(),
                 QString("tarvona@127.0.0.1:%1").arg(m_adminPort));
        // Gone before the answer: nothing is delivered to what no longer exists.
        auto early = Local();
        const auto dropped = Get(*early, "/api/v1/server");
        early.reset();
        QTest::qWait(500);
        QCOMPARE(dropped->calls, 0);
    }

    void firstContactShowsTheFingerprintTheServerLogged() {
        QString shown, error;
        QObject context;
        CAdminConnection::FetchFingerprint("127.0.0.1", m_adminPort, &context,
                                           [&](const QString& fingerprint, const QString& why) {
                                               shown = fingerprint;
                                               error = why.isEmpty() ? "none" : why;
                                           });
        QTRY_VERIFY_WITH_TIMEOUT(!error.isEmpty(), 10000);
        QCOMPARE(shown, m_pin);
    }

    // A wrong pin ends the handshake: not even the sign-in (with a wrong password here,
    // which the server would log) reaches the server.
    void refusesAnotherCertificateBeforeSendingAnything() {
        auto connection = Remote(kWrongPin, "not the password");
        QSignalSpy lost(connection.get(), &CAdminConnection::connectionLost);
        const auto call = Get(*connection, "/api/v1/server");
        QTRY_VERIFY_WITH_TIMEOUT(call->reply.has_value(), 10000);
        QCOMPARE(call->reply->status, 0);
        QVERIFY2(call->reply->error.contains(m_pin), qPrintable(call->reply->error));
        QCOMPARE(lost.count(), 1);
        QVERIFY(!connection->IsConnected());
        QTest::qWait(300);
        QVERIFY(m_server->Output().find("admin (administration API)") == std::string::npos);
    }

    void reportsAWrongPassword() {
        auto connection = Remote(m_pin, "not the password");
        const auto call = Get(*connection, "/api/v1/server");
        QTRY_VERIFY_WITH_TIMEOUT(call->reply.has_value(), 10000);
        QCOMPARE(call->reply->status, 401);
        QVERIFY(!call->reply->error.isEmpty());
        QVERIFY(connection->IsConnected());
    }

    void followDeliversTheLogAsItComes() {
        for (const auto& connection : Both(m_pin)) {
            QList<QByteArray> lines;
            connection->Follow("/api/v1/log?follow=1",
                               [&lines](const QByteArray& line) { lines.append(line); });
            QVERIFY2(LogInUntilSeen(lines), qPrintable(connection->DisplayName()));
            connection->StopFollowing();
            const auto count = lines.size();
            RawFtpClient after;
            QVERIFY(after.Connect(m_ftpPort) && after.LogIn("alice", "secret"));
            QTest::qWait(800);
            QCOMPARE(lines.size(), count);
        }
    }

    void timesOutAgainstAServerThatNeverAnswers() {
        HeldPort silentTcp;
        QTemporaryDir silentDir;
        const int silentUnix =
            SilentUnixListener(silentDir.filePath(kControlSocketName).toStdString());
        QVERIFY(silentTcp.Port() != 0 && silentUnix >= 0);
        const std::vector<std::shared_ptr<CAdminConnection>> silent{
            CAdminConnection::Local(silentDir.path()),
            CAdminConnection::Remote("127.0.0.1", silentTcp.Port(), m_pin, kPassword)};
        for (const auto& connection : silent) {
            connection->SetTimeout(500ms);
            QSignalSpy lost(connection.get(), &CAdminConnection::connectionLost);
            QElapsedTimer waited;
            waited.start();
            const auto call = Get(*connection, "/api/v1/server");
            QTRY_VERIFY_WITH_TIMEOUT(call->reply.has_value(), 5000);
            QVERIFY(waited.elapsed() < 4000);
            QCOMPARE(call->reply->status, 0);
            QVERIFY2(call->reply->error.contains("no answer within"),
                     qPrintable(call->reply->error));
            QCOMPARE(lost.count(), 1);
        }
        ::close(silentUnix);
    }

    void connectDialogChecksItsFieldsAndRemembersNoPassword() {
        QStringList said;
        SetMessageBoxHook([&said](const MessageBoxRequest& request) {
            said << request.text;
            return QMessageBox::Ok;
        });
        CConnectDlg dialog;
        QCOMPARE(dialog.PortEdit().text(), QString("14148"));
        dialog.PasswordEdit().setText("typed secret");
        dialog.accept();  // no address
        dialog.AddressEdit().setText("::1");
        dialog.PortEdit().setText("70000");
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(said.size(), 2);
        QVERIFY(said[0].contains("address") && said[1].contains("1 to 65535"));
        dialog.PortEdit().setText("2121");
        dialog.RememberBox().setChecked(true);
        dialog.accept();
        SetMessageBoxHook({});
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(said.size(), 2);
        CConnectDlg again;
        QCOMPARE(again.AddressEdit().text(), QString("::1"));
        QCOMPARE(again.PortEdit().text(), QString("2121"));
        QVERIFY(again.PasswordEdit().text().isEmpty());
        const QDir config(qEnvironmentVariable("XDG_CONFIG_HOME") + "/tarvona");
        for (const QString& name : config.entryList(QDir::Files)) {
            QFile file(config.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(!file.readAll().contains("typed secret"));
        }
    }

    void reconnectsAfterTheServerIsBack() {
        const auto connections = Both(m_pin);
        std::vector<std::unique_ptr<QSignalSpy>> lost, restored;
        std::vector<QList<QByteArray>> lines(connections.size());
        for (std::size_t i = 0; i < connections.size(); ++i) {
            connections[i]->Follow("/api/v1/log?follow=1",
                                   [&lines, i](const QByteArray& line) { lines[i].append(line); });
        }
        for (auto& connection : connections) {
            lost.push_back(
                std::make_unique<QSignalSpy>(connection.get(), &CAdminConnection::connectionLost));
            restored.push_back(std::make_unique<QSignalSpy>(connection.get(),
                                                            &CAdminConnection::connectionRestored));
        }
        int status = -1;
        QVERIFY(m_server->Terminate() && m_server->WaitForExit(20s, status));
        for (std::size_t i = 0; i < connections.size(); ++i) {
            const auto call = Get(*connections[i], "/api/v1/server");
            QTRY_VERIFY_WITH_TIMEOUT(call->reply.has_value(), 12000);
            QCOMPARE(call->reply->status, 0);
            QCOMPARE(lost[i]->count(), 1);
        }
        QVERIFY2(StartServer(), m_server->Output().c_str());
        for (std::size_t i = 0; i < connections.size(); ++i) {
            QTRY_COMPARE_WITH_TIMEOUT(restored[i]->count(), 1, 15000);
            QVERIFY(connections[i]->IsConnected());
            const auto call = Get(*connections[i], "/api/v1/server");
            QTRY_VERIFY_WITH_TIMEOUT(call->reply.has_value(), 10000);
            QCOMPARE(call->reply->status, 200);  // the TLS side signed in again
        }
        // The log streams were opened again.
        for (std::size_t i = 0; i < connections.size(); ++i) {
            lines[i].clear();
            QVERIFY2(LogInUntilSeen(lines[i]), qPrintable(connections[i]->DisplayName()));
        }
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;  // the remembered server must not touch the real home
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    AdminConnectionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "AdminConnectionTest.moc"
