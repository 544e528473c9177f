// Reader threads for tests of reading while another thread writes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

// Runs `count` threads that call `body` over and over until Stop. A writer that
// finishes before any reader has been scheduled proves nothing (and fails a test that
// counts reads at random), so a test calls WaitUntilEachRan before it starts writing,
// and keeps writing until Rounds shows that reads happened meanwhile.
class ReaderThreads {
public:
    ReaderThreads(int count, std::function<void()> body);
    ~ReaderThreads();
    ReaderThreads(const ReaderThreads&) = delete;
    ReaderThreads& operator=(const ReaderThreads&) = delete;

    // Returns once every reader has completed `body` at least once (gives up with a
    // test failure after a minute).
    void WaitUntilEachRan() const;
    // Calls of `body` completed so far, by all readers together.
    std::int64_t Rounds() const { return m_rounds.load(); }
    void Stop();

private:
    void Run();

    std::function<void()> m_body;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_started{0};
    std::atomic<std::int64_t> m_rounds{0};
    int m_count;
    std::vector<std::thread> m_threads;
};
