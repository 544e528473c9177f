// tarvona-server behind a router: with "PassiveIP" "Auto" it announces the address the
// echo page reports.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/ChildProcess.h"
#include "tests/support/EchoServer.h"
#include "tests/support/RawFtpClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestAccounts.h"

using namespace std::chrono_literals;

TEST(HeadlessDetection, PasvAnnouncesTheDetectedAddress) {
    EchoServer page;
    TempDir dir;
    std::filesystem::create_directories(dir.Path("home"));
    ASSERT_TRUE(SaveAccount(dir.ProgramDir(), FullAccessUser("alice", "secret", dir.Path("home"))));
    const std::uint16_t port = FindFreePort();
    WriteFile(dir.Path("option.ini"), "[Server]\nport=" + std::to_string(port) +
                                          "\nPassiveIP=auto\nMinPort=20000\nMaxPort=20100\n"
                                          "[DNS]\nLookupUrl=" +
                                          page.Url("/myip.php") + "\n");
    ChildProcess server;
    ASSERT_TRUE(
        server.Start({TARVONA_SERVER_BINARY, "--dir", dir.Path(), "--listen", "127.0.0.1"}));
    ASSERT_TRUE(server.WaitForOutput("Server is running on port", 20s)) << server.Output();
    ASSERT_TRUE(page.Saw("GET /myip.php")) << page.Output();

    RawFtpClient client;
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(client.LogIn("alice", "secret"));
    // The reply may still be on its way to the server: ask until it has arrived.
    std::string reply;
    for (int i = 0; i < 50 && reply.find("(203,0,113,7,") == std::string::npos; ++i) {
        if (i > 0) std::this_thread::sleep_for(100ms);
        reply = client.Ask("PASV");
    }
    EXPECT_NE(reply.find("227 Entering Passive Mode (203,0,113,7,"), std::string::npos) << reply;
    EXPECT_TRUE(server.Terminate());
}
