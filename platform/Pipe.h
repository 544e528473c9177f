// A kernel pipe that carries bytes between two descriptors without a user buffer
// (splice): an upload moves from the socket's buffers into the page cache in one copy.
#pragma once

#include <cstddef>

#include "platform/UniqueFd.h"

class CPipe {
public:
    // Creates the pipe and asks for `capacity` bytes of room (the system may give less:
    // the pipe still works, in smaller steps). False when no pipe can be made.
    [[nodiscard]] bool Open(std::size_t capacity);
    bool IsOpen() const { return static_cast<bool>(m_read); }
    int ReadEnd() const { return m_read.Get(); }
    int WriteEnd() const { return m_write.Get(); }
    // The room the pipe has (what one splice into it may move at most).
    std::size_t Capacity() const { return m_capacity; }

private:
    UniqueFd m_read;
    UniqueFd m_write;
    std::size_t m_capacity = 0;
};
