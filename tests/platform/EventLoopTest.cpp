// The per-thread loop: ordering, removal, nested loops, timers and synchronous sends.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "platform/EventLoop.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kFirst = WM_USER + 1;
constexpr int kSecond = WM_USER + 2;

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A loop on its own thread; tests hand it work through PostTask.
class LoopThread {
public:
    LoopThread() {
        std::promise<EventLoop*> ready;
        auto loop = ready.get_future();
        m_thread = std::thread([&ready] {
            EventLoop own;
            ready.set_value(&own);
            own.Run();
        });
        m_loop = loop.get();
    }
    ~LoopThread() {
        m_loop->PostQuit();
        m_thread.join();
    }
    EventLoop& Loop() { return *m_loop; }

private:
    EventLoop* m_loop = nullptr;
    std::thread m_thread;
};

}  // namespace

TEST(EventLoop, MessagesAndTasksRunInPostedOrderFromAnyThread) {
    EventLoop loop;
    std::vector<std::intptr_t> seen;
    loop.SetMessageHandler([&](const Message& m) {
        seen.push_back(m.wParam);
        return 0;
    });
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i) {
            if (i % 3 == 0)
                loop.PostTask([&seen, i] { seen.push_back(i); });
            else
                loop.Post(Message{kFirst, i, 0, nullptr});
        }
        loop.PostQuit();
    });
    loop.Run();
    poster.join();
    ASSERT_EQ(seen.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], i);
}

TEST(EventLoop, RemovePendingTakesOnlyOneKindAndReleasesItsSenders) {
    LoopThread target;
    std::vector<std::intptr_t> handled;
    std::promise<void> holding;
    std::promise<void> release;
    auto released = release.get_future();
    // Hold the target's thread so that the queue fills up behind this task.
    target.Loop().PostTask([&] {
        holding.set_value();
        released.wait();
    });
    holding.get_future().wait();
    target.Loop().Post(Message{kFirst, 1, 0, nullptr});
    target.Loop().Post(Message{kSecond, 2, 0, nullptr});
    target.Loop().Post(Message{kFirst, 3, 0, nullptr});
    target.Loop().Post(Message{kSecond, 4, 0, nullptr});
    auto sender = std::async(std::launch::async, [&] {
        return target.Loop().Send(Message{kFirst, 5, 0, nullptr});
    });
    // The synchronous one is queued by another thread at its own pace.
    int removed = 0;
    const auto deadline = Clock::now() + 5s;
    while (removed < 3 && Clock::now() < deadline) removed += target.Loop().RemovePending(kFirst);
    EXPECT_EQ(removed, 3);
    ASSERT_EQ(sender.wait_for(5s), std::future_status::ready) << "a removed send still waits";
    EXPECT_EQ(sender.get(), 0);

    // Installed before the release, so the held thread sees it when it goes on.
    target.Loop().SetMessageHandler([&](const Message& m) {
        handled.push_back(m.wParam);
        return 0;
    });
    std::promise<std::vector<std::intptr_t>> result;
    target.Loop().PostTask([&] { result.set_value(handled); });
    release.set_value();
    auto left = result.get_future();
    ASSERT_EQ(left.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(left.get(), (std::vector<std::intptr_t>{2, 4}));
}

TEST(EventLoop, NestedRunUntilTimesOutInsideAnOuterOne) {
    EventLoop loop;
    long long inner = -1;
    bool innerResult = true;
    loop.PostTask([&] {
        const auto start = Clock::now();
        innerResult = loop.RunUntil([] { return false; }, 100ms);
        inner = MillisecondsSince(start);
    });
    const auto start = Clock::now();
    const bool outerResult = loop.RunUntil([] { return false; }, 300ms);
    const long long outer = MillisecondsSince(start);
    EXPECT_FALSE(innerResult);
    EXPECT_FALSE(outerResult);
    EXPECT_GE(inner, 100);
    EXPECT_GE(outer, 300);
    // The inner wait must not swallow the outer deadline, nor run far past it.
    EXPECT_LT(outer, 2000);
}

TEST(EventLoop, NestedRunUntilEndsEarlyWhenDoneBecomesTrue) {
    EventLoop loop;
    bool flag = false;
    std::thread setter([&] { loop.PostTask([&] { flag = true; }); });
    const auto start = Clock::now();
    EXPECT_TRUE(loop.RunUntil([&] { return flag; }, 10s));
    EXPECT_LT(MillisecondsSince(start), 5000);
    setter.join();
}

TEST(EventLoop, TimerTicksKeepTheirPeriodAndStopWhenCancelled) {
    EventLoop loop;
    std::vector<Clock::time_point> ticks;
    const auto start = Clock::now();
    EventLoop::TimerId id = 0;
    id = loop.AddTimer(200ms, [&] {
        ticks.push_back(Clock::now());
        if (ticks.size() == 5) loop.CancelTimer(id);
    });
    ASSERT_TRUE(loop.RunUntil([&] { return ticks.size() == 5; }, 3s));
    loop.RunUntil([] { return false; }, 400ms);
    ASSERT_EQ(ticks.size(), 5u) << "the timer went on after CancelTimer";
    auto previous = start;
    for (const auto& tick : ticks) {
        const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(tick - previous);
        EXPECT_GE(gap.count(), 100);
        EXPECT_LE(gap.count(), 300);
        previous = tick;
    }
}

TEST(EventLoop, EightSimultaneousSendersWhileTheTargetRunsANestedLoop) {
    constexpr int kSenders = 8;
    constexpr int kPerSender = 200;
    LoopThread target;
    std::atomic<int> handledCount{0};
    target.Loop().SetMessageHandler([&](const Message& m) {
        handledCount.fetch_add(1);
        return m.wParam * 2;
    });
    // The target sits in a nested loop for the whole run, as Stop does.
    std::promise<bool> nestedDone;
    target.Loop().PostTask([&] {
        nestedDone.set_value(target.Loop().RunUntil(
            [&] { return handledCount.load() == kSenders * kPerSender; }, 30s));
    });
    std::atomic<int> wrongResults{0};
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s) {
        senders.emplace_back([&, s] {
            for (int i = 0; i < kPerSender; ++i) {
                const std::intptr_t value = s * 1000 + i;
                if (target.Loop().Send(Message{kFirst, value, 0, nullptr}) != value * 2)
                    wrongResults.fetch_add(1);
            }
        });
    }
    auto nested = nestedDone.get_future();
    ASSERT_EQ(nested.wait_for(30s), std::future_status::ready) << "deadlock";
    EXPECT_TRUE(nested.get());
    for (auto& sender : senders) sender.join();
    EXPECT_EQ(handledCount.load(), kSenders * kPerSender);
    EXPECT_EQ(wrongResults.load(), 0);
}

TEST(EventLoop, QuitTakenInANestedLoopEndsTheOuterRun) {
    EventLoop loop;
    bool nestedReturned = false;
    bool quitSeenInside = false;
    std::thread quitter;
    loop.PostTask([&] {
        quitter = std::thread([&] { loop.PostQuit(); });
        loop.RunUntil([] { return false; }, 10s);
        nestedReturned = true;
        quitSeenInside = loop.IsQuitPending();
    });
    const auto start = Clock::now();
    loop.Run();
    quitter.join();
    EXPECT_TRUE(nestedReturned);
    EXPECT_TRUE(quitSeenInside);
    EXPECT_LT(MillisecondsSince(start), 5000) << "the nested loop ignored the quit";
    // Once taken, the quit stays: a later nested wait returns at once.
    EXPECT_FALSE(loop.RunUntil([] { return false; }, 5s));
    EXPECT_LT(MillisecondsSince(start), 5000);
}

TEST(EventLoop, PostWithinLoopRunsInTheNextPassWithoutAWakeUp) {
    LoopThread thread;
    std::promise<std::pair<bool, int>> result;
    const auto start = Clock::now();
    thread.Loop().PostTask([&] {
        EventLoop& loop = *EventLoop::Current();
        bool handled = false;
        loop.SetMessageHandler([&](const Message& m) {
            handled = handled || m.id == kFirst;
            return std::intptr_t{0};
        });
        loop.PostWithinLoop(Message{kFirst, 0, 0, nullptr});
        pollfd wake{loop.WakeFd(), POLLIN, 0};
        const int woken = ::poll(&wake, 1, 0);
        // A pass that waited for the descriptor would sit out the whole time-out.
        result.set_value({loop.RunUntil([&] { return handled; }, 5s), woken});
    });
    const auto [handled, woken] = result.get_future().get();
    EXPECT_TRUE(handled);
    EXPECT_EQ(woken, 0);
    EXPECT_LT(MillisecondsSince(start), 2000);
}
