// The process's descriptor budget: its open-file limit, whether a failure means it ran
// out, and one descriptor held back for that moment.
#pragma once

#include <cstddef>
#include <string>

#include "platform/UniqueFd.h"

// Whether `error` (an errno value) says the process or the system has no descriptor left.
bool IsOutOfDescriptors(int error);
// The process's open-file limit (soft); a large number when it has none.
std::size_t OpenFileLimit();

// The open-file limit before and after RaiseOpenFileLimit; `error` is empty when the
// soft limit now equals the hard one.
struct OpenFileLimits {
    std::size_t soft = 0;
    std::size_t hard = 0;
    std::size_t raisedTo = 0;
    std::string error;
};
// Raises the soft open-file limit to the hard one: a service manager's default soft limit
// (1024) is far below what a few hundred sessions hold.
OpenFileLimits RaiseOpenFileLimit();

// A descriptor kept open only to be given up when no other is left, so that a listener
// can still take a waiting connection and close it instead of leaving it unanswered.
class CDescriptorReserve {
public:
    CDescriptorReserve() { (void)Refill(); }
    // Opens the reserve again unless it is held. False when no descriptor is left for it.
    bool Refill();
    bool IsHeld() const { return static_cast<bool>(m_fd); }
    // Closes the reserve, freeing its descriptor for the next call that needs one.
    void Release() { m_fd.Reset(); }

private:
    UniqueFd m_fd;
};
