// USER and PASS over real loopback TCP, and logins racing tarvona-admin's edits.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <thread>

#include "accounts/AccountEditor.h"
#include "accounts/AccountSchema.h"
#include "accounts/PasswordCheck.h"
#include "accounts/PasswordHash.h"
#include "accounts/PermissionText.h"
#include "server/FtpServer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RawFtpClient.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TempDir.h"
#include "tools/DbTool.h"

namespace {

using namespace std::chrono_literals;

constexpr char kRefused[] = "530 username or password incorrect.";

// Counts the online rows the window would add, per session.
class RowSink : public RecordingSink {
public:
    void OnSessionAdded(std::uint32_t id, const std::string& user,
                        const std::string& address) override {
        std::lock_guard lock(m_rowsLock);
        m_rows.push_back({id, user, address});
    }
    struct Row {
        std::uint32_t id;
        std::string user, address;
    };
    std::vector<Row> Rows() const {
        std::lock_guard lock(m_rowsLock);
        return m_rows;
    }

private:
    mutable std::mutex m_rowsLock;  // guards m_rows
    std::vector<Row> m_rows;
};

class LoginTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(EnsureAccountTables(m_dir.ProgramDir(), error)) << error;
        AddUser("alice", "Secret");
        AddUser("anonymous", "");
        AddUser("locked", "pw", "0");
        m_server.RunOnServer([this](CFtpServer& s) { s.SetWindowSink(&m_sink); });
        ASSERT_TRUE(m_server.Start(0));
    }
    void AddUser(const std::string& name, const std::string& password,
                 const std::string& status = "1") {
        UserRecord u;
        u.name = name;
        u.password = password;
        u.homeDir = m_dir.Path();
        u.status = status;
        u.permissions = PermissionsFromText(kDefaultPermissionText);
        CAccountEditor editor(m_dir.ProgramDir());
        ASSERT_TRUE(editor.SaveUser(u, {})) << editor.GetLastError();
    }
    void Connect(RawFtpClient& c) {
        ASSERT_TRUE(c.Connect(m_server.Port()));
        const auto greeting = c.ReadLine();
        ASSERT_TRUE(greeting && greeting->rfind("220 ", 0) == 0);
    }
    void Login(RawFtpClient& c, const std::string& user, const std::string& password,
               const char* expected) {
        EXPECT_EQ(c.Ask("USER " + user), kNeedPassword);
        EXPECT_EQ(c.Ask("PASS " + password), expected) << user;
    }

    TempDir m_dir;
    RowSink m_sink;
    ServerHarness m_server{m_dir.ProgramDir()};
};

TEST_F(LoginTest, PasswordRulesAndRetries) {
    RawFtpClient c;
    Connect(c);
    EXPECT_EQ(c.Ask("PASS Secret"), "503 Please login with USER.");
    EXPECT_EQ(c.Ask("USER"), "501 Syntax error in parameters or arguments.");
    Login(c, "alice", "secret", kRefused);       // case counts
    EXPECT_EQ(c.Ask("PASS Secret"), kLoggedIn);  // again without a new USER
    EXPECT_EQ(c.Ask("PWD"), "257 \"/\" is current directory.");
    Login(c, "nobody", "Secret", kRefused);
    Login(c, "locked", "pw", kRefused);      // status 0
    Login(c, "ALICE", "Secret", kLoggedIn);  // names ignore letter case
    Login(c, "alice", ScramblePassword("Secret"), kLoggedIn);
    Login(c, "anonymous", "any@where", kLoggedIn);
    Login(c, "Anonymous", "x", kLoggedIn);
}

TEST_F(LoginTest, LoggedInSessionSurvivesAWrongPassButNotAUser) {
    RawFtpClient c;
    Connect(c);
    Login(c, "alice", "Secret", kLoggedIn);
    EXPECT_EQ(c.Ask("PASS wrong"), kRefused);
    EXPECT_EQ(c.Ask("PWD"), "257 \"/\" is current directory.");  // still logged in
    EXPECT_EQ(c.Ask("USER bob"), kNeedPassword);
    EXPECT_EQ(c.Ask("LIST"), "530 Please login with USER and PASS.");
}

TEST_F(LoginTest, AnonymousWithAStoredPasswordTakesOnlyThatOne) {
    AddUser("guest", "");  // an empty password is only open for "anonymous"
    CAccountEditor editor(m_dir.ProgramDir());
    UserRecord anon;
    ASSERT_TRUE(ReadUser(m_dir.ProgramDir(), "anonymous", anon));
    anon.password = "door";
    ASSERT_TRUE(editor.SaveUser(anon, {}));
    RawFtpClient c;
    Connect(c);
    Login(c, "anonymous", "x", kRefused);
    Login(c, "anonymous", "door", kLoggedIn);
    Login(c, "guest", "x", kRefused);
}

TEST_F(LoginTest, LongScrambledPasswordLogsIn) {
    std::string password;
    for (int i = 0; i < 128; ++i) password.push_back(static_cast<char>('A' + i % 26));
    AddUser("long", password);
    const std::string scrambled = ScramblePassword(password);
    ASSERT_GT(scrambled.size(), 511u);
    RawFtpClient c;
    Connect(c);
    Login(c, "long", scrambled, kLoggedIn);
    Login(c, "long", scrambled.substr(0, scrambled.size() - 4), kRefused);
}

TEST_F(LoginTest, EveryUserAddsAnOnlineRow) {
    {
        RawFtpClient c;
        Connect(c);
        EXPECT_EQ(c.Ask("USER alice"), kNeedPassword);
        EXPECT_EQ(c.Ask("USER  spaced name "), kNeedPassword);
        EXPECT_EQ(c.Ask("QUIT").rfind("220 ", 0), 0u);
    }
    const auto rows = m_sink.Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].id, rows[1].id);
    EXPECT_EQ(rows[0].user, "alice");
    EXPECT_EQ(rows[0].address, "127.0.0.1");
    // Both rows go with the session: the window removes them by its id.
    EXPECT_TRUE(
        m_server.WaitUntil([this](CFtpServer&) { return m_sink.SessionsRemoved() == 1; }, 5s));
}

TEST_F(LoginTest, MissingUserTableRefusesEveryone) {
    ASSERT_EQ(std::remove(UserTablePath(m_dir.ProgramDir()).c_str()), 0);
    RawFtpClient c;
    Connect(c);
    Login(c, "alice", "Secret", kRefused);
}

// Logins race account edits by tarvona-admin in another process: the table lock must
// keep every reader from a half-written table.
TEST_F(LoginTest, LoginsWhileAdminEditsAccounts) {
    AddUser("dave", "pw");
    constexpr int kLogins = 500;
    std::atomic<bool> clientsDone{false};
    std::atomic<int> unexpected{0}, logins{0}, edits{0};
    std::thread admin([&] {
        const std::string dir = m_dir.Path();
        for (int i = 0; !clientsDone; ++i) {
            const std::vector<std::vector<std::string>> steps = {
                {"user", "set", "alice", "--email", "a" + std::to_string(i) + "@example.org"},
                {"user", "add", "tmp" + std::to_string(i), "--password", "x", "--home", "/tmp"},
                {"user", "set", "dave", i % 2 ? "--enabled" : "--disabled"},
                {"group", "add", "g" + std::to_string(i)},
                {"user", "del", "tmp" + std::to_string(i)},
                {"group", "del", "g" + std::to_string(i)}};
            for (const auto& step : steps) {
                std::vector<std::string> argv = {TARVONA_ADMIN_BINARY, "--dir", dir};
                argv.insert(argv.end(), step.begin(), step.end());
                if (RunToEnd(argv).status != 0) ++unexpected;
                ++edits;
            }
        }
    });
    // The logins start once the editor is at work, so the two really overlap.
    for (int waited = 0; edits == 0 && waited < 3000; ++waited) std::this_thread::sleep_for(10ms);
    std::vector<std::thread> clients;
    for (int n = 0; n < 4; ++n) {
        clients.emplace_back([&, n] {
            const bool isDave = n == 3;  // dave is switched on and off meanwhile
            for (int i = 0; i < kLogins; ++i) {
                RawFtpClient c;  // connect, USER, PASS, QUIT: a whole login each time
                if (!c.Connect(m_server.Port()) || !c.ReadLine()) {
                    ++unexpected;
                    continue;
                }
                if (c.Ask(isDave ? "USER dave" : "USER alice") != kNeedPassword) ++unexpected;
                const std::string reply = c.Ask(isDave ? "PASS pw" : "PASS Secret");
                if (reply != kLoggedIn && !(isDave && reply == kRefused)) ++unexpected;
                if (c.Ask("QUIT").rfind("220 ", 0) != 0) ++unexpected;
                ++logins;
            }
        });
    }
    for (auto& t : clients) t.join();
    clientsDone = true;
    admin.join();
    EXPECT_EQ(unexpected, 0);
    EXPECT_EQ(logins, 4 * kLogins);
    EXPECT_GT(edits, 6);  // at least one whole round of edits overlapped the logins
    for (const char* table : {"user.sdb", "group.sdb"}) {
        std::ostringstream out, err;
        EXPECT_EQ(RunDbCommand({"check", m_dir.Path(table)}, out, err), 0)
            << table << out.str() << err.str();
    }
}

TEST_F(LoginTest, ClearPasswordsAreRehashedAtLoginAndHashesLogIn) {
    m_server.RunOnServer([](CFtpServer& s) {
        LoginPolicy policy = s.GetLoginPolicy();
        policy.hashPasswords = true;
        s.SetLoginPolicy(policy);
    });
    RawFtpClient c;
    Connect(c);
    Login(c, "alice", "secret", kRefused);  // a wrong password changes nothing
    UserRecord stored;
    ASSERT_TRUE(ReadUser(m_dir.ProgramDir(), "alice", stored));
    EXPECT_EQ(stored.password, "Secret");
    Login(c, "alice", ScramblePassword("Secret"), kLoggedIn);
    ASSERT_TRUE(ReadUser(m_dir.ProgramDir(), "alice", stored));
    EXPECT_TRUE(IsPasswordHash(stored.password)) << stored.password;
    Login(c, "alice", "Secret", kLoggedIn);
    Login(c, "alice", "secret", kRefused);
    Login(c, "alice", stored.password, kRefused);   // the hash itself is no password
    Login(c, "anonymous", "any@where", kLoggedIn);  // an empty password stays empty
    ASSERT_TRUE(ReadUser(m_dir.ProgramDir(), "anonymous", stored));
    EXPECT_EQ(stored.password, "");
    std::ostringstream out, err;
    EXPECT_EQ(RunDbCommand({"check", m_dir.Path("user.sdb")}, out, err), 0)
        << out.str() << err.str();
}

}  // namespace
