// The server's counters sampled once a second on the main thread, the last minute kept,
// so that the API can show totals and recent rates without touching main-thread state.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

class CFtpServer;

struct CounterSample {
    std::int64_t time = 0;  // calendar seconds
    std::int64_t steadyMs = 0;
    std::int64_t bytesSent = 0;
    std::int64_t bytesReceived = 0;
    int connections = 0;  // accepted since start
    int currentConnections = 0;
    int events[4] = {0, 0, 0, 0};  // TransferEvent 2 to 5
};

class CRateHistory {
public:
    // Main thread.
    void Sample(const CFtpServer& server);
    // Any thread: the samples kept, oldest first (at most 61: 60 intervals).
    std::vector<CounterSample> Samples() const;

private:
    mutable std::mutex m_lock;  // guards m_samples
    std::deque<CounterSample> m_samples;
};
