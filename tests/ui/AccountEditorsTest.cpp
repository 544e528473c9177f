// The users and groups pages and their dialogs, driven as a user would, with the real
// server inside, curl as the FTP client and tarvona-admin as the other editor.
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <map>

#include "accounts/AccountEditor.h"
#include "accounts/AccountSchema.h"
#include "accounts/AccountStore.h"
#include "accounts/AccountVersion.h"
#include "accounts/PermissionText.h"
#include "db/KorvTable.h"
#include "tests/support/RawFtpClient.h"
#include "tests/ui/EditorSteps.h"
#include "tests/ui/ModalDriver.h"
#include "tests/ui/WindowFixture.h"
#include "ui/AccountTab.h"
#include "ui/DirectoryBrowser.h"
#include "ui/GroupDlg.h"
#include "ui/GroupSelectDlg.h"
#include "ui/GroupTab.h"
#include "ui/GroupsModel.h"
#include "ui/GroupsPage.h"
#include "ui/LimitationsTab.h"
#include "ui/LogModel.h"
#include "ui/LogPage.h"
#include "ui/PermissionBoxes.h"
#include "ui/ServerDlg.h"
#include "ui/UserAccountDlg.h"
#include "ui/UsersModel.h"
#include "ui/UsersPage.h"
#include "ui/VirtualFolderDlg.h"
#include "ui/VirtualFoldersModel.h"
#include "ui/VirtualFoldersTab.h"

namespace fs = std::filesystem;

namespace {
QStringList FolderNames(const std::string& table) {
    std::vector<VirtualFolder> folders;
    (void)ReadFolders(table, folders);
    QStringList names;
    for (const VirtualFolder& f : folders) names << QString::fromStdString(f.name);
    return names;
}

// Every file of the program directory with its bytes.
std::map<std::string, std::string> Snapshot(const TempDir& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        if (entry.is_regular_file()) files[entry.path().string()] = ReadFile(entry.path().string());
    return files;
}

// Writes `text` into `field` of the record `id` at `path` past every editor.
bool SetRawField(const std::string& path, std::int32_t id, const char* field,
                 const std::string& text) {
    CKorvTable table;
    return table.Open(path) && table.Seek(0, &id) && table.SetFieldText(field, text) &&
           table.Update();
}

std::string RawField(const std::string& path, std::int32_t id, const char* field) {
    CKorvTable table;
    if (!table.Open(path, OpenMode::Read) || !table.Seek(0, &id)) return "(no record)";
    return table.GetFieldText(field);
}

// An empty table as a newer build makes it: this build's fields and one more, "extra".
bool CreateWithExtraField(const std::string& path, bool (*define)(CKorvTable&)) {
    CKorvTable table;
    return define(table) && table.AddField("extra", FieldType::Long, -1) && table.Create(path);
}

QString LastBox(WindowFixture& fixture) {
    return fixture.Boxes().empty() ? QString() : fixture.Boxes().back().text;
}
}  // namespace

class AccountEditorsTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { CancelPendingSteps(); }
    void AccountsAddedInTheDialogsServeTheirFolders();
    void DialogChangesApplyToTheNextCommandOfAnOpenSession();
    void RefusedSavesChangeNoByte();
    void SavesMatchTarvonaAdminAndDeletesTakeTheirFiles();
    void EditsAreLoggedWithTheirOrigin();
    void DialogSavesKeepTheFieldsTheyDoNotShow();
};

void AccountEditorsTest::AccountsAddedInTheDialogsServeTheirFolders() {
    WindowFixture fixture;
    CServerDlg& window = fixture.Window();
    const TempDir& dir = fixture.Dir();
    for (const char* sub : {"shared", "music", "video"}) fs::create_directories(dir.Path(sub));

    window.Tabs().setCurrentWidget(&window.GroupsPage());
    auto group = WhenShown<CGroupDlg>([&](CGroupDlg& d) {
        d.GroupTab().NameEdit().setText("Staff");
        AddFolder(d.FoldersTab(), "Shared", QString::fromStdString(dir.Path("shared")));
        d.Save();
    });
    window.GroupsPage().AddGroup();
    QVERIFY(group->ran && !group->leftOpen);
    QCOMPARE(window.GroupsPage().Model().NameAt(0), QString("Staff"));

    window.Tabs().setCurrentWidget(&window.UsersPage());
    auto user = WhenShown<CUserAccountDlg>([&](CUserAccountDlg& d) {
        CAccountTab& account = d.AccountTab();
        account.NameEdit().setText("bob");
        account.PasswordEdit().setText("pw");
        WhenShown<QFileDialog>([&](QFileDialog& browser) {
            browser.selectUrl(QUrl::fromLocalFile(QString::fromStdString(dir.Path("home"))));
            static_cast<QDialog&>(browser).accept();  // the file dialog's own is protected
        });
        QVERIFY(BrowseForDirectory(&d, account.HomeEdit()));
        QCOMPARE(account.HomeEdit().text(), QString::fromStdString(dir.Path("home")));
        WhenShown<CGroupSelectDlg>([](CGroupSelectDlg& select) {
            select.List().item(0)->setSelected(true);
            select.accept();
        });
        account.SelectGroups();
        AddFolder(d.FoldersTab(), "Music", QString::fromStdString(dir.Path("music/")));
        AddFolder(d.FoldersTab(), "Video", QString::fromStdString(dir.Path("video")));
        d.Save();
    });
    window.UsersPage().AddUser();
    QVERIFY(user->ran && !user->leftOpen);
    CUsersPage& users = window.UsersPage();
    const int row = users.Model().RowOf(users.SelectedId());
    QCOMPARE(users.Model().Text(row, CUsersModel::UserId), QString("bob"));
    QCOMPARE(users.Model().Text(row, CUsersModel::Group), QString("Staff"));
    const QModelIndex password = users.Model().index(row, CUsersModel::Password);
    QCOMPARE(password.data().toString(),
             QString::fromUtf16(u"\u2022\u2022\u2022\u2022\u2022\u2022"));
    users.ShowPasswordsBox().setChecked(true);
    QCOMPARE(password.data().toString(), QString("pw"));
    users.SearchEdit().setText("STAFF");
    QCOMPARE(users.Model().rowCount(), 1);
    users.SearchEdit().clear();
    QCOMPARE(users.Model().rowCount(), 2);
    QCOMPARE(users.Model().Text(users.Model().RowOf(users.SelectedId()), 0), QString("bob"));
    users.View().sortByColumn(CUsersModel::UserId, Qt::DescendingOrder);  // bob, alice
    QCOMPARE(users.Model().IdAt(0), 2);
    QCOMPARE(users.SelectedId(), 2);  // the selection follows its account

    // Inherited folders follow the own ones and never move or open.
    auto reopened = WhenShown<CUserAccountDlg>([&](CUserAccountDlg& d) {
        CVirtualFoldersTab& tab = d.FoldersTab();
        QCOMPARE(tab.Model().rowCount(), 3);
        QCOMPARE(tab.Model().Text(2, CVirtualFoldersModel::Group), QString("Staff"));
        tab.SelectRow(1);
        tab.MoveDown();
        QCOMPARE(tab.SelectedRow(), 1);
        tab.SelectRow(2);
        QVERIFY(!tab.EditButton().isEnabled());
    });
    users.EditUser();
    QVERIFY(reopened->ran && reopened->leftOpen);

    window.StartServer();
    int status = -1;
    const std::string listing =
        fixture.Run({"/usr/bin/curl", "-s", "--max-time", "20",
                     "ftp://bob:pw@127.0.0.1:" + std::to_string(fixture.Port()) + "/"},
                    status);
    QCOMPARE(status, 0);
    for (const char* name : {"Music", "Video", "Shared"})
        QVERIFY2(listing.find(name) != std::string::npos, listing.c_str());
    QVERIFY(fixture.WaitForNoSessions());

    for (const std::string table :
         {"user.sdb", "group.sdb", "vfolder_user2.sdb", "vfolder_group1.sdb"}) {
        const std::string out = fixture.Run(
            {TARVONA_ADMIN_BINARY, "--dir", dir.Path(), "db", "check", dir.Path(table)}, status);
        QVERIFY2(status == 0, out.c_str());
    }
    QCOMPARE(FolderNames(dir.Path("vfolder_user2.sdb")), QStringList({"Music", "Video"}));
    std::vector<VirtualFolder> music;
    QVERIFY(ReadFolders(dir.Path("vfolder_user2.sdb"), music));
    QCOMPARE(music.front().dir, dir.Path("music"));  // no trailing slash
}

void AccountEditorsTest::DialogChangesApplyToTheNextCommandOfAnOpenSession() {
    WindowFixture fixture;
    CServerDlg& window = fixture.Window();
    window.StartServer();
    auto client = fixture.LogIn();
    QVERIFY(client);
    QCOMPARE(fixture.Ask(*client, "MKD one"), std::string("250 Directory created."));

    window.Tabs().setCurrentWidget(&window.UsersPage());
    window.UsersPage().SelectId(1);
    const QString somewhere = QString::fromStdString(fixture.Dir().Path("home"));
    auto edit = WhenShown<CUserAccountDlg>([&](CUserAccountDlg& d) {
        d.AccountTab().Permissions().Box(Permission::DirCreate).click();
        CVirtualFoldersTab& tab = d.FoldersTab();
        for (const char* name : {"A", "B", "C", "A"}) AddFolder(tab, name, somewhere);
        QCOMPARE(LastBox(fixture), QString("A virtual folder named \"A\" exists already."));
        QCOMPARE(tab.Model().rowCount(), 3);
        tab.SelectRow(0);
        tab.MoveUp();  // the first row stays
        tab.SelectRow(2);
        tab.MoveUp();  // A C B
        tab.SelectRow(0);
        tab.MoveDown();  // C A B
        QCOMPARE(tab.SelectedRow(), 1);
        tab.Boxes().Box(Permission::Write).click();  // A's own box, saved with it
        d.Save();
    });
    window.UsersPage().EditUser();
    QVERIFY(edit->ran && !edit->leftOpen);
    QCOMPARE(fixture.Ask(*client, "MKD two"),
             std::string("550 can't create directory. No permission."));
    QCOMPARE(FolderNames(UserFolderTablePath(fixture.Dir().ProgramDir(), 1)),
             QStringList({"C", "A", "B"}));
    std::vector<VirtualFolder> saved;
    QVERIFY(ReadFolders(UserFolderTablePath(fixture.Dir().ProgramDir(), 1), saved));
    QCOMPARE(PermissionsToText(saved.at(1).permissions), std::string("RW---L---"));
    QCOMPARE(PermissionsToText(saved.at(0).permissions), std::string("R----L---"));
    client->SendLine("QUIT");
    QVERIFY(fixture.WaitForNoSessions());
}

void AccountEditorsTest::RefusedSavesChangeNoByte() {
    WindowFixture fixture;
    CServerDlg& window = fixture.Window();
    const std::string programDir = fixture.Dir().ProgramDir();
    CAccountEditor other(programDir);  // another editor working beside the window
    GroupRecord staff{0, "Staff", ""};
    QVERIFY(other.SaveGroup(staff, {}));
    const auto before = Snapshot(fixture.Dir());
    const QString home = QString::fromStdString(fixture.Dir().Path("home"));

    const auto tryNewUser = [&](const QString& name, const QString& email) {
        auto step = WhenShown<CUserAccountDlg>([&](CUserAccountDlg& d) {
            d.AccountTab().NameEdit().setText(name);
            d.AccountTab().EmailEdit().setText(email);
            d.AccountTab().HomeEdit().setText(home);
            AddFolder(d.FoldersTab(), "F", home);
            d.Save();
        });
        window.UsersPage().AddUser();
        QVERIFY(step->ran && step->leftOpen);
    };
    tryNewUser("ALICE", "");  // login names ignore letter case
    QCOMPARE(LastBox(fixture), QString("user \"ALICE\" exists already"));
    tryNewUser("bob", QString(129, 'e'));
    QCOMPARE(LastBox(fixture), QString("\"email\" holds at most 128 characters"));
    tryNewUser("   ", "");
    QCOMPARE(LastBox(fixture), QString("Username cannot be empty!"));
    QCOMPARE(fixture.Boxes().back().caption, QString("Tarvona FTP Server"));

    auto group = WhenShown<CGroupDlg>([&](CGroupDlg& d) {
        d.GroupTab().NameEdit().setText("STAFF");
        AddFolder(d.FoldersTab(), "F", home);
        d.Save();
    });
    window.GroupsPage().AddGroup();
    QVERIFY(group->leftOpen);
    QCOMPARE(LastBox(fixture), QString("group \"STAFF\" exists already"));
    QVERIFY(Snapshot(fixture.Dir()) == before);

    const std::string table = UserTablePath(programDir);
    fs::rename(table, table + ".away");  // user.sdb cannot be opened
    tryNewUser("dave", "");
    QVERIFY2(LastBox(fixture).startsWith("cannot open " + QString::fromStdString(table)),
             qPrintable(LastBox(fixture)));
    QVERIFY(!fs::exists(UserFolderTablePath(programDir, 2)));
    fs::rename(table + ".away", table);

    // Changed by the other editor while the dialog is open: the dialog's save is refused
    // and the other change stays.
    window.Tabs().setCurrentWidget(&window.UsersPage());
    window.UsersPage().SelectId(1);
    auto changed = WhenShown<CUserAccountDlg>([&](CUserAccountDlg& d) {
        UserRecord alice;
        QVERIFY(ReadUserById(programDir, 1, alice));
        alice.email = "other@example.org";
        QVERIFY(other.SaveUser(alice, {}));
        d.AccountTab().EmailEdit().setText("window@example.org");
        d.Save();
    });
    window.UsersPage().EditUser();
    QVERIFY(changed->leftOpen);
    QVERIFY2(LastBox(fixture).contains("was changed by another editor"),
             qPrintable(LastBox(fixture)));
    UserRecord kept;
    QVERIFY(ReadUserById(programDir, 1, kept));
    QCOMPARE(kept.email, std::string("other@example.org"));

    // Only the folder list changed meanwhile: neither the record nor the list is written.
    const auto otherFolders = std::vector<VirtualFolder>{{0, "Other", home.toStdString(), {}}};
    auto folders = WhenShown<CUserAccountDlg>([&](CUserAccountDlg& d) {
        QVERIFY(other.SaveOwnFolders(FolderOwner::User, 1, otherFolders));
        d.AccountTab().EmailEdit().setText("window@example.org");
        AddFolder(d.FoldersTab(), "Mine", home);
        d.Save();
    });
    window.UsersPage().EditUser();
    QVERIFY(folders->leftOpen);
    QVERIFY2(LastBox(fixture).contains("folders of user \"alice\" were changed by another editor"),
             qPrintable(LastBox(fixture)));
    std::vector<VirtualFolder> keptFolders;
    QVERIFY(ReadFolders(UserFolderTablePath(programDir, 1), keptFolders));
    QCOMPARE(AccountVersion(keptFolders), AccountVersion(otherFolders));
    QVERIFY(ReadUserById(programDir, 1, kept));
    QCOMPARE(kept.email, std::string("other@example.org"));

    // Deleted by the other editor while the dialog is open: never saved again.
    window.Tabs().setCurrentWidget(&window.UsersPage());
    window.UsersPage().SelectId(1);
    auto stale = WhenShown<CUserAccountDlg>([&](CUserAccountDlg& d) {
        QVERIFY(other.DeleteUser(1));
        d.Save();
    });
    window.UsersPage().EditUser();
    QVERIFY(stale->leftOpen);
    QCOMPARE(LastBox(fixture),
             QString("user \"alice\" no longer exists: another editor deleted it"));
    std::vector<UserRecord> all;
    QVERIFY(ReadAllUsers(programDir, all) && all.empty());
    QVERIFY(!fs::exists(UserFolderTablePath(programDir, 1)));
}

void AccountEditorsTest::SavesMatchTarvonaAdminAndDeletesTakeTheirFiles() {
    WindowFixture fixture;
    CServerDlg& window = fixture.Window();
    const TempDir& dir = fixture.Dir();
    const auto admin = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {TARVONA_ADMIN_BINARY, "--dir", dir.Path()});
        int status = -1;
        const std::string out = fixture.Run(args, status);
        QVERIFY2(status == 0, out.c_str());
    };
    admin({"group", "add", "Staff", "--notes", "n"});
    admin({"user", "add", "carol", "--password", "pw", "--home", dir.Path("home"), "--email",
           "c@example.org", "--groups", "Staff", "--perms", "RWD-AL--R", "--expires", "2030-01-31",
           "--download-limit", "50", "--quota", "100"});
    admin({"folder", "add", "--user", "carol", "Music", dir.Path("home")});
    const auto before = Snapshot(dir);

    window.Tabs().setCurrentWidget(&window.UsersPage());
    CUsersPage& users = window.UsersPage();
    users.SelectId(2);
    auto unchanged = WhenShown<CUserAccountDlg>([](CUserAccountDlg& d) { d.Save(); });
    users.EditUser();
    QVERIFY(unchanged->ran && !unchanged->leftOpen);
    QVERIFY(Snapshot(dir) == before);  // the same record and folder table, byte for byte

    // Uploads booked while the dialog is open are kept, unless the field was reset.
    for (const bool reset : {false, true}) {
        auto booked = WhenShown<CUserAccountDlg>([&](CUserAccountDlg& d) {
            QVERIFY(AddQuotaCurrent(dir.ProgramDir(), "carol", 7, false).ok());
            if (reset) d.LimitationsTab().ResetButton().click();
            d.Save();
        });
        users.EditUser();
        UserRecord carol;
        QVERIFY(booked->ran && ReadUser(dir.ProgramDir(), "carol", carol));
        QCOMPARE(carol.quotaCurrent, reset ? 0.0 : 7.0);
    }

    fixture.SetAnswer(QMessageBox::Yes);
    window.Tabs().setCurrentWidget(&window.GroupsPage());
    window.GroupsPage().SelectId(1);
    window.GroupsPage().DeleteGroup();
    QCOMPARE(window.GroupsPage().Model().rowCount(), 0);
    QVERIFY(!fs::exists(dir.Path("vfolder_group1.sdb")));
    window.Tabs().setCurrentWidget(&users);
    QCOMPARE(users.Model().Text(users.Model().RowOf(2), CUsersModel::Group), QString());

    users.SelectId(2);
    users.DeleteUser();
    QCOMPARE(fixture.Boxes().back().text, QString("Do you really want to delete this user?"));
    QCOMPARE(users.Model().rowCount(), 1);
    QVERIFY(!fs::exists(dir.Path("vfolder_user2.sdb")));
}

void AccountEditorsTest::EditsAreLoggedWithTheirOrigin() {
    WindowFixture fixture;
    CServerDlg& window = fixture.Window();
    const auto logged = [&](const QString& text) {
        return fixture.WaitFor([&] {
            const CLogModel& log = window.LogPage().Model();
            for (int row = 0; row < log.rowCount(); ++row)
                if (log.Line(row).contains(text)) return true;
            return false;
        });
    };
    window.Tabs().setCurrentWidget(&window.UsersPage());
    CUsersPage& users = window.UsersPage();
    users.SelectId(1);
    auto saved = WhenShown<CUserAccountDlg>([](CUserAccountDlg& d) { d.Save(); });
    users.EditUser();
    QVERIFY(saved->ran);
    QVERIFY(logged("User alice changed by the administrator (window)."));
    fixture.SetAnswer(QMessageBox::Yes);
    users.DeleteUser();
    QVERIFY(logged("User alice deleted by the administrator (window)."));
}

// The dialogs write back what they show: a field they do not show keeps its stored value,
// whether a newer build added it or no dialog has it (a folder's "dir_sub").
void AccountEditorsTest::DialogSavesKeepTheFieldsTheyDoNotShow() {
    WindowFixture fixture;
    CServerDlg& window = fixture.Window();
    const std::string dir = fixture.Dir().ProgramDir();
    QVERIFY(CreateWithExtraField(UserTablePath(dir), DefineUserTable));
    QVERIFY(CreateWithExtraField(GroupTablePath(dir), DefineGroupTable));
    CAccountEditor editor(dir);
    UserRecord bob;
    bob.name = "bob";
    bob.homeDir = fixture.Dir().Path("home");
    GroupRecord staff{0, "staff", "old notes"};
    const std::string folders = UserFolderTablePath(dir, 1);
    QVERIFY(editor.SaveUser(bob, {{0, "pub", bob.homeDir, {}}}) && editor.SaveGroup(staff, {}));
    QVERIFY(SetRawField(UserTablePath(dir), bob.id, "extra", "7") &&
            SetRawField(GroupTablePath(dir), staff.id, "extra", "8") &&
            SetRawField(folders, 1, "dir_sub", "1") &&
            SetRawField(folders, 1, "reserved2", "kept"));

    window.UsersPage().Refresh();
    window.UsersPage().SelectId(bob.id);
    auto user = WhenShown<CUserAccountDlg>([](CUserAccountDlg& d) {
        d.AccountTab().EmailEdit().setText("bob@example.org");
        d.Save();
    });
    window.UsersPage().EditUser();
    QVERIFY(user->ran && !user->leftOpen);
    QCOMPARE(RawField(UserTablePath(dir), bob.id, "email"), std::string("bob@example.org"));
    QCOMPARE(RawField(UserTablePath(dir), bob.id, "extra"), std::string("7"));
    QCOMPARE(RawField(folders, 1, "dir_sub"), std::string("1"));
    QCOMPARE(RawField(folders, 1, "reserved2"), std::string("kept"));

    window.GroupsPage().Refresh();
    window.GroupsPage().SelectId(staff.id);
    auto group = WhenShown<CGroupDlg>([](CGroupDlg& d) {
        d.GroupTab().NotesEdit().setPlainText("new notes");
        d.Save();
    });
    window.GroupsPage().EditGroup();
    QVERIFY(group->ran && !group->leftOpen);
    QCOMPARE(RawField(GroupTablePath(dir), staff.id, "notes"), std::string("new notes"));
    QCOMPARE(RawField(GroupTablePath(dir), staff.id, "extra"), std::string("8"));
}

QTEST_MAIN(AccountEditorsTest)
#include "AccountEditorsTest.moc"
