// Non-blocking TCP sockets whose notifications (accept, read, write, connect, close)
// arrive on the loop of the thread that created or attached them.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/EventLoop.h"

// Error values are errno numbers; these name the ones callers test for.
namespace SocketError {
extern const int kWouldBlock;
extern const int kInvalidArgument;
extern const int kNetworkReset;
extern const int kConnectionAborted;
extern const int kConnectionReset;
extern const int kTimedOut;
extern const int kPermissionDenied;
// TLS: the peer broke the protocol (or the handshake failed); the peer closed the
// connection without close_notify, so the data may have been cut short.
extern const int kTlsFailed;
extern const int kTlsTruncated;
}  // namespace SocketError

// The system's text for an error value ("Address already in use").
std::string SocketErrorText(int error);

enum class AddressFamily { V4, V6 };

// The longest listen queue the system allows.
int MaxListenBacklog();

class CTlsContext;
class CTlsStream;

class CAsyncSocket : private IFdWatcher {
public:
    CAsyncSocket();
    // Closes the socket.
    ~CAsyncSocket() override;
    CAsyncSocket(const CAsyncSocket&) = delete;
    CAsyncSocket& operator=(const CAsyncSocket&) = delete;

    // All methods below: only on the thread whose loop the socket is registered with.

    // A new TCP socket, registered with the calling thread's loop. A V6 socket also
    // takes IPv4 peers (dual stack).
    [[nodiscard]] bool Create(AddressFamily family = AddressFamily::V4);
    // Binds to `address` ("" for every local address) and `port` (0: any free port).
    [[nodiscard]] bool Bind(const std::string& address, std::uint16_t port);
    [[nodiscard]] bool Listen(int backlog);
    // Takes one pending connection. Returns its descriptor, or -1 (LastError says
    // why; kWouldBlock when none is pending). The descriptor is then owned by the
    // caller, who gives it to Attach on the thread that will serve it.
    int Accept();
    // Adopts a connected descriptor and registers it with the calling thread's loop.
    [[nodiscard]] bool Attach(int fd);
    // Closes this listening socket and adopts `fd`, a connection its own Accept took:
    // of this socket's family and non-blocking already, so the system is not asked.
    void AttachAccepted(int fd);
    // Gives up the descriptor without closing it.
    int Detach();
    // Starts a non-blocking connect; OnConnect reports the outcome. False when it
    // failed at once (LastError says why).
    [[nodiscard]] bool Connect(const std::string& address, std::uint16_t port);
    void Close();

    // Receives up to `size` bytes: >0 bytes read, 0 orderly close, -1 error
    // (LastError; kWouldBlock when nothing is there).
    long Receive(void* buffer, std::size_t size);
    // As Receive, but the bytes go into the pipe whose write end is `pipeFd` (splice),
    // at most `size` of them.
    long ReceiveIntoPipe(int pipeFd, std::size_t size);
    // Sends what the socket takes now: bytes sent, or -1 (LastError). After a
    // would-block, OnSend comes once the socket can take more.
    long Send(const void* data, std::size_t size);
    // Sends everything, waiting for the socket as long as it takes the data within
    // `timeoutMs` per step. False on an error or time-out.
    [[nodiscard]] bool SendAll(const void* data, std::size_t size, int timeoutMs = 60'000);
    // While set, every SendAll of the process that waits for its peer gives up within
    // 0.1 s (kTimedOut): a stopping server does not wait for clients that do not read.
    // Any thread.
    static void SetSendWaitsAbandoned(bool abandoned);
    // Sends up to `count` bytes of file `fileFd` from `*offset` without copying
    // through user space; same results as Send, and advances `*offset`.
    long SendFile(int fileFd, std::int64_t* offset, std::size_t count);

    // Zero-time readability test: 1 readable, 0 not, -1 poll failed.
    int PollReadable() const;
    // Looks at one byte without taking it: 1 a byte is there, 0 orderly close, -1 error.
    int PeekByte();

    [[nodiscard]] bool GetPeerName(std::string& address, std::uint16_t& port) const;
    [[nodiscard]] bool GetSockName(std::string& address, std::uint16_t& port) const;
    bool IsV6() const { return m_family == AddressFamily::V6; }
    bool IsListening() const { return m_mode == Mode::Listening; }
    // GetPeerName for a descriptor no socket object holds yet.
    [[nodiscard]] static bool PeerNameOf(int fd, std::string& address, std::uint16_t& port);

    // Turns read notifications (OnReceive/OnAccept/OnClose) off and on; a transfer
    // paced by a speed limit stops reading between its steps.
    void EnableRead(bool enable);
    // Asks for one OnSend once the socket can take data.
    void RequestSendNotification();

    // ---- TLS, server side, on a connected socket. The handshake runs on the loop's
    // notifications and must end within `deadline`; OnHandshake reports its end (0, or
    // kTlsFailed, kTimedOut). From then on Receive, Send, SendAll, SendFile, PollReadable
    // and PeekByte carry TLS records, and Close sends close_notify first.

    [[nodiscard]] bool StartTls(const CTlsContext& context, std::chrono::milliseconds deadline);
    // For a data connection: the TLS context of `control`, under whose session scope only
    // a resumption of that control connection's session can succeed (TlsResumesSessionOf).
    [[nodiscard]] bool StartTlsLike(const CAsyncSocket& control,
                                    std::chrono::milliseconds deadline);
    // True once the handshake has completed.
    bool IsTls() const;
    // The handshake resumed a session that `control` negotiated itself.
    bool TlsResumesSessionOf(const CAsyncSocket& control) const;
    bool UsesKernelTls() const;
    // Protocol version and cipher, as "TLSv1.3, TLS_AES_256_GCM_SHA384"; empty without TLS.
    std::string TlsDescription() const;

    int Handle() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    int LastError() const { return m_lastError; }

protected:
    virtual void OnAccept(int /*error*/) {}
    virtual void OnReceive(int /*error*/) {}
    virtual void OnSend(int /*error*/) {}
    virtual void OnConnect(int /*error*/) {}
    virtual void OnClose(int /*error*/) {}
    virtual void OnHandshake(int /*error*/) {}

private:
    enum class Mode { None, Listening, Connecting, Connected };

    void OnFdReady(short revents) override;
    void OnConnectReady();
    void OnReadReady(short revents);
    bool BeginTls(std::unique_ptr<CTlsStream> stream, std::chrono::milliseconds deadline);
    void ContinueHandshake();
    void EndHandshake(int error);
    void CancelTlsTimers();
    // Bytes that wait inside the TLS layer are not seen by poll: they are read from a
    // timer of the loop instead.
    void ReadTlsPendingSoon();
    void DeliverReceives();
    void UpdateWatch();
    // Makes `fd` this socket's connection and watches it.
    void Adopt(int fd);
    bool Fail();

    int m_fd = -1;
    AddressFamily m_family = AddressFamily::V4;
    Mode m_mode = Mode::None;
    EventLoop* m_loop = nullptr;
    bool m_readEnabled = true;
    bool m_wantSend = false;
    bool m_closeReported = false;
    int m_lastError = 0;
    std::unique_ptr<CTlsStream> m_tls;
    short m_handshakeEvents = 0;  // what the running handshake waits for
    EventLoop::TimerId m_handshakeTimer = 0;
    EventLoop::TimerId m_pendingReadTimer = 0;
};

// Formats a socket address as text: dotted IPv4 (also for an IPv4-mapped IPv6 peer)
// or the usual IPv6 text.
std::string AddressToText(const void* sockaddrStorage);
// The text AddressToText gives for the numeric address `text` of `family` (V4: dotted
// only; V6: any IPv6 form, an IPv4-mapped one coming out dotted). False when `text` is
// not such an address; `canonical` is then untouched.
[[nodiscard]] bool CanonicalAddressText(AddressFamily family, const std::string& text,
                                        std::string& canonical);
// The peer address of the connected socket `fd`, as AddressToText gives it.
[[nodiscard]] bool PeerAddressOf(int fd, std::string& address);
// Sends what the socket `fd` takes at once, never waiting and never raising SIGPIPE:
// bytes sent, or -1.
long SendWithoutWaiting(int fd, const void* data, std::size_t size);
// The bytes of the numeric address `text` of `family` (V4: dotted, 4 bytes; V6: any IPv6
// form, 16 bytes), in network order at the start of `bytes`. False when it is not one.
[[nodiscard]] bool ParseAddressBytes(AddressFamily family, const std::string& text,
                                     std::array<std::uint8_t, 16>& bytes);
