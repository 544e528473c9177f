// The server's counters for monitoring (GET /metrics): each one an atomic that the thread
// where the event happens adds to with relaxed order, read at scrape time. Nothing here
// takes a lock or allocates, so counting costs a command a few uncontended additions.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

#include "server/SessionStateNames.h"

// Commands are counted per row of the command table; the last slot takes every keyword
// no row has (and any row past the slots), so a client cannot add labels.
inline constexpr int kMetricCommandSlots = 64;
// Upper bounds of the command-latency buckets, in microseconds (0.1 ms to 10 s: a NOOP
// takes tens of microseconds, so its percentiles need the lowest ones); the last
// bucket, +Inf, takes the rest.
inline constexpr std::array<std::int64_t, 16> kLatencyBucketMicros = {
    100,   250,    500,    1000,   2500,    5000,    10000,   25000,
    50000, 100000, 250000, 500000, 1000000, 2500000, 5000000, 10000000};
inline constexpr std::size_t kLatencyBuckets = kLatencyBucketMicros.size() + 1;

// One command slot as read at scrape time: per-bucket counts (not cumulative).
struct CommandLatencySnapshot {
    std::uint64_t count = 0;
    std::uint64_t sumMicros = 0;
    std::array<std::uint64_t, kLatencyBuckets> buckets{};
};

enum class TlsLeg { Control, Data };

// When this process started, in seconds since the epoch (taken as the program loads).
double ProcessStartSeconds();

class CServerMetrics {
public:
    CServerMetrics() = default;
    CServerMetrics(const CServerMetrics&) = delete;
    CServerMetrics& operator=(const CServerMetrics&) = delete;

    // ---- Any thread (the session's, as the event happens).

    // A command of slot `slot` ran for `elapsed`; a slot out of range counts as the last.
    void CountCommand(int slot, std::chrono::steady_clock::duration elapsed);
    void CountLogin(bool accepted) { Add(accepted ? m_loginsAccepted : m_loginsRefused); }
    void CountDataConnectionFailure() { Add(m_dataConnectionFailures); }
    void CountTlsHandshake(TlsLeg leg, bool ok);
    // A session was opened in / moved between / left `state` (SessionState as int).
    void SessionEntered(int state) { Adjust(state, 1); }
    void SessionLeft(int state) { Adjust(state, -1); }

    // ---- Reading, any thread. Each value is read on its own: a scrape may see one
    // counter a command later than another, never a torn value.

    std::uint64_t LoginsAccepted() const { return Read(m_loginsAccepted); }
    std::uint64_t LoginsRefused() const { return Read(m_loginsRefused); }
    std::uint64_t DataConnectionFailures() const { return Read(m_dataConnectionFailures); }
    std::uint64_t TlsSessions() const { return Read(m_tlsSessions); }
    std::uint64_t TlsHandshakeFailures(TlsLeg leg) const;
    std::int64_t SessionsIn(int state) const;
    CommandLatencySnapshot CommandSlot(int slot) const;

private:
    using Counter = std::atomic<std::uint64_t>;
    struct CommandCounters {
        Counter sumMicros{0};
        std::array<Counter, kLatencyBuckets> buckets{};
    };
    static void Add(Counter& counter) { counter.fetch_add(1, std::memory_order_relaxed); }
    static std::uint64_t Read(const Counter& counter) {
        return counter.load(std::memory_order_relaxed);
    }
    void Adjust(int state, int delta);

    Counter m_loginsAccepted{0};
    Counter m_loginsRefused{0};
    Counter m_dataConnectionFailures{0};
    Counter m_tlsSessions{0};
    Counter m_tlsControlFailures{0};
    Counter m_tlsDataFailures{0};
    std::array<std::atomic<std::int64_t>, kSessionStateCount> m_sessionsByState{};
    std::array<CommandCounters, kMetricCommandSlots> m_commands{};
};
