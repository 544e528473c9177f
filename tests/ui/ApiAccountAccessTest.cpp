// The users and groups pages and their dialogs administering a separate tarvona-server
// process through its control socket: what the dialogs save serves FTP logins, a stale
// or failed save keeps the dialog open with its edits, groups and folders round-trip.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <filesystem>

#include "tests/support/RawFtpClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestAccounts.h"
#include "tests/ui/EditorSteps.h"
#include "tests/ui/ModalDriver.h"
#include "tests/ui/ServerProcess.h"
#include "ui/AccountTab.h"
#include "ui/AdminConnection.h"
#include "ui/GroupDlg.h"
#include "ui/GroupTab.h"
#include "ui/GroupsModel.h"
#include "ui/GroupsPage.h"
#include "ui/MessageBoxes.h"
#include "ui/UserAccountDlg.h"
#include "ui/UsersModel.h"
#include "ui/UsersPage.h"
#include "ui/VirtualFolderDlg.h"
#include "ui/VirtualFoldersTab.h"

using namespace std::chrono_literals;

namespace {

// Saves and waits for the answer: the dialog closed, or a box said why not.
template <typename Dialog>
bool SaveAndWait(Dialog& dialog, const QStringList& boxes) {
    const auto before = boxes.size();
    dialog.Save();
    return QTest::qWaitFor([&] { return !dialog.isVisible() || boxes.size() > before; }, 15000);
}

}  // namespace

class ApiAccountAccessTest : public QObject {
    Q_OBJECT
private:
    TempDir m_dir;
    ServerProcess m_server;
    std::unique_ptr<CAdminConnection> m_connection;
    std::shared_ptr<CAccountAccess> m_access;
    QStringList m_boxes;

    AdminReply Call(const QString& method, const QString& path, const QByteArray& body = {}) {
        return WaitForAnswer(*m_connection, method, path, body);
    }

    // Opens the account `name` from the page once the list shows it, and runs `step` in
    // its dialog; null when the list never showed it.
    std::shared_ptr<ModalStep> EditUser(CUsersPage& page, const char* name,
                                        std::function<void(CUserAccountDlg&)> step) {
        const auto shown = [&] {
            for (int row = 0; row < page.Model().rowCount(); ++row)
                if (page.Model().Text(row, CUsersModel::UserId) == name) {
                    page.SelectId(page.Model().IdAt(row));
                    return true;
                }
            return false;
        };
        if (!QTest::qWaitFor(shown, 15000)) return {};
        auto result = WhenShown<CUserAccountDlg>(std::move(step));
        page.EditUser();
        (void)QTest::qWaitFor([&] { return result->ran; }, 15000);
        return result;
    }

private slots:
    void initTestCase() {
        QVERIFY(SaveAccount(m_dir.ProgramDir(), FullAccessUser("alice", "secret", m_dir.Path())));
        std::filesystem::create_directories(m_dir.Path("music"));
        WriteFile(m_dir.Path("option.ini"), "[Security]\nFailDelay=0\n");
        QVERIFY2(m_server.Start(TARVONA_SERVER_BINARY, m_dir.ProgramDir()),
                 m_server.process.Output().c_str());
        m_connection = ServerProcess::Connect(m_dir.ProgramDir());
        m_access = MakeApiAccountAccess(*m_connection);
        SetMessageBoxHook([this](const MessageBoxRequest& box) {
            m_boxes << box.text;
            return QMessageBox::No;
        });
    }
    void cleanupTestCase() { SetMessageBoxHook({}); }
    void cleanup() { CancelPendingSteps(); }

    void AnAccountAddedInTheDialogLogsIn() {
        // The page starts on this process's (empty) tables, then attaches to the server.
        const TempDir local;
        CUsersPage page(MakeTableAccountAccess(local.ProgramDir()),
                        [this] { return m_dir.Path(); });
        page.show();
        QCOMPARE(page.Model().rowCount(), 0);
        page.SetAccess(m_access);
        QTRY_COMPARE(page.Model().rowCount(), 1);
        auto added = WhenShown<CUserAccountDlg>([&](CUserAccountDlg& d) {
            d.AccountTab().NameEdit().setText("bob");
            d.AccountTab().PasswordEdit().setText("bob's pw");
            QVERIFY(SaveAndWait(d, m_boxes));
        });
        page.AddUser();
        QVERIFY2(added->ran && !added->leftOpen, qPrintable(m_boxes.join('\n')));
        QTRY_COMPARE(page.Model().rowCount(), 2);
        RawFtpClient client;
        QVERIFY(client.Connect(m_server.ftpPort) && client.LogIn("bob", "bob's pw"));

        // The password is never shown; saving with the box left empty keeps it.
        auto unchanged = EditUser(page, "bob", [&](CUserAccountDlg& d) {
            QCOMPARE(d.AccountTab().PasswordEdit().text(), QString());
            d.AccountTab().EmailEdit().setText("bob@example.org");
            QVERIFY(SaveAndWait(d, m_boxes));
        });
        QVERIFY(unchanged && unchanged->ran && !unchanged->leftOpen);
        RawFtpClient again;
        QVERIFY(again.Connect(m_server.ftpPort) && again.LogIn("bob", "bob's pw"));
    }

    void AStaleEditIsRefusedAndKeepsItsEdits() {
        CUsersPage page(m_access, [this] { return m_dir.Path(); });
        page.show();
        auto stale = EditUser(page, "alice", [&](CUserAccountDlg& d) {
            QCOMPARE(
                Call("PATCH", "/api/v1/users/alice", R"({"email":"other@example.org"})").status,
                200);
            d.AccountTab().EmailEdit().setText("window@example.org");
            QVERIFY(SaveAndWait(d, m_boxes));
            QVERIFY(d.isVisible());
            QCOMPARE(d.AccountTab().EmailEdit().text(), QString("window@example.org"));
        });
        QVERIFY(stale && stale->leftOpen);
        QVERIFY2(m_boxes.last().contains("changed by someone else; reload?"),
                 qPrintable(m_boxes.last()));
        const AdminReply alice = Call("GET", "/api/v1/users/alice");
        QCOMPARE(alice.json["email"].toString(), QString("other@example.org"));
    }

    // A group with a folder, then an account given the group and a folder of its own:
    // each read back as saved, and the folders served.
    void GroupAndFolderEditsRoundTrip() {
        const QString music = QString::fromStdString(m_dir.Path("music"));
        CGroupsPage groups(m_access);
        groups.show();
        auto added = WhenShown<CGroupDlg>([&](CGroupDlg& d) {
            d.GroupTab().NameEdit().setText("Staff");
            d.GroupTab().NotesEdit().setPlainText("the staff");
            AddFolder(d.FoldersTab(), "Music", music);
            QVERIFY(SaveAndWait(d, m_boxes));
        });
        groups.AddGroup();
        QVERIFY2(added->ran && !added->leftOpen, qPrintable(m_boxes.join('\n')));
        QTRY_COMPARE(groups.Model().rowCount(), 1);
        QCOMPARE(Call("GET", "/api/v1/groups/Staff").json["notes"].toString(), "the staff");

        CUsersPage users(m_access, [this] { return m_dir.Path(); });
        users.show();
        auto edited = EditUser(users, "alice", [&](CUserAccountDlg& d) {
            d.AccountTab().GroupEdit().setText("Staff");
            AddFolder(d.FoldersTab(), "Pub", music);
            QVERIFY(SaveAndWait(d, m_boxes));
        });
        QVERIFY2(edited && !edited->leftOpen, qPrintable(m_boxes.join('\n')));
        std::optional<UserDetails> read;
        m_access->ReadUser({0, "alice"}, [&](const AccessStatus& status, UserDetails details) {
            QVERIFY(status.ok());
            read = std::move(details);
        });
        QTRY_VERIFY(read.has_value());
        QCOMPARE(read->groupNames, std::string("Staff"));
        QCOMPARE(read->ownFolders.size(), std::size_t{1});
        QCOMPARE(read->ownFolders[0].name, std::string("Pub"));
        QCOMPARE(read->groupFolders.size(), std::size_t{1});
        QCOMPARE(read->groupFolders[0].folders.at(0).name, std::string("Music"));
        RawFtpClient client;
        QVERIFY(client.Connect(m_server.ftpPort) && client.LogIn("alice", "secret"));
        QVERIFY2(client.Ask("CWD /Pub").starts_with("250"), "own folder");
        QVERIFY2(client.Ask("CWD /Music").starts_with("250"), "the group's folder");
    }

    // Last: the server goes away while the dialog is open.
    void ASaveWithoutTheServerSaysSoAndKeepsItsEdits() {
        CUsersPage page(m_access, [this] { return m_dir.Path(); });
        page.show();
        auto lost = EditUser(page, "bob", [&](CUserAccountDlg& d) {
            int status = 0;
            QVERIFY(m_server.process.Terminate() && m_server.process.WaitForExit(10s, status));
            d.AccountTab().EmailEdit().setText("unsent@example.org");
            QVERIFY(SaveAndWait(d, m_boxes));
            QVERIFY(d.isVisible());
            QCOMPARE(d.AccountTab().EmailEdit().text(), QString("unsent@example.org"));
        });
        QVERIFY(lost && lost->leftOpen);
        QVERIFY2(m_boxes.last().startsWith("Save failed: The server cannot be reached"),
                 qPrintable(m_boxes.last()));
    }
};

QTEST_MAIN(ApiAccountAccessTest)
#include "ApiAccountAccessTest.moc"
