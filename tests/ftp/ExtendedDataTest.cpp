// EPSV and EPRT, sessions over IPv6 loopback, and IPv6 entries of the IP filter.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

#include "config/IpFilter.h"
#include "server/FtpServer.h"
#include "tests/ftp/TransferFixture.h"

namespace {

using std::chrono::milliseconds;

// The port of a 229 reply, 0 when the reply is another.
std::uint16_t EpsvPort(const std::string& reply) {
    unsigned port = 0;
    char close = 0;
    if (std::sscanf(reply.c_str(), "229 Entering Extended Passive Mode (|||%u|%c", &port, &close) !=
            2 ||
        close != ')')
        return 0;
    return static_cast<std::uint16_t>(port);
}

class ExtendedDataTest : public TransferTest {
protected:
    std::uint16_t Epsv(RawFtpClient& client) {
        client.SendLine("EPSV");
        const std::string reply = client.Reply();
        const std::uint16_t port = EpsvPort(reply);
        EXPECT_NE(port, 0) << reply;
        return port;
    }
    // Whether a client from `address` gets the greeting (true) or the refusal.
    bool Admitted(const char* address) {
        RawFtpClient client;
        EXPECT_TRUE(client.ConnectTo(address, m_harness.Port()));
        const std::string greeting = client.Reply();
        if (greeting == "421 Access denied, IP address was rejected by the server.") return false;
        EXPECT_EQ(greeting, "220 Welcome to Tarvona FTP Server!");
        return true;
    }
    void SetFilter(FilterMode mode, const std::string& allow, const std::string& deny) {
        m_harness.RunOnServer([&](CFtpServer& server) {
            server.SetFilterLists(allow, deny);
            server.SetFilterMode(mode);
        });
    }
};

TEST_F(ExtendedDataTest, EprtRefusesOtherHostsBadSyntaxAndUnknownProtocols) {
    auto client = LoggedIn();
    const std::pair<const char*, const char*> cases[] = {
        {"EPRT |1|10.0.0.1|5000|", "501 EPRT address does not match the client address."},
        {"EPRT |1|127.0.0.2|5000|", "501 EPRT address does not match the client address."},
        {"EPRT |2|::1|5000|", "501 EPRT address does not match the client address."},
        {"EPRT |3|127.0.0.1|5000|", "522 Network protocol not supported, use (1)"},
        {"EPRT |1|127.0.0.1|0|", "501 Syntax error: Invalid parameter."},
        {"EPRT |1|127.0.0.1|65536|", "501 Syntax error: Invalid parameter."},
        {"EPRT |1|127.0.0.1|21|", "501 EPRT to a port below 1024 is not allowed."},
        {"EPRT |1|127.0.0.1|1023|", "501 EPRT to a port below 1024 is not allowed."},
        {"EPRT |1|::1|5000|", "501 Syntax error: Invalid parameter."},
        {"EPRT |1|127.0.0.1|5000", "501 Syntax error: Invalid parameter."},
        {"EPRT |1|127.0.0.1|50|00|", "501 Syntax error: Invalid parameter."},
        {"EPRT 1|127.0.0.1|5000|", "501 Syntax error: Invalid parameter."},
        {"EPRT |x|127.0.0.1|5000|", "501 Syntax error: Invalid parameter."},
    };
    for (const auto& [line, reply] : cases) {
        client->SendLine(line);
        EXPECT_EQ(client->Reply(), reply) << line;
    }
    client->SendLine("EPRT");
    EXPECT_EQ(client->Reply(), "501 Syntax error in parameters or arguments.");
    // None of them left a target behind.
    client->SendLine("NLST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    EXPECT_EQ(client->Reply(), "425 Can't build data connection.");
}

TEST_F(ExtendedDataTest, EprtConnectsBackToTheClient) {
    MakeFile("a.txt", 10);
    auto client = LoggedIn();
    DataChannel data;
    const std::uint16_t port = data.Listen();
    // Another delimiter and a mapped spelling of the client's own address are fine.
    client->SendLine("EPRT !2!::ffff:127.0.0.1!" + std::to_string(port) + "!");
    EXPECT_EQ(client->Reply(), "200 EPRT command successful.");
    client->SendLine("NLST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    ASSERT_TRUE(data.Accept());
    EXPECT_EQ(data.ReadAll(), "a.txt\r\n");
    EXPECT_EQ(client->Reply(), "226 Transfer complete.");
}

TEST_F(ExtendedDataTest, EpsvConnectionFromAnotherAddressIsTurnedAway) {
    MakeFile("a.txt", 10);
    auto client = LoggedIn();
    const std::uint16_t port = Epsv(*client);
    client->SendLine("NLST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    DataChannel intruder;
    ASSERT_TRUE(intruder.Connect(port, "127.0.0.2"));
    EXPECT_TRUE(intruder.WaitClosed());
    EXPECT_TRUE(client->StaysQuiet(milliseconds(300)));
    DataChannel data;
    ASSERT_TRUE(data.Connect(port));
    EXPECT_EQ(data.ReadAll(), "a.txt\r\n");
    EXPECT_EQ(client->Reply(), "226 Transfer complete.");
}

TEST_F(ExtendedDataTest, EpsvProtocolsAndEpsvAll) {
    MakeFile("a.txt", 10);
    auto client = LoggedIn();
    client->SendLine("EPSV 2");
    EXPECT_EQ(client->Reply(), "522 Network protocol not supported, use (1)");
    client->SendLine("EPSV 7");
    EXPECT_EQ(client->Reply(), "522 Network protocol not supported, use (1)");
    client->SendLine("EPSV x");
    EXPECT_EQ(client->Reply(), "501 Syntax error: Invalid parameter.");
    client->SendLine("EPSV 1");
    EXPECT_NE(EpsvPort(client->Reply()), 0);
    client->SendLine("EPSV all");
    EXPECT_EQ(client->Reply(), "200 EPSV ALL command successful.");
    client->SendLine("PORT 127,0,0,1,4,1");
    EXPECT_EQ(client->Reply(), "503 PORT not allowed after EPSV ALL.");
    client->SendLine("PASV");
    EXPECT_EQ(client->Reply(), "503 PASV not allowed after EPSV ALL.");
    client->SendLine("EPRT |1|127.0.0.1|5000|");
    EXPECT_EQ(client->Reply(), "503 EPRT not allowed after EPSV ALL.");
    // The EPSV socket made before the refusals is still the one used.
    DataChannel data;
    ASSERT_TRUE(data.Connect(Epsv(*client)));
    client->SendLine("RETR a.txt");
    EXPECT_EQ(client->Reply(), "150 File status okay; about to open data connection.");
    EXPECT_EQ(data.ReadAll(), Pattern(10));
    EXPECT_EQ(client->Reply(), "226 Transfer complete.");
}

TEST_F(ExtendedDataTest, EpsvBeforeLoginNeedsLogin) {
    RawFtpClient client;
    ASSERT_TRUE(client.Connect(m_harness.Port()));
    EXPECT_EQ(client.Reply(), "220 Welcome to Tarvona FTP Server!");
    for (const char* line : {"EPSV", "EPRT |1|127.0.0.1|5000|", "MLSD", "MLST", "STAT"}) {
        client.SendLine(line);
        EXPECT_EQ(client.Reply(), "530 Please login with USER and PASS.") << line;
    }
}

TEST_F(ExtendedDataTest, Ipv6ClientUsesExtendedCommands) {
    if (!HaveIpv6Loopback()) GTEST_SKIP() << "no IPv6 loopback (::1) on this machine";
    MakeFile("a.txt", 10);
    auto client = LoggedIn("::1");
    EXPECT_TRUE(
        m_harness.Sink().WaitForLog("::1 has connected to server.", std::chrono::seconds(5)));
    client->SendLine("PASV");
    EXPECT_EQ(client->Reply(), "501 PASV is not available over IPv6; use EPSV.");
    client->SendLine("P@SW");
    EXPECT_EQ(client->Reply(), "501 PASV is not available over IPv6; use EPSV.");
    client->SendLine("PORT 127,0,0,1,4,1");
    EXPECT_EQ(client->Reply(), "501 PORT is not available over IPv6; use EPRT.");
    client->SendLine("EPSV 1");
    EXPECT_EQ(client->Reply(), "522 Network protocol not supported, use (2)");
    client->SendLine("EPRT |2|::2|5000|");
    EXPECT_EQ(client->Reply(), "501 EPRT address does not match the client address.");

    DataChannel passive("::1");
    ASSERT_TRUE(passive.Connect(Epsv(*client)));
    client->SendLine("NLST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    EXPECT_EQ(passive.ReadAll(), "a.txt\r\n");
    EXPECT_EQ(client->Reply(), "226 Transfer complete.");

    DataChannel active("::1");
    const std::uint16_t port = active.Listen();
    // Any spelling of the client's address names it.
    client->SendLine("EPRT |2|0:0:0:0:0:0:0:1|" + std::to_string(port) + "|");
    EXPECT_EQ(client->Reply(), "200 EPRT command successful.");
    client->SendLine("RETR a.txt");
    EXPECT_EQ(client->Reply(), "150 File status okay; about to open data connection.");
    ASSERT_TRUE(active.Accept());
    EXPECT_EQ(active.ReadAll(), Pattern(10));
    EXPECT_EQ(client->Reply(), "226 Transfer complete.");

    client->SendLine("STAT");
    EXPECT_EQ(client->Reply(), "211-Tarvona FTP Server status:");
    EXPECT_EQ(client->Reply(), " Connected from ::1");
}

TEST_F(ExtendedDataTest, FilterEntriesMayBeIpv6Addresses) {
    if (!HaveIpv6Loopback()) GTEST_SKIP() << "no IPv6 loopback (::1) on this machine";
    // Deny list: an IPv6 entry refuses that client only, in any spelling and case.
    SetFilter(FilterMode::RefuseDenied, "", "0:0:0:0:0:0:0:1");
    EXPECT_FALSE(Admitted("::1"));
    EXPECT_TRUE(Admitted("127.0.0.1"));
    // A different address that contains the text "::1".
    SetFilter(FilterMode::RefuseDenied, "", "::1:0");
    EXPECT_TRUE(Admitted("::1"));
    // Allow list: IPv4 clients reach the dual-stack listener as mapped addresses and
    // still match their IPv4 entries.
    SetFilter(FilterMode::AllowedOnly, "127.0.0.*", "");
    EXPECT_TRUE(Admitted("127.0.0.1"));
    EXPECT_FALSE(Admitted("::1"));
    SetFilter(FilterMode::AllowedOnly, "127.0.0.1,::1", "");
    EXPECT_TRUE(Admitted("::1"));
    EXPECT_TRUE(Admitted("127.0.0.1"));
}

}  // namespace
