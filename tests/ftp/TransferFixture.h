// A running server with one account whose home is a private directory, logged-in
// control clients, and plain TCP data channels for listings and transfers.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "accounts/AccountStore.h"
#include "server/SessionEvents.h"
#include "tests/support/RawFtpClient.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TempDir.h"

// One data connection seen from the client side: connects to a passive port (from a
// chosen local address) or accepts the server's active connection.
class DataChannel {
public:
    // A data connection on the loopback address `host` ("127.0.0.1" or "::1").
    explicit DataChannel(const char* host = "127.0.0.1") : m_host(host) {}
    ~DataChannel();
    DataChannel(const DataChannel&) = delete;
    DataChannel& operator=(const DataChannel&) = delete;

    // Connects to the host's `port`, from `from` when given.
    bool Connect(std::uint16_t port, const char* from = nullptr);
    // Listens on the host; the port for a PORT or EPRT command.
    std::uint16_t Listen();
    bool Accept(std::chrono::milliseconds deadline = std::chrono::seconds(5));
    // Everything until the server closes, or what came before the deadline.
    std::string ReadAll(std::chrono::milliseconds deadline = std::chrono::seconds(20));
    // Reads at least `count` bytes (or until closed / deadline).
    std::string ReadSome(std::size_t count,
                         std::chrono::milliseconds deadline = std::chrono::seconds(5));
    bool SendAll(std::string_view bytes);
    // True when the server closed this connection within `deadline`.
    bool WaitClosed(std::chrono::milliseconds deadline = std::chrono::seconds(5));
    void Close();
    // Aborts with a reset instead of an orderly close.
    void Reset();

private:
    const char* m_host;
    int m_fd = -1;
    int m_listenFd = -1;
};

class TransferTest : public testing::Test {
protected:
    void SetUp() override;
    // Waits for every session thread to be gone: a thread still finishing when the
    // harness destroys the server's loop would post to a dead loop.
    void TearDown() override;

    // Writes the account "alice" (password "secret", home m_home, every permission);
    // `edit` may change it first.
    void SaveAlice(const std::function<void(UserRecord&)>& edit = {});
    UserRecord ReadAlice();
    // A client logged in as alice over the loopback address `address`.
    std::unique_ptr<RawFtpClient> LoggedIn(const char* address = "127.0.0.1");
    // Sends PASV and returns the announced port (0 when the reply is not a 227).
    std::uint16_t Pasv(RawFtpClient& client);
    // Waits until the server has counted `count` transfer events of `kind`.
    bool WaitForEvents(TransferEvent event, int count);
    // A file of `size` bytes in the home directory with a recognisable pattern.
    std::string MakeFile(const std::string& name, std::size_t size);

    TempDir m_dir;
    std::string m_home;
    ServerHarness m_harness{m_dir.ProgramDir()};
};

// `size` bytes of a pattern that shows misplaced offsets.
std::string Pattern(std::size_t size, char salt = 0);
