#include "api/RateHistory.h"

#include "platform/Clock.h"
#include "server/FtpServer.h"

namespace {
constexpr std::size_t kKeptSamples = 61;
}

void CRateHistory::Sample(const CFtpServer& server) {
    CounterSample sample;
    sample.time = NowSeconds();
    sample.steadyMs = SteadyMilliseconds();
    sample.bytesSent = server.BytesSent();
    sample.bytesReceived = server.BytesReceived();
    sample.connections = server.Connections();
    sample.currentConnections = server.CurrentConnections();
    for (int event = kFirstCountedEvent; event <= kLastCountedEvent; ++event)
        sample.events[event - kFirstCountedEvent] =
            server.EventCount(static_cast<TransferEvent>(event));
    std::lock_guard lock(m_lock);
    m_samples.push_back(sample);
    if (m_samples.size() > kKeptSamples) m_samples.pop_front();
}

std::vector<CounterSample> CRateHistory::Samples() const {
    std::lock_guard lock(m_lock);
    return {m_samples.begin(), m_samples.end()};
}
