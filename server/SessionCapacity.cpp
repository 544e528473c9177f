#include "server/SessionCapacity.h"

#include <algorithm>
#include <limits>

#include "platform/StringFormat.h"
#include "server/Limits.h"

namespace {

// Numbers above this are treated as no bound (and keep the products below from overflowing).
constexpr std::size_t kNoBound = std::numeric_limits<int>::max();

std::size_t Share(std::size_t total, std::size_t besides, std::size_t perUnitNumerator,
                  std::size_t perUnitDenominator) {
    if (total >= kNoBound) return kNoBound;
    if (total <= besides) return 0;
    return (total - besides) * perUnitDenominator / perUnitNumerator;
}

}  // namespace

SessionCapacity CapacityOf(const ProcessRoom& room) {
    // A session holds two descriptors (control connection, loop wake-up) for its whole
    // life and kDescriptorsPerTransfer more only while it transfers; budgeting every
    // session for a transfer would leave most descriptors unused. One in
    // kSessionsPerTransferBudget transfers within the budget; a transfer past it that
    // finds no descriptor is answered 425 and the session goes on.
    const std::size_t bySessions =
        Share(room.descriptors, kDescriptorsBesideSessions + room.heldRefusals,
              kDescriptorsPerSession * kSessionsPerTransferBudget + kDescriptorsPerTransfer,
              kSessionsPerTransferBudget);
    const std::size_t byThreads = Share(room.threadsLeft, kThreadsBesideSessions, 1, 1);
    const std::size_t byMaps = Share(room.mapsLeft, kMapsBesideSessions, kMapsPerSession, 1);
    SessionCapacity capacity;
    std::size_t least = bySessions;
    if (byThreads < least) {
        least = byThreads;
        capacity.bound = SessionBound::Threads;
    }
    if (byMaps < least) {
        least = byMaps;
        capacity.bound = SessionBound::MemoryMaps;
    }
    capacity.sessions = static_cast<int>(std::clamp<std::size_t>(least, 1, kNoBound));
    return capacity;
}

std::string BoundText(const ProcessRoom& room, SessionBound bound) {
    switch (bound) {
        case SessionBound::Threads:
            return StringFormat("the %zu threads the system lets it start", room.threadsLeft);
        case SessionBound::MemoryMaps:
            return StringFormat("the %zu memory maps left to it", room.mapsLeft);
        default:
            return StringFormat("the open-file limit of %zu", room.descriptors);
    }
}

const char* BoundRemedy(SessionBound bound) {
    switch (bound) {
        case SessionBound::Threads:
            return "raise the task limit (TasksMax= of the service, ulimit -u, pids.max)";
        case SessionBound::MemoryMaps:
            return "raise vm.max_map_count";
        default:
            return "raise the open-file limit (LimitNOFILE= of the service, ulimit -n)";
    }
}
