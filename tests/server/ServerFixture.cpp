#include "tests/server/ServerFixture.h"

#include "platform/Thread.h"
#include "server/FtpServer.h"

void ServerTest::SetUp() { ASSERT_TRUE(m_harness.Start()); }

std::unique_ptr<RawFtpClient> ServerTest::Greeted() {
    auto client = std::make_unique<RawFtpClient>();
    EXPECT_TRUE(client->Connect(m_harness.Port()));
    EXPECT_EQ(client->ReadLine(), kGreeting);
    return client;
}

bool ServerTest::WaitForNoSessions(std::chrono::milliseconds deadline) {
    return m_harness.WaitUntil(
        [](CFtpServer& server) {
            return server.CurrentConnections() == 0 && CThread::AliveCount() == 0;
        },
        deadline);
}
