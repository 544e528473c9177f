// Line framing and the dispatcher's shared rules, over real loopback connections,
// before login (every command but USER, PASS, QUIT and BYE is refused with 530).
#include <chrono>
#include <string>
#include <vector>

#include "server/FtpServer.h"
#include "server/Limits.h"
#include "tests/server/ServerFixture.h"

using namespace std::chrono_literals;

namespace {
// Long enough to notice a reply that should not come, short enough to keep the run quick.
constexpr auto kQuiet = 300ms;
}  // namespace

TEST_F(ServerTest, PipelinedLinesAreAnsweredInOrderAndArgumentRuleComesBeforeLogin) {
    auto client = Greeted();
    ASSERT_TRUE(client->Send("CWD\r\nFOO bar\r\nnoop\r\nCWD x\r\nHELP\r\n"));
    EXPECT_EQ(client->ReadLine(), kSyntaxError);  // missing argument beats the login rule
    EXPECT_EQ(client->ReadLine(), kLoginFirst);   // unknown keyword
    EXPECT_EQ(client->ReadLine(), kLoginFirst);
    EXPECT_EQ(client->ReadLine(), kLoginFirst);
    EXPECT_EQ(client->ReadLine(), kLoginFirst);
    // A later segment is still served.
    ASSERT_TRUE(client->SendLine("cwd"));
    EXPECT_EQ(client->ReadLine(), kSyntaxError);
}

TEST_F(ServerTest, OnlyCrLfEndsALine) {
    auto client = Greeted();
    // Were LF or CR a line end, "CWD" would stand alone and get 501; kept inside the
    // line it makes an unknown keyword.
    ASSERT_TRUE(client->Send("CWD\n"));
    EXPECT_TRUE(client->StaysQuiet(kQuiet)) << "a lone LF ran the line";
    ASSERT_TRUE(client->Send("\r\n"));
    EXPECT_EQ(client->ReadLine(), kLoginFirst);
    ASSERT_TRUE(client->Send("CWD\r"));
    EXPECT_TRUE(client->StaysQuiet(kQuiet)) << "a lone CR ran the line";
    ASSERT_TRUE(client->Send("\r\n"));
    EXPECT_EQ(client->ReadLine(), kLoginFirst);
    // Nothing of either line was left behind.
    ASSERT_TRUE(client->SendLine("CWD"));
    EXPECT_EQ(client->ReadLine(), kSyntaxError);
}

TEST_F(ServerTest, EmptyAndBlankLeadingLinesGetNoReply) {
    auto client = Greeted();
    // CR LF CR LF: an empty line; blanks only and a leading blank: an empty keyword.
    ASSERT_TRUE(client->Send("CWD\r\n\r\n     \r\n NOOP\r\nCWD\r\n"));
    EXPECT_EQ(client->ReadLine(), kSyntaxError);
    EXPECT_EQ(client->ReadLine(), kSyntaxError) << "an empty or blank line was answered";
    EXPECT_TRUE(client->StaysQuiet(kQuiet));
}

TEST_F(ServerTest, NulLineIsRefusedAndControlBytesReachTheLogReplaced) {
    auto client = Greeted();
    const std::size_t logBefore = m_harness.Sink().LogCount();
    // The NUL costs its line only: the line after it, in the same chunk, is still run.
    ASSERT_TRUE(client->Send(std::string("CWD\0 /etc\x1b[2J\x7f\r\nCWD\r\n", 21)));
    EXPECT_EQ(client->ReadLine(), kSyntaxError);
    EXPECT_EQ(client->ReadLine(), kSyntaxError);
    EXPECT_TRUE(client->StaysQuiet(kQuiet));
    // No escape sequence, nor any other control byte, reaches the log raw.
    EXPECT_TRUE(m_harness.Sink().WaitForLog(">> CWD? /etc?[2J?", 5s, logBefore));
}

TEST_F(ServerTest, LineSplitIntoOneByteSegmentsGivesOneReply) {
    auto client = Greeted();
    const std::string line = "CWD\r\n";
    const std::int64_t before = m_harness.BytesReceived();
    for (std::size_t i = 0; i < line.size(); ++i) {
        ASSERT_TRUE(client->Send(line.substr(i, 1)));
        // Each byte is received on its own before the next one is sent.
        ASSERT_TRUE(m_harness.WaitUntil(
            [&](CFtpServer& server) {
                return server.BytesReceived() == before + static_cast<std::int64_t>(i + 1);
            },
            5s));
    }
    EXPECT_EQ(client->ReadLine(), kSyntaxError);
    EXPECT_TRUE(client->StaysQuiet(kQuiet));
}

TEST_F(ServerTest, TelnetInterruptBytesBeforeAborMakeOneCommand) {
    auto client = Greeted();
    ASSERT_TRUE(
        client->Send("\xff\xf4\xff\xf2"
                     "ABOR\r\n"));
    EXPECT_EQ(client->ReadLine(), kLoginFirst);
    ASSERT_TRUE(client->Send("xabor\r\n"));
    EXPECT_EQ(client->ReadLine(), kLoginFirst);
    EXPECT_TRUE(client->StaysQuiet(kQuiet));
    ASSERT_TRUE(client->SendLine("QUIT"));
    EXPECT_EQ(client->ReadLine(), kGoodbye);
}

TEST_F(ServerTest, FullReceiveBufferIsKeptAndOneByteMoreEndsTheSession) {
    auto client = Greeted();
    const std::int64_t before = m_harness.BytesReceived();
    ASSERT_TRUE(client->Send(std::string(kMaxReceiveBuffer, 'A')));
    ASSERT_TRUE(m_harness.WaitUntil(
        [&](CFtpServer& server) {
            return server.BytesReceived() == before + static_cast<std::int64_t>(kMaxReceiveBuffer);
        },
        5s));
    EXPECT_TRUE(client->StaysQuiet(kQuiet)) << "4096 bytes without CR LF ended the session";
    EXPECT_EQ(m_harness.CurrentConnections(), 1);

    const std::size_t logBefore = m_harness.Sink().LogCount();
    ASSERT_TRUE(client->Send("B\r\n"));
    std::string unread;
    EXPECT_TRUE(client->WaitClosed(5s, &unread));
    EXPECT_EQ(unread, "") << "an overflowing session got a reply";
    // CR and LF are shown as "?" so that a log line stays one line.
    EXPECT_TRUE(m_harness.Sink().WaitForLog("error command: B??", 5s, logBefore));
    EXPECT_TRUE(WaitForNoSessions());
}

TEST_F(ServerTest, OverlongLineLogShowsNoPassword) {
    auto client = Greeted();
    const std::string user = "USER " + std::string(4080, 'u');
    const std::int64_t before = m_harness.BytesReceived();
    ASSERT_TRUE(client->Send(user));
    ASSERT_TRUE(m_harness.WaitUntil(
        [&](CFtpServer& server) {
            return server.BytesReceived() == before + static_cast<std::int64_t>(user.size());
        },
        5s));
    const std::size_t logBefore = m_harness.Sink().LogCount();
    ASSERT_TRUE(client->Send("\r\nPASS secret\r\n"));
    EXPECT_TRUE(client->WaitClosed(5s));
    EXPECT_TRUE(m_harness.Sink().WaitForLog("error command: ??PASS ****??", 5s, logBefore));
    for (const std::string& text : m_harness.Sink().LogTexts())
        EXPECT_EQ(text.find("secret"), std::string::npos) << text;
}

TEST_F(ServerTest, PasswordReachesNeitherLogNorWindow) {
    auto client = Greeted();
    ASSERT_TRUE(client->Send("pass Se cret\r\nNOOP x\r\n"));
    (void)client->ReadLine();
    EXPECT_EQ(client->ReadLine(), kLoginFirst);
    const std::vector<std::string> shown = m_harness.Sink().CommandLines();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], "PASS ****");
    EXPECT_EQ(shown[1], "NOOP x");  // other lines reach the window as received
    EXPECT_TRUE(m_harness.Sink().WaitForLog(">> PASS ****", 5s));
    for (const std::string& text : m_harness.Sink().LogTexts())
        EXPECT_EQ(text.find("cret"), std::string::npos) << text;
}

TEST_F(ServerTest, OverlongLineInOneGoEndsTheSessionWithoutReply) {
    auto client = Greeted();
    ASSERT_TRUE(client->Send(std::string(kMaxReceiveBuffer + 1, 'A')));
    std::string unread;
    EXPECT_TRUE(client->WaitClosed(5s, &unread));
    EXPECT_EQ(unread, "");
    EXPECT_TRUE(WaitForNoSessions());
}

TEST_F(ServerTest, ResetMidLineEndsTheSession) {
    auto client = Greeted();
    ASSERT_TRUE(client->Send("CWD /half-a-li"));
    client->Reset();
    EXPECT_TRUE(WaitForNoSessions());
    EXPECT_TRUE(m_harness.Sink().WaitForLog("127.0.0.1 has disconnected from server.", 5s));
    EXPECT_EQ(m_harness.Sink().SessionsRemoved(), 1u);
}

TEST_F(ServerTest, QuitAndByeAnswerWithTheGoodbyeTextAndEndTheSession) {
    for (const char* command : {"QUIT", "bye"}) {
        auto client = Greeted();
        ASSERT_TRUE(client->SendLine(command));
        EXPECT_EQ(client->ReadLine(), kGoodbye) << command;
        std::string unread;
        EXPECT_TRUE(client->WaitClosed(5s, &unread)) << command;
        EXPECT_EQ(unread, "") << command;
        EXPECT_TRUE(WaitForNoSessions()) << command;
    }
    EXPECT_EQ(m_harness.Sink().CountLog("127.0.0.1 has disconnected from server."), 2u);
}

TEST_F(ServerTest, IdleClientIsDroppedWhenDueAndNeverWithTimeoutZero) {
    m_harness.RunOnServer([](CFtpServer& server) { server.SetIdleTimeoutSeconds(1); });
    auto client = Greeted();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client->ReadLine(5s), "426 Connection timed out, aborting transfer");
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LE(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 3500);
    EXPECT_TRUE(client->WaitClosed());
    EXPECT_TRUE(WaitForNoSessions());
    // 0 switches the time-out off (it used to drop the client within a second or two).
    m_harness.RunOnServer([](CFtpServer& server) { server.SetTimeout(0); });
    auto patient = Greeted();
    EXPECT_EQ(patient->ReadLine(2500ms), std::nullopt);
    ASSERT_TRUE(patient->SendLine("NOOP"));
    EXPECT_EQ(patient->ReadLine(), kLoginFirst);
}
