// PORT, PASV and the wait for the data connection, with commands arriving during it.
#include <unistd.h>

#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "server/FtpServer.h"
#include "server/Limits.h"
#include "tests/ftp/TransferFixture.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST_F(TransferTest, PortRefusesMalformedArgumentsAndOtherHosts) {
    auto client = LoggedIn();
    for (const char* bad : {"PORT 127,0,0,1,4", "PORT 127,0,0,1,4,1,", "PORT 127,0,0,1,4,1,9"}) {
        client->SendLine(bad);
        EXPECT_EQ(client->Reply(), "501 Syntax error: Invalid parameter.") << bad;
    }
    for (const char* other : {"PORT 10,0,0,1,4,1", "PORT a,b,c,d,1,2", "PORT 127,0,0,2,4,1"}) {
        client->SendLine(other);
        EXPECT_EQ(client->Reply(), "501 PORT address does not match the client address.") << other;
    }
    // The client's own privileged ports are refused too, however the number is spelled.
    for (const char* low : {"PORT 127,0,0,1,0,21", "PORT 127,0,0,1,3,255", "PORT 127,0,0,1,x,y",
                            "PORT 127,0,0,1,-1,5"}) {
        client->SendLine(low);
        EXPECT_EQ(client->Reply(), "501 PORT to a port below 1024 is not allowed.") << low;
    }
    // Nothing was recorded by the refused commands.
    client->SendLine("LIST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    EXPECT_EQ(client->Reply(), "425 Can't build data connection.");
}

TEST_F(TransferTest, PortWithGarbagePortNumbersCannotConnect) {
    auto client = LoggedIn();
    client->SendLine("PORT 127, 0 ,0,001,255,x");  // blanks trimmed, padded number accepted
    EXPECT_EQ(client->Reply(), "200 Port command successful.");
    client->SendLine("LIST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    EXPECT_EQ(client->Reply(), "425 Can't build data connection.");
    client->SendLine("PORT 127,0,0,1,300,1");  // beyond 65535: never truncated to another port
    EXPECT_EQ(client->Reply(), "200 Port command successful.");
    client->SendLine("LIST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    EXPECT_EQ(client->Reply(), "425 Can't build data connection.");
}

TEST_F(TransferTest, ActiveModeServesOneTransferPerPort) {
    MakeFile("a.txt", 10);
    auto client = LoggedIn();
    DataChannel data;
    const std::uint16_t port = data.Listen();
    client->SendLine("PORT 127,0,0,1," + std::to_string(port / 256) + "," +
                     std::to_string(port % 256));
    EXPECT_EQ(client->Reply(), "200 Port command successful.");
    client->SendLine("NLST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    ASSERT_TRUE(data.Accept());
    EXPECT_EQ(data.ReadAll(), "a.txt\r\n");
    EXPECT_EQ(client->Reply(), "226 Transfer complete.");
    // The target is used once: a second listing needs a new PORT or PASV.
    client->SendLine("NLST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    EXPECT_EQ(client->Reply(), "425 Can't build data connection.");
}

TEST_F(TransferTest, PassiveConnectionFromAnotherAddressIsTurnedAway) {
    MakeFile("a.txt", 10);
    auto client = LoggedIn();
    const std::uint16_t port = Pasv(*client);
    client->SendLine("NLST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    DataChannel intruder;
    ASSERT_TRUE(intruder.Connect(port, "127.0.0.2"));
    EXPECT_TRUE(intruder.WaitClosed());
    EXPECT_TRUE(client->StaysQuiet(milliseconds(300)));  // the wait goes on
    DataChannel data;
    ASSERT_TRUE(data.Connect(port));
    EXPECT_EQ(data.ReadAll(), "a.txt\r\n");
    EXPECT_EQ(client->Reply(), "226 Transfer complete.");
}

TEST_F(TransferTest, AborDuringTheWaitAnswers426AndTheLinesBehindItRunAfter) {
    MakeFile("a.txt", 10);
    auto client = LoggedIn();
    ASSERT_NE(Pasv(*client), 0);
    client->SendLine("NLST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    // The PASV waits behind the NLST; the ABOR acts at once and gives the NLST its
    // final reply before its own.
    client->Send("PASV\r\nABOR\r\n");
    EXPECT_EQ(client->Reply(), "426 Data connection closed.");
    EXPECT_EQ(client->Reply(), "226 ABOR command successful.");
    EXPECT_EQ(client->Reply().substr(0, 4), "227 ");
    // And the session goes on normally.
    DataChannel data;
    ASSERT_TRUE(data.Connect(Pasv(*client)));
    client->SendLine("NLST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    EXPECT_EQ(data.ReadAll(), "a.txt\r\n");
    EXPECT_EQ(client->Reply(), "226 Transfer complete.");
    client->SendLine("NOOP");
    EXPECT_EQ(client->Reply(), "200 NOOP command successful.");
}

TEST_F(TransferTest, TransferCommandDuringTheWaitRunsAfterItWithoutStealingTheConnection) {
    MakeFile("a.txt", 10);
    auto client = LoggedIn();
    const std::uint16_t port = Pasv(*client);
    client->SendLine("NLST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    client->SendLine("RETR a.txt");
    EXPECT_TRUE(client->StaysQuiet(milliseconds(300))) << "RETR ran inside the wait";
    DataChannel data;
    ASSERT_TRUE(data.Connect(port));
    EXPECT_EQ(data.ReadAll(), "a.txt\r\n");
    // The listing's end and the RETR (which finds no data connection of its own) may
    // interleave; the RETR's two replies keep their order.
    std::vector<std::string> replies{client->Reply(), client->Reply(), client->Reply()};
    std::erase(replies, "226 Transfer complete.");
    EXPECT_EQ(replies,
              (std::vector<std::string>{"150 File status okay; about to open data connection.",
                                        "425 Can't build data connection."}));
}

TEST_F(TransferTest, QuitDuringTheWaitEndsTheSession) {
    auto client = LoggedIn();
    ASSERT_NE(Pasv(*client), 0);
    client->SendLine("LIST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    client->SendLine("QUIT");
    EXPECT_EQ(client->Reply(), "426 Data connection closed.");
    EXPECT_EQ(client->Reply(), "220 Good bye!");
    EXPECT_TRUE(client->WaitClosed(seconds(3)));
}

// The lines of `rounds` rounds of PASV, a transfer command (LIST and RETR f in turn) and
// `extra` (if any).
std::string TransferRounds(int rounds, const std::string& extra) {
    std::string lines;
    for (int i = 0; i < rounds; ++i)
        lines += std::string("PASV\r\n") + (i % 2 ? "RETR f\r\n" : "LIST\r\n") + extra;
    return lines;
}

TEST_F(TransferTest, TransferCommandsPipelinedDuringAWaitNeverNest) {
    MakeFile("f", 10);
    auto attacker = LoggedIn();
    const std::string burst = TransferRounds(10'000, "");
    auto sending = std::async(std::launch::async, [&] { return attacker->Send(burst); });
    EXPECT_EQ(attacker->Reply().substr(0, 4), "227 ");
    EXPECT_EQ(attacker->Reply(), "150 Accepted data connection.");
    // Everything else waits behind the first LIST, which waits for its connection.
    // (Were the lines run inside the wait, they would answer, and nest, at once.)
    int early = 0;
    while (early < 100000 && attacker->ReadLine(milliseconds(500))) ++early;
    EXPECT_EQ(early, 0);
    // Another session is served meanwhile.
    auto other = LoggedIn();
    DataChannel data;
    ASSERT_TRUE(data.Connect(Pasv(*other)));
    other->SendLine("NLST");
    EXPECT_EQ(other->Reply(), "150 Accepted data connection.");
    EXPECT_EQ(data.ReadAll(), "f\r\n");
    EXPECT_EQ(other->Reply(), "226 Transfer complete.");
    // The waiting session has taken no more of the burst than its bound.
    EXPECT_LT(m_harness.BytesReceived(), static_cast<std::int64_t>(3 * kMaxReceiveBuffer));
    m_harness.Stop();
    sending.wait();
}

TEST_F(TransferTest, TenThousandWaitsEndedByAborEachAnswerInOrder) {
    MakeFile("f", 10);
    auto attacker = LoggedIn();
    constexpr int kRounds = 10'000;
    const std::string burst = TransferRounds(kRounds, "ABOR\r\n");
    auto sending = std::async(std::launch::async, [&] { return attacker->Send(burst); });
    for (int i = 0; i < kRounds; ++i) {
        const std::string pasv = attacker->Reply();
        const std::string opened = attacker->Reply();
        const std::string closed = attacker->Reply();
        const std::string aborted = attacker->Reply();
        if (pasv.substr(0, 4) != "227 " || opened.substr(0, 4) != "150 " ||
            closed != "426 Data connection closed." || aborted != "226 ABOR command successful.") {
            ADD_FAILURE() << "round " << i << ": " << pasv << " | " << opened << " | " << closed
                          << " | " << aborted;
            break;
        }
    }
    EXPECT_TRUE(sending.get());
    auto other = LoggedIn();
    other->SendLine("NOOP");
    EXPECT_EQ(other->Reply(), "200 NOOP command successful.");
    attacker->SendLine("NOOP");
    EXPECT_EQ(attacker->Reply(), "200 NOOP command successful.");
}

TEST_F(TransferTest, ClientThatNeverConnectsGetsAnAnswerAfterTenSeconds) {
    auto client = LoggedIn();
    ASSERT_NE(Pasv(*client), 0);
    client->SendLine("LIST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client->Reply(seconds(15)), "421 Failed to create connection.");
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(9000));
    client->SendLine("NOOP");
    EXPECT_EQ(client->Reply(), "200 NOOP command successful.");
}

}  // namespace

// Passive ports are handed out in turn through the range and wrap at its end; a port
// another program holds is skipped, and two sessions never share one.
TEST_F(TransferTest, PassivePortsRotateThroughTheRangeSkippingHeldOnes) {
    // Three free ports below the system's range for outgoing connections (whose ports
    // other tests' clients take at random) and above the passive ports other tests use.
    std::unique_ptr<HeldPort> held;
    std::uint16_t low = 0;
    for (int attempt = 0; attempt < 200 && low == 0; ++attempt) {
        const auto base =
            static_cast<std::uint16_t>(20000 + (::getpid() * 7 + attempt * 3) % 10000);
        held = std::make_unique<HeldPort>(base);
        if (held->Port() == base && HeldPort(static_cast<std::uint16_t>(base + 1)).Port() != 0 &&
            HeldPort(static_cast<std::uint16_t>(base + 2)).Port() != 0)
            low = base;
    }
    ASSERT_NE(low, 0);
    m_harness.RunOnServer([&](CFtpServer& server) { server.SetPassiveRange(low, low + 2u); });
    auto first = LoggedIn();
    auto second = LoggedIn();
    EXPECT_EQ(Pasv(*first), low + 1);   // the held port is skipped
    EXPECT_EQ(Pasv(*first), low + 2);   // the next one, not the lowest free one again
    EXPECT_EQ(Pasv(*second), low + 1);  // past the end, round to the start
    EXPECT_EQ(Pasv(*first), low + 2);   // the second session keeps low + 1
}
