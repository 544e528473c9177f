// The last log lines of the running server, for the administration API's log: a bounded
// ring, each line numbered in order, that readers follow by number. A reader that falls
// more than the ring's size behind learns how many lines it missed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct LogRingRead {
    std::size_t lines = 0;     // lines visited
    std::uint64_t next = 0;    // the number to read from next time
    std::uint64_t missed = 0;  // lines that left the ring before this reader saw them
};

class CLogRing {
public:
    explicit CLogRing(std::size_t capacity) : m_capacity(capacity) {}

    // All methods: any thread. Never waits for a reader.
    void Add(const std::string& line);
    // Gives `visit` the lines numbered from `from` on (at most `maxLines`), waiting up to
    // `wait` for one when there is none yet. `visit` runs under the ring's lock, so the
    // lines are not copied for a reader that only appends them somewhere: it must be
    // quick and must not log.
    LogRingRead VisitFrom(std::uint64_t from, std::size_t maxLines, std::chrono::milliseconds wait,
                          const std::function<void(const std::string&)>& visit);
    // The number of the line to come: reading from it gives only later lines.
    std::uint64_t NextNumber() const;
    // The last `count` lines kept, oldest first.
    std::vector<std::string> Last(std::size_t count) const;
    std::size_t Capacity() const { return m_capacity; }

private:
    const std::size_t m_capacity;
    mutable std::mutex m_lock;  // guards the members below
    std::condition_variable m_added;
    std::deque<std::string> m_lines;
    std::uint64_t m_first = 0;  // the number of m_lines.front()
};
