#include "tests/ftp/TransferFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "accounts/AccountEditor.h"
#include "accounts/AccountSchema.h"
#include "platform/Thread.h"
#include "server/FtpServer.h"

namespace {

// `address` (IPv4 or IPv6 text) and `port` as a socket address; `length` its size.
sockaddr_storage Loopback(std::uint16_t port, const char* address, socklen_t& length) {
    sockaddr_storage storage{};
    if (std::strchr(address, ':') != nullptr) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        ::inet_pton(AF_INET6, address, &in6->sin6_addr);
        length = sizeof *in6;
    } else {
        auto* in = reinterpret_cast<sockaddr_in*>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        ::inet_pton(AF_INET, address, &in->sin_addr);
        length = sizeof *in;
    }
    return storage;
}

std::uint16_t PortOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

bool WaitReadable(int fd, std::chrono::steady_clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(left.count())) > 0;
}

}  // namespace

std::string Pattern(std::size_t size, char salt) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + (i * 7 + i / 251 + static_cast<std::size_t>(salt)) % 26);
    return bytes;
}

DataChannel::~DataChannel() { Close(); }

bool DataChannel::Connect(std::uint16_t port, const char* from) {
    socklen_t length = 0;
    sockaddr_storage to = Loopback(port, m_host, length);
    m_fd = ::socket(to.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (from != nullptr) {
        socklen_t localLength = 0;
        sockaddr_storage local = Loopback(0, from, localLength);
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&local), localLength) != 0) return false;
    }
    return ::connect(m_fd, reinterpret_cast<sockaddr*>(&to), length) == 0;
}

std::uint16_t DataChannel::Listen() {
    socklen_t length = 0;
    sockaddr_storage local = Loopback(0, m_host, length);
    m_listenFd = ::socket(local.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&local), length) != 0 ||
        ::listen(m_listenFd, 1) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return PortOf(local);
}

bool DataChannel::Accept(std::chrono::milliseconds deadline) {
    if (!WaitReadable(m_listenFd, std::chrono::steady_clock::now() + deadline)) return false;
    m_fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    return m_fd >= 0;
}

std::string DataChannel::ReadSome(std::size_t count, std::chrono::milliseconds deadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    std::string out;
    char chunk[65536];
    while (out.size() < count && WaitReadable(m_fd, until)) {
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        out.append(chunk, static_cast<std::size_t>(n));
    }
    return out;
}

std::string DataChannel::ReadAll(std::chrono::milliseconds deadline) {
    return ReadSome(static_cast<std::size_t>(-1), deadline);
}

bool DataChannel::SendAll(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool DataChannel::WaitClosed(std::chrono::milliseconds deadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    char chunk[65536];
    while (WaitReadable(m_fd, until)) {
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0) return true;
    }
    return false;
}

void DataChannel::Close() {
    if (m_fd >= 0) ::close(m_fd);
    if (m_listenFd >= 0) ::close(m_listenFd);
    m_fd = m_listenFd = -1;
}

void DataChannel::Reset() {
    if (m_fd < 0) return;
    linger hard{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    Close();
}

void TransferTest::SetUp() {
    std::string error;
    ASSERT_TRUE(EnsureAccountTables(m_dir.ProgramDir(), error)) << error;
    m_home = m_dir.Path("home");
    std::filesystem::create_directory(m_home);
    SaveAlice();
    ASSERT_TRUE(m_harness.Start());
}

void TransferTest::TearDown() {
    EXPECT_TRUE(m_harness.WaitUntil(
        [](CFtpServer& server) {
            return server.CurrentConnections() == 0 && CThread::AliveCount() == 0;
        },
        std::chrono::seconds(10)));
}

void TransferTest::SaveAlice(const std::function<void(UserRecord&)>& edit) {
    UserRecord user;
    (void)ReadUser(m_dir.ProgramDir(), "alice", user);
    user.name = "alice";
    user.password = "secret";
    user.homeDir = m_home;
    user.status = "1";
    user.permissions.granted.fill(true);
    if (edit) edit(user);
    CAccountEditor editor(m_dir.ProgramDir());
    std::vector<VirtualFolder> folders;
    (void)ReadFolders(UserFolderTablePath(m_dir.ProgramDir(), user.id), folders);
    ASSERT_TRUE(editor.SaveUser(user, folders)) << editor.GetLastError();
}

UserRecord TransferTest::ReadAlice() {
    UserRecord user;
    EXPECT_TRUE(ReadUser(m_dir.ProgramDir(), "alice", user));
    return user;
}

std::unique_ptr<RawFtpClient> TransferTest::LoggedIn(const char* address) {
    auto client = std::make_unique<RawFtpClient>();
    EXPECT_TRUE(client->ConnectTo(address, m_harness.Port()));
    EXPECT_TRUE(client->LogIn("alice", "secret"));
    return client;
}

std::uint16_t TransferTest::Pasv(RawFtpClient& client) {
    client.SendLine("PASV");
    const std::string reply = client.Reply();
    unsigned a, b, c, d, high, low;
    if (std::sscanf(reply.c_str(), "227 Entering Passive Mode (%u,%u,%u,%u,%u,%u).", &a, &b, &c, &d,
                    &high, &low) != 6) {
        ADD_FAILURE() << "PASV answered: " << reply;
        return 0;
    }
    EXPECT_EQ(a * 1000000 + b * 10000 + c * 100 + d, 127000001u) << reply;
    return static_cast<std::uint16_t>(high * 256 + low);
}

bool TransferTest::WaitForEvents(TransferEvent event, int count) {
    return m_harness.WaitUntil(
        [&](CFtpServer& server) { return server.EventCount(event) >= count; },
        std::chrono::seconds(5));
}

std::string TransferTest::MakeFile(const std::string& name, std::size_t size) {
    std::string bytes = Pattern(size);
    WriteFile(m_home + "/" + name, bytes);
    return bytes;
}
