// The headless binary end to end: greeting on the chosen port, clean stop on SIGTERM.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

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
}
