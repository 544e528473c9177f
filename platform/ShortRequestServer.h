// A listener for tiny request-reply exchanges (one request, one short reply, close) on a
// thread of its own, bounded everywhere: each request's bytes and time, the number of
// connections kept at once, and Stop's wait. For the ACME HTTP-01 challenge, which the
// CA's validation servers fetch a few times while an order is pending.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/UniqueFd.h"

class CShortRequestServer {
public:
    // Called on the server's thread with what a connection has sent so far; `full` when
    // no more will be read (the byte bound is reached or the peer has finished sending).
    // Returns the reply to send and close with, or nothing to wait for more bytes (with
    // `full`, nothing closes the connection without a reply).
    using Handler = std::function<std::optional<std::string>(std::string_view received, bool full)>;

    CShortRequestServer(Handler handler, std::size_t maxRequestBytes,
                        std::chrono::milliseconds requestTime);
    ~CShortRequestServer();
    CShortRequestServer(const CShortRequestServer&) = delete;
    CShortRequestServer& operator=(const CShortRequestServer&) = delete;

    // Listens on `port` of each numeric address (none: every IPv4 and IPv6 address) and
    // starts the thread. False, with `error`, when not one address can be listened on.
    [[nodiscard]] bool Start(const std::vector<std::string>& addresses, std::uint16_t port,
                             std::string& error);
    // Closes the listeners and every connection; returns within about 100 ms.
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }

private:
    struct Connection;
    void Run();
    void AcceptFrom(int listener, std::vector<Connection>& connections);
    bool Serve(Connection& connection);

    Handler m_handler;
    std::size_t m_maxRequestBytes;
    std::chrono::milliseconds m_requestTime;
    std::vector<UniqueFd> m_listeners;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
