#include "tests/support/ReaderThreads.h"

#include <gtest/gtest.h>

#include <chrono>

ReaderThreads::ReaderThreads(int count, std::function<void()> body)
    : m_body(std::move(body)), m_count(count) {
    for (int i = 0; i < count; ++i) m_threads.emplace_back([this] { Run(); });
}

ReaderThreads::~ReaderThreads() { Stop(); }

void ReaderThreads::Run() {
    m_body();
    ++m_rounds;
    ++m_started;
    while (!m_stop.load()) {
        m_body();
        ++m_rounds;
    }
}

void ReaderThreads::WaitUntilEachRan() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (m_started.load() < m_count) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "only " << m_started.load() << " of " << m_count << " readers ran";
            return;
        }
        std::this_thread::yield();
    }
}

void ReaderThreads::Stop() {
    m_stop = true;
    for (std::thread& t : m_threads)
        if (t.joinable()) t.join();
}
