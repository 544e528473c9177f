#include "server/ServerMetrics.h"

#include <algorithm>

namespace {

const double kProcessStart =
    std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();

}  // namespace

double ProcessStartSeconds() { return kProcessStart; }

void CServerMetrics::CountCommand(int slot, std::chrono::steady_clock::duration elapsed) {
    const int last = kMetricCommandSlots - 1;
    CommandCounters& counters = m_commands[static_cast<std::size_t>(std::clamp(slot, 0, last))];
    const std::int64_t micros = std::max<std::int64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count(), 0);
    std::size_t bucket = 0;
    while (bucket < kLatencyBucketMicros.size() && micros > kLatencyBucketMicros[bucket]) ++bucket;
    Add(counters.buckets[bucket]);
    counters.sumMicros.fetch_add(static_cast<std::uint64_t>(micros), std::memory_order_relaxed);
}

void CServerMetrics::CountTlsHandshake(TlsLeg leg, bool ok) {
    if (ok) {
        if (leg == TlsLeg::Control) Add(m_tlsSessions);
        return;
    }
    Add(leg == TlsLeg::Control ? m_tlsControlFailures : m_tlsDataFailures);
}

std::uint64_t CServerMetrics::TlsHandshakeFailures(TlsLeg leg) const {
    return Read(leg == TlsLeg::Control ? m_tlsControlFailures : m_tlsDataFailures);
}

void CServerMetrics::Adjust(int state, int delta) {
    if (state < 0 || state >= kSessionStateCount) return;
    m_sessionsByState[static_cast<std::size_t>(state)].fetch_add(delta, std::memory_order_relaxed);
}

std::int64_t CServerMetrics::SessionsIn(int state) const {
    if (state < 0 || state >= kSessionStateCount) return 0;
    return m_sessionsByState[static_cast<std::size_t>(state)].load(std::memory_order_relaxed);
}

CommandLatencySnapshot CServerMetrics::CommandSlot(int slot) const {
    CommandLatencySnapshot snapshot;
    if (slot < 0 || slot >= kMetricCommandSlots) return snapshot;
    const CommandCounters& counters = m_commands[static_cast<std::size_t>(slot)];
    for (std::size_t i = 0; i < kLatencyBuckets; ++i) {
        snapshot.buckets[i] = Read(counters.buckets[i]);
        snapshot.count += snapshot.buckets[i];
    }
    snapshot.sumMicros = Read(counters.sumMicros);
    return snapshot;
}
