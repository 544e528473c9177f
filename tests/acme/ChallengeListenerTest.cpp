// The HTTP-01 listener on a real loopback port: the token's key authorization, 404 and
// 400 for everything else, a silent client that does not hold up the CA's request, and
// the port closed again.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "acme/ChallengeListener.h"

namespace {

int Connect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Sends `request` and reads the reply until the server closes (at most 10 s).
std::string Exchange(int port, const std::string& request) {
    const int fd = Connect(port);
    if (fd < 0) return "refused";
    (void)::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string reply;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    pollfd watched{fd, POLLIN, 0};
    while (std::chrono::steady_clock::now() < end && ::poll(&watched, 1, 100) >= 0) {
        if (watched.revents == 0) continue;
        char buffer[512];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        reply.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return reply;
}

class ChallengeListenerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(m_listener.Open({{"tok-EN_1", "tok-EN_1.thumb"}}, error)) << error;
    }
    const int m_port = FreePort();
    CChallengeListener m_listener{{"127.0.0.1"}, m_port};
};

}  // namespace

TEST_F(ChallengeListenerTest, ServesOnlyTheTokensOfTheOrder) {
    const std::string ok = Exchange(m_port,
                                    "GET /.well-known/acme-challenge/tok-EN_1 HTTP/1.1\r\n"
                                    "Host: a.example\r\n\r\n");
    EXPECT_EQ(ok.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << ok;
    EXPECT_NE(ok.find("Content-Type: text/plain"), std::string::npos);
    EXPECT_EQ(ok.substr(ok.size() - 14), "tok-EN_1.thumb");
    for (const char* target : {"/.well-known/acme-challenge/other", "/.well-known/acme-challenge/",
                               "/.well-known/acme-challenge/tok-EN_1/../tok-EN_1",
                               "/.well-known/acme-challenge/tok-EN_1%00", "/", "/etc/passwd"}) {
        const std::string reply =
            Exchange(m_port, std::string("GET ") + target + " HTTP/1.1\r\n\r\n");
        EXPECT_EQ(reply.rfind("HTTP/1.1 404", 0), 0u) << target << ": " << reply;
    }
    EXPECT_EQ(Exchange(m_port, "POST /.well-known/acme-challenge/tok-EN_1 HTTP/1.1\r\n\r\n")
                  .rfind("HTTP/1.1 404", 0),
              0u);
}

TEST_F(ChallengeListenerTest, GarbageAndOversizedRequestsGet400) {
    EXPECT_EQ(
        Exchange(m_port, std::string("\x16\x03\x01\x00\xff\r\n\r\n", 9)).rfind("HTTP/1.1 400", 0),
        0u);
    EXPECT_EQ(Exchange(m_port, "GET\r\n\r\n").rfind("HTTP/1.1 400", 0), 0u);
    const std::string huge = "GET /" + std::string(10000, 'a');  // no end of head
    EXPECT_EQ(Exchange(m_port, huge).rfind("HTTP/1.1 400", 0), 0u);
    // Still serving after all that.
    EXPECT_EQ(Exchange(m_port, "GET /.well-known/acme-challenge/tok-EN_1 HTTP/1.0\n\n")
                  .rfind("HTTP/1.1 200", 0),
              0u);
}

TEST_F(ChallengeListenerTest, SilentClientsDoNotHoldUpOthersAndTheCloseRefuses) {
    int silent[40];
    for (int& fd : silent) fd = Connect(m_port);
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(Exchange(m_port, "GET /.well-known/acme-challenge/tok-EN_1 HTTP/1.1\r\n\r\n")
                  .rfind("HTTP/1.1 200", 0),
              0u);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(2))
        << "served before the silent ones time out";
    for (const int fd : silent) ::close(fd);
    m_listener.Close();
    EXPECT_EQ(Exchange(m_port, "GET / HTTP/1.1\r\n\r\n"), "refused");
}
