#include "platform/Pipe.h"

#include <fcntl.h>
#include <unistd.h>

bool CPipe::Open(std::size_t capacity) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    m_read.Reset(ends[0]);
    m_write.Reset(ends[1]);
    // Beyond the per-user pipe allowance the kernel refuses a larger size; the default
    // room then serves, in more steps.
    (void)::fcntl(m_write.Get(), F_SETPIPE_SZ, static_cast<int>(capacity));
    const int size = ::fcntl(m_write.Get(), F_GETPIPE_SZ);
    m_capacity = size > 0 ? static_cast<std::size_t>(size) : 4096;
    return true;
}
