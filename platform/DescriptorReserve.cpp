#include "platform/DescriptorReserve.h"

#include <fcntl.h>
#include <sys/resource.h>

#include <cerrno>
#include <limits>

bool IsOutOfDescriptors(int error) { return error == EMFILE || error == ENFILE; }

std::size_t OpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<std::size_t>::max();
    return static_cast<std::size_t>(limit.rlim_cur);
}

bool CDescriptorReserve::Refill() {
    if (!m_fd) m_fd.Reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    return IsHeld();
}
