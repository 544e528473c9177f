// Suspended start, addressing by id, and self-deletion of thread objects.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

#include "platform/Thread.h"

using namespace std::chrono_literals;

namespace {

class ProbeThread : public CThread {
public:
    ProbeThread(std::atomic<bool>& started, std::promise<std::intptr_t>& lastMessage,
                std::atomic<bool>& destroyed)
        : m_started(started), m_lastMessage(lastMessage), m_destroyed(destroyed) {}
    ~ProbeThread() override { m_destroyed = true; }

protected:
    bool InitInstance() override {
        m_started = true;
        Loop().SetMessageHandler([this](const Message& m) {
            m_lastMessage.set_value(m.wParam);
            Loop().PostQuit();
            return 0;
        });
        return true;
    }

private:
    std::atomic<bool>& m_started;
    std::promise<std::intptr_t>& m_lastMessage;
    std::atomic<bool>& m_destroyed;
};

}  // namespace

TEST(Thread, RunsOnlyAfterResumeTakesMessagesByIdAndDeletesItself) {
    std::atomic<bool> started{false};
    std::atomic<bool> destroyed{false};
    std::promise<std::intptr_t> message;
    auto* thread = new ProbeThread(started, message, destroyed);
    const std::uint32_t id = thread->ThreadId();
    ASSERT_TRUE(thread->CreateThread());
    EXPECT_TRUE(CThread::IsThreadAlive(id));
    // A suspended thread has no loop yet: posts to it are refused, nothing runs.
    EXPECT_FALSE(CThread::PostThreadMessage(id, Message{WM_USER + 1, 7, 0, nullptr}));
    EXPECT_FALSE(started.load());

    EventLoop observer;
    thread->SetEndObserver(&observer);
    thread->ResumeThread();
    // Posting succeeds once the loop is up.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!CThread::PostThreadMessage(id, Message{WM_USER + 1, 42, 0, nullptr}) &&
           std::chrono::steady_clock::now() < deadline)
        observer.RunUntil([] { return false; }, 1ms);
    auto received = message.get_future();
    ASSERT_EQ(received.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(received.get(), 42);
    // The end observer is woken when the thread is gone.
    EXPECT_TRUE(observer.RunUntil([&] { return !CThread::IsThreadAlive(id); }, 5s));
    EXPECT_TRUE(destroyed.load());
    EXPECT_FALSE(CThread::PostThreadMessage(id, Message{WM_USER + 1, 1, 0, nullptr}));
    EXPECT_TRUE(started.load());
}
