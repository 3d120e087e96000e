// The virtual-time main queue the engine tests rely on.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/sim/SimMainQueue.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;

TEST(SimMainQueue, RunsNothingUntilAskedThenInPostingOrder) {
    SimMainQueue queue;
    std::vector<std::string> ran;
    queue.post([&] {
        ran.push_back("a");
        queue.post([&] { ran.push_back("c"); });
    });
    queue.post([&] { ran.push_back("b"); });
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(queue.runUntilIdle(), 3u);
    EXPECT_EQ(ran, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(queue.now(), MainQueue::TimePoint{});
}

TEST(SimMainQueue, AdvancesThroughDueTasksAtTheirOwnTimes) {
    SimMainQueue queue;
    const auto origin = queue.now();
    std::vector<std::pair<std::string, MainQueue::Duration>> ran;
    auto record = [&](std::string name) {
        return [&, name] { ran.emplace_back(name, queue.now() - origin); };
    };
    queue.postAfter(850ms, record("fallback"));
    queue.postAfter(300ms, record("first"));
    queue.postAfter(300ms, record("second at same time"));
    queue.postAfter(2500ms, record("not yet"));
    queue.postAfter(100ms, [&] {
        ran.emplace_back("chain", queue.now() - origin);
        queue.postAfter(100ms, record("chained"));
        queue.post(record("posted"));
    });

    queue.advanceBy(1s);
    EXPECT_EQ(ran, (std::vector<std::pair<std::string, MainQueue::Duration>>{
                       {"chain", 100ms},
                       {"posted", 100ms},
                       {"chained", 200ms},
                       {"first", 300ms},
                       {"second at same time", 300ms},
                       {"fallback", 850ms}}));
    EXPECT_EQ(queue.now() - origin, 1s);
    EXPECT_EQ(queue.pendingTaskCount(), 1u);
    queue.advanceBy(1500ms);
    EXPECT_EQ(ran.back(), (std::pair<std::string, MainQueue::Duration>{"not yet", 2500ms}));
}

TEST(SimMainQueue, CancelledItemNeverRuns) {
    SimMainQueue queue;
    bool ran = false;
    auto item = queue.postAfter(1s, [&] { ran = true; });
    item->cancel();
    EXPECT_EQ(queue.advanceBy(2s), 0u);
    EXPECT_FALSE(ran);
    EXPECT_EQ(queue.pendingTaskCount(), 0u);
}

TEST(SimMainQueue, AcceptsPostsFromOtherThreads) {
    SimMainQueue queue;
    std::vector<int> ran;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) queue.post([&, t, i] { ran.push_back(t * 1000 + i); });
        });
    std::size_t total = 0;
    for (int spins = 0; total < 400 && spins < 10'000'000; ++spins) {
        total += queue.runUntilIdle();
        std::this_thread::yield();
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(ran.size(), 400u);
    for (int t = 0; t < 4; ++t) {
        int last = -1;
        for (int value : ran)
            if (value / 1000 == t) {
                EXPECT_GT(value % 1000, last);
                last = value % 1000;
            }
    }
}

}  // namespace
}  // namespace tavlo
