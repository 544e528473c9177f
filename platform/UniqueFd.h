// UniqueFd: the one owner of a raw descriptor (an accepted socket not yet handed to its
// socket object, say). It closes the descriptor when it goes, unless Release handed it on.
#pragma once

#include <utility>

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    // Gives the descriptor up without closing it; the caller owns it now.
    [[nodiscard]] int Release() { return std::exchange(m_fd, -1); }
    // Closes the descriptor held, if any, and holds `fd` instead.
    void Reset(int fd = -1);

private:
    int m_fd = -1;
};
