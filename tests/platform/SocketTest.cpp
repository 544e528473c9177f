// Socket notifications: a peer's close is reported only after its last data was read.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/EventLoop.h"
#include "platform/Socket.h"
#include "tests/support/RawFtpClient.h"

using namespace std::chrono_literals;

namespace {

// Reads in small steps so that the peer's close is already known while data waits.
class SlowReader : public CAsyncSocket {
public:
    std::string received;
    int closeCount = 0;
    std::size_t receivedAtClose = 0;

protected:
    void OnReceive(int) override {
        char chunk[100];
        long n = Receive(chunk, sizeof chunk);
        if (n > 0) received.append(chunk, static_cast<std::size_t>(n));
    }
    void OnClose(int) override {
        ++closeCount;
        receivedAtClose = received.size();
    }
};

class Acceptor : public CAsyncSocket {
public:
    std::unique_ptr<SlowReader> accepted;

protected:
    void OnAccept(int) override {
        int fd = Accept();
        if (fd < 0) return;
        accepted = std::make_unique<SlowReader>();
        if (!accepted->Attach(fd)) accepted.reset();
    }
};

}  // namespace

TEST(Socket, CloseNotificationComesAfterAllDataSentBeforeClosing) {
    EventLoop loop;
    Acceptor listener;
    ASSERT_TRUE(listener.Create(AddressFamily::V4));
    ASSERT_TRUE(listener.Bind("127.0.0.1", 0));
    ASSERT_TRUE(listener.Listen(MaxListenBacklog()));
    std::string address;
    std::uint16_t port = 0;
    ASSERT_TRUE(listener.GetSockName(address, port));

    const std::string payload(5000, 'x');
    RawFtpClient peer;
    ASSERT_TRUE(peer.Connect(port));
    ASSERT_TRUE(peer.Send(payload));
    peer.Close();  // the FIN follows the data before the server reads any of it

    ASSERT_TRUE(
        loop.RunUntil([&] { return listener.accepted && listener.accepted->closeCount > 0; }, 5s));
    // Give a second close a chance to show up.
    loop.RunUntil([] { return false; }, 100ms);
    EXPECT_EQ(listener.accepted->closeCount, 1);
    EXPECT_EQ(listener.accepted->receivedAtClose, payload.size());
    EXPECT_EQ(listener.accepted->received, payload);
}

// A socket pair's end has no IP address: asking for one fails instead of reading the
// address bytes its family leaves unset.
TEST(Socket, SocketPairEndHasNoPeerOrLocalName) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    std::string address = "unchanged";
    std::uint16_t port = 7;
    EXPECT_FALSE(CAsyncSocket::PeerNameOf(pair[0], address, port));
    CAsyncSocket socket;
    ASSERT_TRUE(socket.Attach(pair[1]));
    EXPECT_FALSE(socket.GetSockName(address, port));
    EXPECT_EQ(address, "unchanged");
    EXPECT_EQ(port, 7);
    ::close(pair[0]);
}
