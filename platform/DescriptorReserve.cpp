#include "platform/DescriptorReserve.h"

#include <fcntl.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#include <limits>

bool IsOutOfDescriptors(int error) { return error == EMFILE || error == ENFILE; }

std::size_t OpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<std::size_t>::max();
    return static_cast<std::size_t>(limit.rlim_cur);
}

OpenFileLimits RaiseOpenFileLimit() {
    OpenFileLimits result;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        result.error = std::strerror(errno);
        return result;
    }
    const auto count = [](rlim_t value) {
        return value == RLIM_INFINITY ? std::numeric_limits<std::size_t>::max()
                                      : static_cast<std::size_t>(value);
    };
    result.soft = result.raisedTo = count(limit.rlim_cur);
    result.hard = count(limit.rlim_max);
    if (limit.rlim_cur == limit.rlim_max) return result;
    limit.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        result.error = std::strerror(errno);
        return result;
    }
    result.raisedTo = result.hard;
    return result;
}

bool CDescriptorReserve::Refill() {
    if (!m_fd) m_fd.Reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    return IsHeld();
}
