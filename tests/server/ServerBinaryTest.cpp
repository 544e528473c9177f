// The headless binary end to end: greeting on the chosen port, clean stop on SIGTERM.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>

#include "config/LogFile.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RawFtpClient.h"
#include "tests/support/TempDir.h"

using namespace std::chrono_literals;

TEST(ServerBinary, GreetsOnItsPortAndStopsCleanlyOnSigterm) {
    TempDir dir;
    const std::uint16_t port = FindFreePort();
    ASSERT_NE(port, 0);
    ChildProcess server;
    ASSERT_TRUE(server.Start({TARVONA_SERVER_BINARY, "--dir", dir.Path(), "--port",
                              std::to_string(port)}));
    // Up once it says so on its output.
    ASSERT_TRUE(server.WaitForOutput("Server is running on port " + std::to_string(port) + ".", 20s))
        << server.Output();

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
    WriteFile(dir.Path("option.ini"), "; kept by the administrator\n[Server]\nport=" +
                                          std::to_string(port) +
                                          "\nmaxusers=1\nFilterMode=1\nSavelog=1\n");
    WriteFile(dir.Path("rejectip.txt"), ",10.0.0.1,127.0.0.*");
    ChildProcess server;
    ASSERT_TRUE(server.Start({TARVONA_SERVER_BINARY, "--dir", dir.Path()}));
    ASSERT_TRUE(server.WaitForOutput("Server is running on port " + std::to_string(port) + ".", 20s))
        << server.Output();

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
    EXPECT_NE(ReadFile(dir.Path("option.ini")).find("; kept by the administrator"), std::string::npos);
}

TEST(ServerBinary, StartFailureEndsWithStatusOne) {
    TempDir dir;
    HeldPort held;  // a port another socket listens on
    ASSERT_NE(held.Port(), 0);
    ChildProcess server;
    ASSERT_TRUE(server.Start({TARVONA_SERVER_BINARY, "--dir", dir.Path(), "--port",
                              std::to_string(held.Port())}));
    int status = -1;
    ASSERT_TRUE(server.WaitForExit(20s, status)) << server.Output();
    EXPECT_EQ(status, 1);
    EXPECT_NE(server.Output().find("Server cannot run on port " + std::to_string(held.Port()) + "."),
              std::string::npos)
        << server.Output();
}
