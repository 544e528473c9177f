// Runs a CFtpServer the way the application does: on its own "main" thread that owns
// an EventLoop and keeps running it. Tests reach the server only through RunOnServer,
// so every call happens on that thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "tests/support/RecordingSink.h"

class CFtpServer;
class EventLoop;

class ServerHarness {
public:
    // Starts the main thread with a stopped server on `programDir` (ends with "/"),
    // its sink set, the start-sequence texts set and the statistics timer off.
    explicit ServerHarness(const std::string& programDir);
    // Stops the server (waiting for its sessions), destroys it and ends the thread.
    ~ServerHarness();
    ServerHarness(const ServerHarness&) = delete;
    ServerHarness& operator=(const ServerHarness&) = delete;

    // Runs `work` on the main thread and waits until it has returned.
    void RunOnServer(const std::function<void(CFtpServer&)>& work);
    // Runs `work` on the main thread after what was posted before it, without waiting.
    void PostToServer(std::function<void(CFtpServer&)> work);
    // Sets `port` (0: any free port) and starts; true on success.
    bool Start(int port = 0);
    void Stop();
    // The listening port after a successful Start.
    std::uint16_t Port() const { return m_port; }
    // Asks the main thread for `probe` until it is true or `deadline` passes.
    bool WaitUntil(const std::function<bool(CFtpServer&)>& probe,
                   std::chrono::milliseconds deadline);
    // Counters read on the main thread.
    std::int64_t BytesSent();
    std::int64_t BytesReceived();
    int CurrentConnections();

    RecordingSink& Sink() { return m_sink; }

private:
    RecordingSink m_sink;
    EventLoop* m_loop = nullptr;           // set before the constructor returns
    std::unique_ptr<CFtpServer> m_server;  // main thread only
    std::uint16_t m_port = 0;
    std::thread m_thread;
};

// Entries of /proc/self/fd and /proc/self/task: open descriptors and live threads.
std::size_t OpenDescriptorCount();
std::size_t ThreadCount();
