// PORT, PASV and the wait for the data connection, with commands arriving during it.
#include <thread>

#include "tests/ftp/TransferFixture.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST_F(TransferTest, PortRefusesMalformedArgumentsAndOtherHosts) {
    auto client = LoggedIn();
    for (const char* bad : {"PORT 127,0,0,1,4", "PORT 127,0,0,1,4,1,", "PORT 127,0,0,1,4,1,9"}) {
        client->SendLine(bad);
        EXPECT_EQ(Reply(*client), "501 Syntax error: Invalid parameter.") << bad;
    }
    for (const char* other : {"PORT 10,0,0,1,4,1", "PORT a,b,c,d,1,2", "PORT 127,0,0,2,4,1"}) {
        client->SendLine(other);
        EXPECT_EQ(Reply(*client), "501 PORT address does not match the client address.") << other;
    }
    // The client's own privileged ports are refused too, however the number is spelled.
    for (const char* low : {"PORT 127,0,0,1,0,21", "PORT 127,0,0,1,3,255", "PORT 127,0,0,1,x,y", "PORT 127,0,0,1,-1,5"}) {
        client->SendLine(low);
        EXPECT_EQ(Reply(*client), "501 PORT to a port below 1024 is not allowed.") << low;
    }
    // Nothing was recorded by the refused commands.
    client->SendLine("LIST");
    EXPECT_EQ(Reply(*client), "150 Accepted data connection.");
    EXPECT_EQ(Reply(*client), "425 Can't build data connection.");
}

TEST_F(TransferTest, PortWithGarbagePortNumbersCannotConnect) {
    auto client = LoggedIn();
    client->SendLine("PORT 127, 0 ,0,001,255,x");  // blanks trimmed, padded number accepted
    EXPECT_EQ(Reply(*client), "200 Port command successful.");
    client->SendLine("LIST");
    EXPECT_EQ(Reply(*client), "150 Accepted data connection.");
    EXPECT_EQ(Reply(*client), "425 Can't build data connection.");
    client->SendLine("PORT 127,0,0,1,300,1");  // beyond 65535: never truncated to another port
    EXPECT_EQ(Reply(*client), "200 Port command successful.");
    client->SendLine("LIST");
    EXPECT_EQ(Reply(*client), "150 Accepted data connection.");
    EXPECT_EQ(Reply(*client), "425 Can't build data connection.");
}

TEST_F(TransferTest, ActiveModeServesOneTransferPerPort) {
    MakeFile("a.txt", 10);
    auto client = LoggedIn();
    DataChannel data;
    const std::uint16_t port = data.Listen();
    client->SendLine("PORT 127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256));
    EXPECT_EQ(Reply(*client), "200 Port command successful.");
    client->SendLine("NLST");
    EXPECT_EQ(Reply(*client), "150 Accepted data connection.");
    ASSERT_TRUE(data.Accept());
    EXPECT_EQ(data.ReadAll(), "a.txt\r\n");
    EXPECT_EQ(Reply(*client), "226 Transfer complete.");
    // The target is used once: a second listing needs a new PORT or PASV.
    client->SendLine("NLST");
    EXPECT_EQ(Reply(*client), "150 Accepted data connection.");
    EXPECT_EQ(Reply(*client), "425 Can't build data connection.");
}

TEST_F(TransferTest, PassiveConnectionFromAnotherAddressIsTurnedAway) {
    MakeFile("a.txt", 10);
    auto client = LoggedIn();
    const std::uint16_t port = Pasv(*client);
    client->SendLine("NLST");
    EXPECT_EQ(Reply(*client), "150 Accepted data connection.");
    DataChannel intruder;
    ASSERT_TRUE(intruder.Connect(port, "127.0.0.2"));
    EXPECT_TRUE(intruder.WaitClosed());
    EXPECT_TRUE(client->StaysQuiet(milliseconds(300)));  // the wait goes on
    DataChannel data;
    ASSERT_TRUE(data.Connect(port));
    EXPECT_EQ(data.ReadAll(), "a.txt\r\n");
    EXPECT_EQ(Reply(*client), "226 Transfer complete.");
}

TEST_F(TransferTest, PasvAndAborDuringTheWaitLeaveAWorkingSession) {
    MakeFile("a.txt", 10);
    auto client = LoggedIn();
    const std::uint16_t first = Pasv(*client);
    ASSERT_NE(first, 0);
    client->SendLine("NLST");
    EXPECT_EQ(Reply(*client), "150 Accepted data connection.");
    // A new PASV inside the wait replaces the socket being waited for; the waiting
    // command ends without touching the new one.
    const std::uint16_t second = Pasv(*client);
    ASSERT_NE(second, 0);
    client->SendLine("NLST");
    EXPECT_EQ(Reply(*client), "150 Accepted data connection.");
    // ABOR inside the wait closes the connection being waited for.
    client->SendLine("ABOR");
    EXPECT_EQ(Reply(*client), "226 ABOR command successful.");
    EXPECT_TRUE(client->StaysQuiet(milliseconds(300)));
    // And the session goes on normally.
    DataChannel data;
    ASSERT_TRUE(data.Connect(Pasv(*client)));
    client->SendLine("NLST");
    EXPECT_EQ(Reply(*client), "150 Accepted data connection.");
    EXPECT_EQ(data.ReadAll(), "a.txt\r\n");
    EXPECT_EQ(Reply(*client), "226 Transfer complete.");
    client->SendLine("NOOP");
    EXPECT_EQ(Reply(*client), "200 NOOP command successful.");
}

TEST_F(TransferTest, TransferCommandDuringTheWaitDoesNotStealTheConnection) {
    MakeFile("a.txt", 10);
    auto client = LoggedIn();
    const std::uint16_t port = Pasv(*client);
    client->SendLine("NLST");
    EXPECT_EQ(Reply(*client), "150 Accepted data connection.");
    client->SendLine("RETR a.txt");
    EXPECT_EQ(Reply(*client), "150 File status okay; about to open data connection.");
    EXPECT_EQ(Reply(*client), "425 Can't build data connection.");
    DataChannel data;
    ASSERT_TRUE(data.Connect(port));
    EXPECT_EQ(data.ReadAll(), "a.txt\r\n");
    EXPECT_EQ(Reply(*client), "226 Transfer complete.");
}

TEST_F(TransferTest, QuitDuringTheWaitEndsTheSession) {
    auto client = LoggedIn();
    ASSERT_NE(Pasv(*client), 0);
    client->SendLine("LIST");
    EXPECT_EQ(Reply(*client), "150 Accepted data connection.");
    client->SendLine("QUIT");
    EXPECT_EQ(Reply(*client), "220 Good bye!");
    EXPECT_TRUE(client->WaitClosed(seconds(3)));
}

TEST_F(TransferTest, ClientThatNeverConnectsGetsAnAnswerAfterTenSeconds) {
    auto client = LoggedIn();
    ASSERT_NE(Pasv(*client), 0);
    client->SendLine("LIST");
    EXPECT_EQ(Reply(*client), "150 Accepted data connection.");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Reply(*client, seconds(15)), "421 Failed to create connection.");
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(9000));
    client->SendLine("NOOP");
    EXPECT_EQ(Reply(*client), "200 NOOP command successful.");
}

}  // namespace
