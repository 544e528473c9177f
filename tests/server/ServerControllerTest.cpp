// The controller: start and stop, admission under a burst, counters and settings.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Thread.h"
#include "server/FtpServer.h"
#include "tests/server/ServerFixture.h"

using namespace std::chrono_literals;

TEST_F(ServerTest, StartWhileRunningFailsSilentlyAndStopWhileStoppedLogsNothing) {
    const std::size_t before = m_harness.Sink().LogCount();
    bool again = true;
    m_harness.RunOnServer([&](CFtpServer& server) { again = server.Start(); });
    EXPECT_FALSE(again);
    EXPECT_EQ(m_harness.Sink().LogCount(), before);
    m_harness.Stop();
    const std::size_t afterStop = m_harness.Sink().LogCount();
    m_harness.Stop();
    EXPECT_EQ(m_harness.Sink().LogCount(), afterStop);
}

TEST_F(ServerTest, StartOnAPortInUseFailsThenAFreePortWorks) {
    m_harness.Stop();
    HeldPort holder;
    ASSERT_NE(holder.Port(), 0);
    EXPECT_FALSE(m_harness.Start(holder.Port()));
    EXPECT_EQ(
        m_harness.Sink().CountLog("Server cannot run on port " + std::to_string(holder.Port()) +
                                  ". Address already in use."),
        1u);
    bool running = true;
    m_harness.RunOnServer([&](CFtpServer& server) { running = server.IsRunning(); });
    EXPECT_FALSE(running);

    ASSERT_TRUE(m_harness.Start(0));
    auto client = Greeted();
    ASSERT_TRUE(client->SendLine("QUIT"));
    EXPECT_EQ(client->ReadLine(), kGoodbye);
}

TEST_F(ServerTest, StopWithOpenSessionsLogsTheirEndsFirstAndLeavesNoThread) {
    std::vector<std::unique_ptr<RawFtpClient>> clients;
    for (int i = 0; i < 3; ++i) clients.push_back(Greeted());
    ASSERT_TRUE(m_harness.WaitUntil(
        [](CFtpServer& server) { return server.CurrentConnections() == 3; }, 5s));
    m_harness.Stop();
    EXPECT_EQ(CThread::AliveCount(), 0u);
    EXPECT_EQ(m_harness.CurrentConnections(), 0);
    const auto texts = m_harness.Sink().LogTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "Server is stopped.");
    std::size_t disconnects = 0;
    for (const auto& text : texts) disconnects += text == "127.0.0.1 has disconnected from server.";
    EXPECT_EQ(disconnects, 3u);
    for (auto& client : clients) {
        std::string unread;
        EXPECT_TRUE(client->WaitClosed(5s, &unread));
        EXPECT_EQ(unread, "") << "a stopped session got a reply";
    }
}

// The first IPv4 address of this machine that is not loopback; empty when it has none.
std::string NonLoopbackAddress() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return "";
    std::string found;
    for (ifaddrs* entry = list; entry != nullptr && found.empty(); entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if ((entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr) found = text;
    }
    ::freeifaddrs(list);
    return found;
}

TEST_F(ServerTest, ListensOnlyOnTheAddressesItIsGiven) {
    const std::string outside = NonLoopbackAddress();
    if (outside.empty()) GTEST_SKIP() << "no address besides loopback on this machine";
    RawFtpClient client;
    EXPECT_FALSE(client.ConnectTo(outside.c_str(), m_harness.Port(), 2s));
    EXPECT_TRUE(Greeted() != nullptr);
}

// A client that has quit no longer counts toward the user limit, even while its thread
// is still ending: clients that reconnect at once are never refused.
TEST_F(ServerTest, ClientsThatQuitAndReconnectAtOnceAreNeverRefused) {
    constexpr int kClients = 4;
    constexpr int kRounds = 250;
    // No slack at all: the place is given back before the goodbye goes out.
    m_harness.RunOnServer([](CFtpServer& server) { server.SetMaxUsers(kClients); });
    std::atomic<int> refused{0}, failed{0};
    std::vector<std::thread> clients;
    for (int n = 0; n < kClients; ++n) {
        clients.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                RawFtpClient client;
                if (!client.Connect(m_harness.Port())) {
                    ++failed;
                    continue;
                }
                const auto greeting = client.ReadLine();
                if (greeting != kGreeting) {
                    ++(greeting == kTooManyUsers ? refused : failed);
                    continue;
                }
                if (!client.SendLine("QUIT") || client.ReadLine() != kGoodbye) ++failed;
            }
        });
    }
    for (std::thread& t : clients) t.join();
    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(failed.load(), 0);
}

TEST_F(ServerTest, BurstOfClientsAdmitsExactlyMaximumUsersAndLeaksNothing) {
    constexpr int kClients = 200;
    constexpr int kMaxUsers = 10;
    m_harness.RunOnServer([](CFtpServer& server) { server.SetMaxUsers(kMaxUsers); });
    const std::size_t fdsBefore = OpenDescriptorCount();
    const std::size_t threadsBefore = ThreadCount();

    std::vector<std::unique_ptr<RawFtpClient>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<RawFtpClient>());
        ASSERT_TRUE(clients.back()->Connect(m_harness.Port(), 10s)) << "client " << i;
    }
    std::vector<RawFtpClient*> admitted;
    int refused = 0;
    for (auto& client : clients) {
        auto reply = client->ReadLine(20s);
        ASSERT_TRUE(reply.has_value());
        if (*reply == kGreeting) {
            admitted.push_back(client.get());
        } else {
            EXPECT_EQ(*reply, kTooManyUsers);
            EXPECT_TRUE(client->WaitClosed(10s));
            ++refused;
        }
    }
    EXPECT_EQ(admitted.size(), static_cast<std::size_t>(kMaxUsers));
    EXPECT_EQ(refused, kClients - kMaxUsers);
    // The admitted ones keep working.
    for (auto* client : admitted) {
        ASSERT_TRUE(client->SendLine("CWD"));
        EXPECT_EQ(client->ReadLine(), kSyntaxError);
    }
    clients.clear();
    EXPECT_TRUE(WaitForNoSessions(20s));
    // Threads leave /proc a moment after they have left the registry.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (ThreadCount() > threadsBefore && std::chrono::steady_clock::now() < deadline)
        m_harness.WaitUntil([](CFtpServer&) { return false; }, 10ms);
    EXPECT_EQ(ThreadCount(), threadsBefore);
    EXPECT_EQ(OpenDescriptorCount(), fdsBefore);
    int connections = 0;
    m_harness.RunOnServer([&](CFtpServer& server) { connections = server.Connections(); });
    EXPECT_EQ(connections, kClients);
}

TEST_F(ServerTest, CountersGrowByTheExactBytesAndSurviveStopAndStart) {
    const auto greeting = static_cast<std::int64_t>(std::string(kGreeting).size() + 2);
    auto client = Greeted();
    ASSERT_TRUE(m_harness.WaitUntil(
        [&](CFtpServer& server) { return server.BytesSent() == greeting; }, 5s));
    ASSERT_TRUE(client->SendLine("NOOP"));
    EXPECT_EQ(client->ReadLine(), kLoginFirst);
    const auto reply = static_cast<std::int64_t>(std::string(kLoginFirst).size() + 2);
    EXPECT_TRUE(m_harness.WaitUntil(
        [&](CFtpServer& server) {
            return server.BytesSent() == greeting + reply && server.BytesReceived() == 6;
        },
        5s));
    ASSERT_TRUE(client->SendLine("QUIT"));
    EXPECT_EQ(client->ReadLine(), kGoodbye);
    const std::int64_t total =
        greeting + reply + static_cast<std::int64_t>(std::string(kGoodbye).size() + 2);
    ASSERT_TRUE(WaitForNoSessions());
    EXPECT_EQ(m_harness.BytesSent(), total);
    EXPECT_EQ(m_harness.BytesReceived(), 12);

    m_harness.Stop();
    ASSERT_TRUE(m_harness.Start());
    int connections = 0;
    m_harness.RunOnServer([&](CFtpServer& server) { connections = server.Connections(); });
    EXPECT_EQ(connections, 1);
    EXPECT_EQ(m_harness.BytesSent(), total);
    EXPECT_EQ(m_harness.BytesReceived(), 12);
}

TEST_F(ServerTest, StatisticsIntervalZeroStopsTheTimerForGood) {
    m_harness.RunOnServer([](CFtpServer& server) { server.SetStatisticsInterval(20); });
    ASSERT_TRUE(m_harness.WaitUntil(
        [&](CFtpServer&) { return m_harness.Sink().StatisticTicks() >= 3; }, 5s));
    m_harness.RunOnServer([](CFtpServer& server) { server.SetStatisticsInterval(0); });
    const std::size_t ticks = m_harness.Sink().StatisticTicks();
    // Ten periods of the old interval pass with the loop dispatching.
    EXPECT_FALSE(m_harness.WaitUntil(
        [&](CFtpServer&) { return m_harness.Sink().StatisticTicks() != ticks; }, 200ms));
}

TEST_F(ServerTest, PassiveRangeKeepsMaximumAtLeastMinimum) {
    std::uint32_t minimum = 0;
    std::uint32_t maximum = 0;
    m_harness.RunOnServer([&](CFtpServer& server) {
        server.SetPassiveRange(5000, 4000);
        server.GetPassiveRange(minimum, maximum);
    });
    EXPECT_EQ(minimum, 5000u);
    EXPECT_EQ(maximum, 5000u);
}

TEST_F(ServerTest, StopRightAfterAQuitWaitsForThatSessionToEnd) {
    // The session has left the connection list but still reports its end to the
    // controller; Stop must not return before that, or the controller dies under it.
    for (int round = 0; round < 20; ++round) {
        auto client = Greeted();
        ASSERT_TRUE(client->SendLine("QUIT"));
        EXPECT_EQ(client->ReadLine(), kGoodbye);
        m_harness.Stop();
        EXPECT_EQ(CThread::AliveCount(), 0u) << "round " << round;
        ASSERT_TRUE(m_harness.Start());
    }
}
