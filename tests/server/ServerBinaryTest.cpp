// The headless binary end to end: greeting on the chosen port, clean stop on SIGTERM,
// owner-only tables, and account tables that another process keeps locked.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "accounts/AccountSchema.h"
#include "accounts/AccountStore.h"
#include "config/LogFile.h"
#include "generated/Version.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RawFtpClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestAccounts.h"

using namespace std::chrono_literals;

namespace {

// The command line of a server that listens on loopback only.
std::vector<std::string> ServerCommand(const std::string& dir,
                                       std::vector<std::string> extra = {}) {
    std::string listen;
    for (const std::string& address : LoopbackAddresses())
        listen += (listen.empty() ? "" : ",") + address;
    std::vector<std::string> argv = {TARVONA_SERVER_BINARY, "--dir", dir, "--listen", listen};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return argv;
}

// The server is up once it says so on its output.
testing::AssertionResult Running(ChildProcess& server, std::uint16_t port) {
    if (server.WaitForOutput("Server is running on port " + std::to_string(port) + ".", 20s))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << server.Output();
}

}  // namespace

TEST(ServerBinary, GreetsOnItsPortAndStopsCleanlyOnSigterm) {
    TempDir dir;
    const std::uint16_t port = FindFreePort();
    ASSERT_NE(port, 0);
    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerCommand(dir.Path(), {"--port", std::to_string(port)})));
    ASSERT_TRUE(Running(server, port));

    RawFtpClient client;
    ASSERT_TRUE(client.Connect(port));
    EXPECT_EQ(client.ReadLine(10s), "220 Welcome to Tarvona FTP Server!");

    ASSERT_TRUE(server.Terminate());
    int status = -1;
    ASSERT_TRUE(server.WaitForExit(20s, status)) << server.Output();
    EXPECT_EQ(status, 0) << server.Output();
    const std::string output = server.Output();
    const auto disconnected = output.find("has disconnected from server.");
    const auto stopped = output.find("Server is stopped.");
    ASSERT_NE(stopped, std::string::npos) << output;
    EXPECT_NE(disconnected, std::string::npos) << output;
    EXPECT_LT(disconnected, stopped) << output;
    EXPECT_TRUE(client.WaitClosed());
    // Today's log file is made at every start, also with saving off.
    EXPECT_TRUE(std::filesystem::exists(CLogFile::PathFor(dir.ProgramDir(), std::time(nullptr))));
}

TEST(ServerBinary, AppliesOptionsListsAndWritesTheDailyLog) {
    TempDir dir;
    const std::uint16_t port = FindFreePort();
    ASSERT_NE(port, 0);
    WriteFile(dir.Path("option.ini"),
              "; kept by the administrator\n[Server]\nport=" + std::to_string(port) +
                  "\nmaxusers=1\nFilterMode=1\nSavelog=1\n");
    WriteFile(dir.Path("rejectip.txt"), ",10.0.0.1,127.0.0.*");
    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerCommand(dir.Path())));
    ASSERT_TRUE(Running(server, port));

    RawFtpClient refused;
    ASSERT_TRUE(refused.Connect(port));
    EXPECT_EQ(refused.ReadLine(10s), "421 Access denied, IP address was rejected by the server.");
    EXPECT_TRUE(refused.WaitClosed());

    // First start creates the account tables.
    EXPECT_FALSE(ReadFile(dir.Path("user.sdb")).empty());
    EXPECT_FALSE(ReadFile(dir.Path("group.sdb")).empty());

    ASSERT_TRUE(server.Terminate());
    int status = -1;
    ASSERT_TRUE(server.WaitForExit(20s, status)) << server.Output();
    EXPECT_EQ(status, 0);
    const std::string day = server.Output().substr(1, 10);  // "[YYYY-MM-DD]" of the first line
    std::string name = day;
    name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
    const std::string saved = ReadFile(dir.Path("log/" + name + ".txt"));
    EXPECT_NE(saved.find("127.0.0.1 has connected to server.\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("421 Access denied"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Server is stopped."), std::string::npos) << saved;
    EXPECT_NE(ReadFile(dir.Path("option.ini")).find("; kept by the administrator"),
              std::string::npos);
}

TEST(ServerBinary, StartFailureEndsWithStatusOne) {
    TempDir dir;
    HeldPort held;  // a port another socket listens on
    ASSERT_NE(held.Port(), 0);
    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerCommand(dir.Path(), {"--port", std::to_string(held.Port())})));
    int status = -1;
    ASSERT_TRUE(server.WaitForExit(20s, status)) << server.Output();
    EXPECT_EQ(status, 1);
    EXPECT_NE(server.Output().find("Server cannot run on port " + std::to_string(held.Port()) +
                                   ". Address already in use."),
              std::string::npos)
        << server.Output();
}

namespace {

std::uint32_t ModeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// "log/YYYYMMDD.txt" of the day of the first line the server printed.
std::string TodaysLogName(const std::string& output) {
    std::string day = output.substr(1, 10);
    day.erase(std::remove(day.begin(), day.end(), '-'), day.end());
    return "log/" + day + ".txt";
}

// Stops `server` with SIGTERM; true when it ended with status 0.
bool TerminatesCleanly(ChildProcess& server) {
    int status = -1;
    return server.Terminate() && server.WaitForExit(std::chrono::seconds(20), status) &&
           status == 0;
}

}  // namespace

TEST(ServerBinary, TablesAreOwnerOnlyAndTodaysLogIsMadeWithSavingOff) {
    TempDir dir;
    const std::string programDir = dir.Path() + "/";
    const std::uint16_t port = FindFreePort();
    ASSERT_NE(port, 0);
    WriteFile(dir.Path("option.ini"), "[Server]\nport=" + std::to_string(port) + "\nSavelog=0\n");
    // A user table and a folder table left readable by everyone, as older versions made them.
    std::string error;
    ASSERT_TRUE(EnsureAccountTables(programDir, error)) << error;
    ASSERT_TRUE(std::filesystem::remove(dir.Path("group.sdb")));
    WriteFile(dir.Path("vfolder_user7.sdb"), "");
    WriteFile(dir.Path("notes.sdb.txt"), "");
    for (const char* name : {"user.sdb", "vfolder_user7.sdb", "notes.sdb.txt"})
        ASSERT_EQ(::chmod(dir.Path(name).c_str(), 0644), 0);

    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerCommand(dir.Path())));
    ASSERT_TRUE(Running(server, port));
    const std::string output = server.Output();
    for (const char* name : {"user.sdb", "vfolder_user7.sdb"}) {
        EXPECT_NE(output.find("Table file " + dir.Path(name) +
                              " was open to group or others (mode 0644); now 0600."),
                  std::string::npos)
            << output;
        EXPECT_EQ(ModeOf(dir.Path(name)), 0600u) << name;
    }
    EXPECT_EQ(ModeOf(dir.Path("group.sdb")), 0600u);      // made by this start
    EXPECT_EQ(ModeOf(dir.Path("notes.sdb.txt")), 0644u);  // not a table
    EXPECT_EQ(GetPathKind(dir.Path(TodaysLogName(output))), PathKind::File);
    EXPECT_TRUE(TerminatesCleanly(server)) << server.Output();
    EXPECT_EQ(ReadFile(dir.Path(TodaysLogName(output))), "");  // saving is off
}

// Another local user may open user.sdb (or find it open) and hold a lock on it. Start,
// login and stop go on regardless; the lock only costs the commands that need the table.
TEST(ServerBinary, LockedAccountTableIsAnsweredBusyAndHoldsUpNeitherStartNorStop) {
    TempDir dir;
    ASSERT_TRUE(SaveAccount(dir.ProgramDir(), FullAccessUser("alice", "secret", dir.Path())));

    CFile holder;  // an open file description of this process, not the server's
    ASSERT_TRUE(holder.Open(dir.Path("user.sdb"), FileOpenMode::ReadOnly));
    ASSERT_TRUE(holder.TryLock(FileLockKind::Exclusive));
    const std::uint16_t port = FindFreePort();
    ASSERT_NE(port, 0);
    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerCommand(dir.Path(), {"--port", std::to_string(port)})));
    ASSERT_TRUE(Running(server, port));
    EXPECT_NE(server.Output().find("Account tables are busy ("), std::string::npos)
        << server.Output();

    RawFtpClient client;
    ASSERT_TRUE(client.Connect(port));
    EXPECT_EQ(client.ReadLine(10s), "220 Welcome to Tarvona FTP Server!");
    client.SendLine("USER alice");
    EXPECT_EQ(client.ReadLine(10s), "331 username ok, need password.");
    client.SendLine("PASS secret");
    EXPECT_EQ(client.ReadLine(10s), "451 Account data is busy, try again.");
    EXPECT_TRUE(server.WaitForOutput("Account data of alice is busy", 10s)) << server.Output();

    holder.Close();  // the same session logs in once the table is free
    client.SendLine("PASS secret");
    EXPECT_EQ(client.ReadLine(10s), "230 User logged in. proceed.");
    ASSERT_TRUE(holder.Open(dir.Path("user.sdb"), FileOpenMode::ReadOnly));
    ASSERT_TRUE(holder.TryLock(FileLockKind::Exclusive));
    client.SendLine("CWD /");
    EXPECT_EQ(client.ReadLine(10s), "451 Account data is busy, try again.");
    client.SendLine("NOOP");
    EXPECT_EQ(client.ReadLine(10s), "200 NOOP command successful.");

    // Stop while the session waits for the lock: the wait is given up, the session
    // ends as usual and the process exits.
    client.SendLine("CWD /");
    ASSERT_TRUE(server.WaitForOutput(">> CWD /", 10s));
    EXPECT_TRUE(TerminatesCleanly(server)) << server.Output();
    const std::string output = server.Output();
    EXPECT_LT(output.rfind("has disconnected from server."), output.rfind("Server is stopped."))
        << output;
    EXPECT_TRUE(client.WaitClosed());
}

namespace {

// Starts the binary on `dir` with its standard error in `errorFile` (standard output stays
// captured by `server`).
bool StartWithErrorFile(ChildProcess& server, const TempDir& dir, const std::string& errorFile) {
    return server.Start({"/bin/sh", "-c", "exec \"$0\" --dir \"$1\" 2>\"$2\"",
                         TARVONA_SERVER_BINARY, dir.Path(), errorFile});
}

}  // namespace

// A list file that is there but cannot be read (here a directory in its place, which no
// user can read) is reported on standard error and in the log. The deny list in force
// would otherwise admit everyone it lists: the server does not start. Not in force, it
// is taken as empty and the server runs.
TEST(ServerBinary, UnreadableDenyListInForceRefusesTheStart) {
    TempDir dir;
    const std::uint16_t port = FindFreePort();
    ASSERT_NE(port, 0);
    ASSERT_TRUE(MakeDirectory(dir.Path("rejectip.txt")));
    const std::string errors = dir.Path("stderr.txt");
    const std::string options =
        "[Server]\nport=" + std::to_string(port) + "\nSavelog=1\nFilterMode=";

    WriteFile(dir.Path("option.ini"), options + "1\n");
    ChildProcess refused;
    ASSERT_TRUE(StartWithErrorFile(refused, dir, errors));
    int status = -1;
    ASSERT_TRUE(refused.WaitForExit(20s, status)) << refused.Output();
    EXPECT_EQ(status, 1);
    const std::string expected = "The deny list cannot be read (";
    EXPECT_NE(ReadFile(errors).find(expected), std::string::npos) << ReadFile(errors);
    EXPECT_NE(refused.Output().find(expected), std::string::npos) << refused.Output();
    EXPECT_NE(ReadFile(dir.Path(TodaysLogName(refused.Output()))).find(expected),
              std::string::npos);
    RawFtpClient nobody;
    EXPECT_FALSE(nobody.Connect(port, 1s));

    WriteFile(dir.Path("option.ini"), options + "2\n");
    WriteFile(dir.Path("acceptip.txt"), "127.0.0.1");
    ChildProcess server;
    ASSERT_TRUE(StartWithErrorFile(server, dir, errors));
    ASSERT_TRUE(Running(server, port));
    EXPECT_NE(ReadFile(errors).find("The IP list rejectip.txt cannot be read ("), std::string::npos)
        << ReadFile(errors);
    RawFtpClient client;
    ASSERT_TRUE(client.Connect(port));
    EXPECT_EQ(client.ReadLine(10s), "220 Welcome to Tarvona FTP Server!");
    EXPECT_TRUE(TerminatesCleanly(server)) << server.Output();
}

// A table of the release before gains this release's fields at the start, with one log
// line; the earlier file stays beside it until the next start has succeeded.
TEST(ServerBinary, UpgradesAnEarlierTableAndDropsItsBackupAtTheNextStart) {
    TempDir dir;
    const std::uint16_t port = FindFreePort();
    ASSERT_NE(port, 0);
    WriteFile(dir.Path("option.ini"), "[Server]\nport=" + std::to_string(port) + "\n");
    CreateUserTable(dir.Path("user.sdb"), UserTableLayout::LacksLastField);
    const std::string backup = dir.Path("user.sdb.bak-") + kTarvonaVersion;
    for (int start = 1; start <= 2; ++start) {
        ChildProcess server;
        ASSERT_TRUE(server.Start(ServerCommand(dir.Path())));
        ASSERT_TRUE(Running(server, port));
        const bool upgradeLogged = server.Output().find("Table " + dir.Path("user.sdb") +
                                                        " upgraded") != std::string::npos;
        EXPECT_EQ(upgradeLogged, start == 1) << server.Output();
        EXPECT_EQ(GetPathKind(backup), start == 1 ? PathKind::File : PathKind::Missing);
        EXPECT_TRUE(TerminatesCleanly(server)) << server.Output();
    }
    UserRecord alice;
    ASSERT_TRUE(ReadUser(dir.ProgramDir(), "alice", alice));
    EXPECT_EQ(alice.email, "alice@example.org");
}
