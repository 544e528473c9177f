// Failed-login bans, the refusal delay, per-address and per-user limits and the login
// deadline, over loopback TCP with 127.0.0.1 and 127.0.0.2 as two client addresses; the
// session cap taken from the process's descriptors, threads and memory maps.
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <thread>

#include "config/Options.h"
#include "server/FtpServer.h"
#include "server/Limits.h"
#include "server/SessionCapacity.h"
#include "server/StartSettings.h"
#include "tests/server/ServerFixture.h"
#include "tests/support/TestAccounts.h"

namespace {

using namespace std::chrono_literals;

constexpr char kRefused[] = "530 username or password incorrect.";
constexpr char kBanned[] = "421 Too many failed logins from your address, try again later.";

class AbuseLimitsTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        ASSERT_TRUE(
            SaveAccount(m_dir.ProgramDir(), FullAccessUser("alice", "Secret", m_dir.Path())));
        m_policy.failDelayMs = 0;
        ApplyPolicy();
        m_harness.RunOnServer(
            [this](CFtpServer& s) { s.LoginGuard().SetClock([this] { return m_now.load(); }); });
    }
    void ApplyPolicy() {
        m_harness.RunOnServer([this](CFtpServer& s) { s.SetLoginPolicy(m_policy); });
    }
    // A client from `source` whose greeting was read and returned.
    std::string Connect(RawFtpClient& c, const char* source = "127.0.0.1") {
        EXPECT_TRUE(c.ConnectFrom(source, m_harness.Port()));
        return c.Reply();
    }
    std::string TryLogin(RawFtpClient& c, const char* password) {
        EXPECT_EQ(c.Ask("USER alice"), kNeedPassword);
        return c.Ask(std::string("PASS ") + password);
    }
    std::vector<BanEntry> Bans() {
        std::vector<BanEntry> bans;
        m_harness.RunOnServer([&](CFtpServer& s) { bans = s.LoginGuard().Bans(); });
        return bans;
    }

    LoginPolicy m_policy;
    std::atomic<std::int64_t> m_now{1'000'000};
};

TEST(LoginDefaults, PolicyAndGuardStartFromTheSecurityKeysDefaults) {
    const OptionValues& keys = DefaultOptions();
    EXPECT_TRUE(LoginPolicy{} == LoginPolicyOf(keys));
    std::int64_t now = 1'000'000;
    CLoginGuard guard;
    guard.SetClock([&now] { return now; });
    // Attempts, window and first ban: the last failure falls inside the window for one
    // address, on its end for the other.
    for (int i = 1; i < keys.banAttempts; ++i) {
        EXPECT_EQ(guard.RecordFailure("10.0.0.1"), 0);
        EXPECT_EQ(guard.RecordFailure("10.0.0.2"), 0);
    }
    now += keys.banWindow - 1;
    EXPECT_EQ(guard.RecordFailure("10.0.0.1"), keys.banTime);
    now += 1;
    EXPECT_EQ(guard.RecordFailure("10.0.0.2"), 0);
}

TEST_F(AbuseLimitsTest, FifthFailureBansTheAddressUntilTheBanEnds) {
    RawFtpClient guesser;
    ASSERT_EQ(Connect(guesser), kGreeting);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(TryLogin(guesser, "guess"), kRefused);
    EXPECT_EQ(TryLogin(guesser, "guess"), kBanned);
    EXPECT_TRUE(guesser.WaitClosed());
    EXPECT_TRUE(m_harness.Sink().WaitForLog("Login failed from 127.0.0.1 for user \"alice\".", 5s));
    EXPECT_TRUE(
        m_harness.Sink().WaitForLog("Banned 127.0.0.1 for 3600 s after 5 failed logins.", 5s));

    RawFtpClient again, other;
    EXPECT_EQ(Connect(again), kBanned);  // at connect, the right password never asked
    EXPECT_TRUE(again.WaitClosed());
    EXPECT_EQ(Connect(other, "127.0.0.2"), kGreeting);  // another address is not banned
    EXPECT_EQ(TryLogin(other, "Secret"), kLoggedIn);
    ASSERT_EQ(Bans().size(), 1u);
    EXPECT_EQ(Bans()[0].address, "127.0.0.1");

    m_now += 3599;
    EXPECT_EQ(Connect(again), kBanned);
    m_now += 1;
    EXPECT_EQ(Connect(again), kGreeting);
    EXPECT_TRUE(Bans().empty());
    // A repeat offender is banned twice as long.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(TryLogin(again, "guess"), kRefused);
    EXPECT_EQ(TryLogin(again, "guess"), kBanned);
    ASSERT_EQ(Bans().size(), 1u);
    EXPECT_EQ(Bans()[0].until - m_now, 7200);
    EXPECT_EQ(Bans()[0].offences, 2);
}

TEST_F(AbuseLimitsTest, SuccessForgetsFailuresAndOldFailuresLeaveTheWindow) {
    RawFtpClient c;
    ASSERT_EQ(Connect(c), kGreeting);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(TryLogin(c, "guess"), kRefused);
    EXPECT_EQ(TryLogin(c, "Secret"), kLoggedIn);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(TryLogin(c, "guess"), kRefused);
    m_now += 601;  // the four are out of the 10-minute window
    for (int i = 0; i < 4; ++i) EXPECT_EQ(TryLogin(c, "guess"), kRefused);
    EXPECT_TRUE(Bans().empty());
}

TEST_F(AbuseLimitsTest, RefusalDelayHoldsOnlyTheGuessingSession) {
    m_policy.failDelayMs = 3000;
    m_policy.banAttempts = 0;
    ApplyPolicy();
    RawFtpClient worker;
    ASSERT_EQ(Connect(worker, "127.0.0.2"), kGreeting);
    ASSERT_EQ(TryLogin(worker, "Secret"), kLoggedIn);
    std::vector<std::unique_ptr<RawFtpClient>> storm;
    for (int i = 0; i < 4; ++i) {
        storm.push_back(std::make_unique<RawFtpClient>());
        ASSERT_EQ(Connect(*storm.back()), kGreeting);
        // The line behind the refused PASS waits for the refusal, in order.
        ASSERT_TRUE(storm.back()->Send("USER alice\r\nPASS guess\r\nUSER bob\r\n"));
        ASSERT_EQ(storm.back()->Reply(), kNeedPassword);
    }
    // Every guesser is waiting for its refusal; the other session answers at once.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(worker.Ask("NOOP", 2s), "200 NOOP command successful.");
    for (auto& c : storm) EXPECT_EQ(c->ReadLine(0ms), std::nullopt);
    for (auto& c : storm) {
        EXPECT_EQ(c->Reply(), kRefused);
        EXPECT_EQ(c->Reply(), kNeedPassword);
    }
}

TEST_F(AbuseLimitsTest, PerAddressAndPerUserLimitsAtTheBoundary) {
    m_policy.maxPerAddress = 2;
    m_policy.maxPerUser = 1;
    ApplyPolicy();
    RawFtpClient first, second, third, fromOther;
    ASSERT_EQ(Connect(first), kGreeting);
    ASSERT_EQ(Connect(second), kGreeting);
    EXPECT_EQ(Connect(third),
              "421 Too many connections from your address, please try again later.");
    EXPECT_TRUE(third.WaitClosed());
    ASSERT_EQ(Connect(fromOther, "127.0.0.2"), kGreeting);

    EXPECT_EQ(TryLogin(first, "Secret"), kLoggedIn);
    EXPECT_EQ(TryLogin(fromOther, "Secret"),
              "530 Too many sessions of this user, please try again later.");
    EXPECT_EQ(first.Ask("QUIT"), kGoodbye);
    EXPECT_TRUE(first.WaitClosed());
    EXPECT_TRUE(
        m_harness.WaitUntil([](CFtpServer& s) { return s.Sessions().Snapshot().size() == 2; }, 5s));
    EXPECT_EQ(fromOther.Ask("PASS Secret"), kLoggedIn);
    EXPECT_EQ(Connect(third), kGreeting);  // the address has a free place again
}

// A connection handed over with its address (the way the control-line fuzz target
// reaches the session) meets the same admission as an accepted one.
TEST_F(AbuseLimitsTest, HandedOverConnectionsCountUnderTheirGivenAddress) {
    m_policy.maxPerAddress = 1;
    ApplyPolicy();
    const auto handOver = [this](RawFtpClient& client, const char* address) {
        int pair[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
        client.Adopt(pair[0]);
        m_harness.RunOnServer(
            [&](CFtpServer& s) { s.AcceptConnected(UniqueFd(pair[1]), address); });
    };
    RawFtpClient first, second, fromOther;
    handOver(first, "192.0.2.7");
    EXPECT_TRUE(first.LogIn("alice", "Secret"));
    handOver(second, "192.0.2.7");
    EXPECT_EQ(second.Reply(),
              "421 Too many connections from your address, please try again later.");
    EXPECT_TRUE(second.WaitClosed());
    handOver(fromOther, "192.0.2.8");
    EXPECT_EQ(fromOther.Reply(), kGreeting);
    std::vector<std::string> addresses;
    m_harness.RunOnServer([&](CFtpServer& s) {
        for (const auto& session : s.Sessions().Snapshot()) addresses.push_back(session.address);
    });
    std::sort(addresses.begin(), addresses.end());
    EXPECT_EQ(addresses, (std::vector<std::string>{"192.0.2.7", "192.0.2.8"}));
}

TEST_F(AbuseLimitsTest, TricklingClientsAreDroppedAtTheLoginDeadlineAndWhenIdle) {
    m_policy.loginTimeoutSeconds = 1;
    ApplyPolicy();
    m_harness.RunOnServer([](CFtpServer& s) { s.SetIdleTimeoutSeconds(1); });
    RawFtpClient squatter, worker;
    ASSERT_EQ(Connect(squatter), kGreeting);
    ASSERT_EQ(Connect(worker), kGreeting);
    ASSERT_EQ(TryLogin(worker, "Secret"), kLoggedIn);
    // Logged out again at once: having logged in, it is past the login deadline for good.
    ASSERT_EQ(worker.Ask("USER alice"), kNeedPassword);
    // One byte at a time, never a whole line: no longer keeps a session alive.
    for (int i = 0; i < 12 && (squatter.IsOpen() || worker.IsOpen()); ++i) {
        (void)squatter.Send("N");
        (void)worker.Send("N");
        std::this_thread::sleep_for(400ms);
    }
    std::string unread;
    EXPECT_TRUE(squatter.WaitClosed(5s, &unread));
    EXPECT_NE(unread.find("421 Login time exceeded, closing control connection."),
              std::string::npos);
    EXPECT_TRUE(worker.WaitClosed(5s, &unread));
    EXPECT_NE(unread.find("426 Connection timed out, aborting transfer"), std::string::npos);
    EXPECT_TRUE(m_harness.Sink().WaitForLog("127.0.0.1 did not log in in time, disconnected.", 5s));
}

}  // namespace

TEST(SessionCapacity, TheScarcestResourceBoundsTheSessions) {
    const std::size_t plenty = 1'000'000;
    // The machine's 20 000 descriptors hold 9 000 sessions with 1 000 held refusals beside.
    SessionCapacity c = CapacityOf({20'000, 1'000, plenty, plenty});
    EXPECT_GE(c.sessions, 9'000);
    EXPECT_LT(c.sessions, 9'500);
    EXPECT_EQ(c.bound, SessionBound::Descriptors);
    c = CapacityOf({20'000, 1'000, 500, plenty});
    EXPECT_EQ(c.sessions, 500 - static_cast<int>(kThreadsBesideSessions));
    EXPECT_EQ(c.bound, SessionBound::Threads);
    c = CapacityOf({20'000, 1'000, plenty, 5'000});
    EXPECT_EQ(c.sessions, static_cast<int>((5'000 - kMapsBesideSessions) / kMapsPerSession));
    EXPECT_EQ(c.bound, SessionBound::MemoryMaps);
    // No limit at all does not overflow; nothing left still admits one.
    const std::size_t none = std::numeric_limits<std::size_t>::max();
    EXPECT_EQ(CapacityOf({none, 1'000, none, none}).sessions, std::numeric_limits<int>::max());
    EXPECT_EQ(CapacityOf({10, 1'000, 0, 0}).sessions, 1);
}
