// A blocking loopback client that speaks raw bytes to a control port: every wait has
// a deadline, so a silent or stuck server fails a test instead of hanging it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Replies the tests compare against, and what Reply gives when none came.
inline constexpr const char* kGreeting = "220 Welcome to Tarvona FTP Server!";
inline constexpr const char* kGoodbye = "220 Good bye!";
inline constexpr const char* kNeedPassword = "331 username ok, need password.";
inline constexpr const char* kLoggedIn = "230 User logged in. proceed.";
inline constexpr const char* kNoReply = "<no reply>";

class RawFtpClient {
public:
    RawFtpClient() = default;
    ~RawFtpClient();
    RawFtpClient(const RawFtpClient&) = delete;
    RawFtpClient& operator=(const RawFtpClient&) = delete;

    // Connects to 127.0.0.1:`port`; false when not connected within `timeout`.
    bool Connect(std::uint16_t port, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Connects to the numeric IPv4 or IPv6 `address` ("::1"); otherwise as Connect.
    bool ConnectTo(const char* address, std::uint16_t port,
                   std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Connects from the local loopback address `source` ("127.0.0.2") to 127.0.0.1:`port`,
    // so a test has a second client address.
    bool ConnectFrom(const char* source, std::uint16_t port);
    // Takes the connected stream socket `fd` (a socket pair's end) as its connection.
    void Adopt(int fd);
    // Sends all of `bytes` in one call (one segment for small sizes). False on error.
    bool Send(std::string_view bytes);
    // Sends `line` followed by CR LF.
    bool SendLine(std::string_view line) { return Send(std::string(line) + "\r\n"); }
    // The next line the server sent, without its CR LF; nothing when the deadline
    // passes or the connection closes first.
    std::optional<std::string> ReadLine(
        std::chrono::milliseconds deadline = std::chrono::seconds(5));
    // The next reply line, or kNoReply.
    std::string Reply(std::chrono::milliseconds deadline = std::chrono::seconds(5));
    // Sends `line` and returns the next reply line (kNoReply when none came).
    std::string Ask(std::string_view line,
                    std::chrono::milliseconds deadline = std::chrono::seconds(5));
    // Reads the greeting, then USER and PASS; a test failure names the step that differed.
    bool LogIn(std::string_view user, std::string_view password);
    // Waits for the server to close the connection (end of stream or reset). Bytes that
    // arrive meanwhile are kept and returned through `unread`. False on time-out.
    bool WaitClosed(std::chrono::milliseconds deadline = std::chrono::seconds(5),
                    std::string* unread = nullptr);
    // True when nothing arrives and the connection stays open for `quiet`.
    bool StaysQuiet(std::chrono::milliseconds quiet);
    // Aborts the connection with a reset (SO_LINGER 0) instead of an orderly close.
    void Reset();
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

private:
    // Connects to `address`, from the IPv4 address `source` when it is not null.
    bool Open(const char* address, std::uint16_t port, std::chrono::milliseconds timeout,
              const char* source);
    // Reads what is there within `deadline`: >0 bytes added, 0 closed, -1 time-out.
    int Fill(std::chrono::steady_clock::time_point deadline);

    int m_fd = -1;
    bool m_closed = false;
    std::string m_buffer;
};

// A port held by a listening socket on every IPv4 address, as another program would.
class HeldPort {
public:
    // Takes a port the system chooses, or `port` (Port() is 0 when it is not free).
    explicit HeldPort(std::uint16_t port = 0);
    ~HeldPort();
    HeldPort(const HeldPort&) = delete;
    HeldPort& operator=(const HeldPort&) = delete;
    // 0 when no port could be taken.
    int Port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

// A TCP port on 127.0.0.1 that was free a moment ago, below the range of client ports.
std::uint16_t FindFreePort();
// True when this machine has an IPv6 loopback address (::1) to bind.
bool HaveIpv6Loopback();
// The loopback addresses a test server listens on: 127.0.0.1, and ::1 where it exists.
std::vector<std::string> LoopbackAddresses();
