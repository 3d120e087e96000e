// The main queue on Qt's event loop, in real time. The tests check order and
// occurrence only, with generous bounded waits, never how long things took.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QEventLoop>

#include "platform/linux/qt/QtMainQueue.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;

void ensureApplication() {
    static int argc = 1;
    static char name[] = "tests_platform";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

// Runs the event loop until `done` holds or a generous limit passes.
bool runLoopUntil(const std::function<bool()>& done, std::chrono::seconds limit = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

class QtMainQueueTest : public ::testing::Test {
protected:
    QtMainQueueTest() {
        ensureApplication();
        queue = std::make_shared<QtMainQueue>();
    }
    std::shared_ptr<QtMainQueue> queue;
    const std::thread::id mainThread = std::this_thread::get_id();
};

TEST_F(QtMainQueueTest, PostedTasksRunLaterInOrderOnTheLoopThread) {
    std::vector<int> ran;
    bool allOnMain = true;
    for (int i = 0; i < 100; ++i)
        queue->post([&, i] {
            ran.push_back(i);
            allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
            if (i == 0) queue->post([&] { ran.push_back(1000); });  // after everything already posted
        });
    EXPECT_TRUE(ran.empty());
    ASSERT_TRUE(runLoopUntil([&] { return ran.size() == 101; }));
    for (int i = 0; i < 100; ++i) EXPECT_EQ(ran[i], i);
    EXPECT_EQ(ran.back(), 1000);
    EXPECT_TRUE(allOnMain);
}

TEST_F(QtMainQueueTest, DelayedTasksRunInOrderOfTheirDelays) {
    std::vector<char> ran;
    const auto before = queue->now();
    queue->postAfter(400ms, [&] { ran.push_back('L'); });
    queue->postAfter(10ms, [&] { ran.push_back('S'); });
    queue->postAfter(0ms, [&] { ran.push_back('Z'); });
    EXPECT_TRUE(ran.empty());  // never inside the call, not even without delay
    ASSERT_TRUE(runLoopUntil([&] { return ran.size() == 3; }));
    EXPECT_EQ(ran, (std::vector<char>{'Z', 'S', 'L'}));
    EXPECT_GT(queue->now(), before);
}

TEST_F(QtMainQueueTest, CancelledTaskNeverRuns) {
    bool cancelledRan = false;
    bool laterRan = false;
    auto item = queue->postAfter(20ms, [&] { cancelledRan = true; });
    auto other = queue->postAfter(30ms, [&] { cancelledRan = true; });
    queue->postAfter(200ms, [&] { laterRan = true; });
    item->cancel();
    std::thread([other] { other->cancel(); }).join();  // from another thread too
    ASSERT_TRUE(runLoopUntil([&] { return laterRan; }));
    EXPECT_FALSE(cancelledRan);
    EXPECT_TRUE(item->isCancelled());
}

TEST_F(QtMainQueueTest, PostsFromWorkerThreadsArriveOnTheLoopThreadInEachThreadsOrder) {
    constexpr int threads = 4;
    constexpr int postsPerThread = 500;
    std::vector<std::vector<int>> seen(threads);
    int delayedRan = 0;
    bool allOnMain = true;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < postsPerThread; ++i) {
                queue->post([&, t, i] {
                    seen[t].push_back(i);
                    allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
                });
            }
            queue->postAfter(5ms, [&] {
                ++delayedRan;
                allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
            });
            queue->postAfter(5ms, [&] { ++delayedRan; })->cancel();
        });
    }
    ASSERT_TRUE(runLoopUntil([&] {
        std::size_t total = 0;
        for (const auto& s : seen) total += s.size();
        return total == threads * postsPerThread && delayedRan == threads;
    }));
    for (auto& worker : workers) worker.join();
    for (const auto& s : seen) {
        ASSERT_EQ(s.size(), std::size_t(postsPerThread));
        for (int i = 0; i < postsPerThread; ++i) EXPECT_EQ(s[i], i);
    }
    EXPECT_TRUE(allOnMain);
    // A cancelled item stays cancelled: give it a chance to run anyway.
    bool sentinel = false;
    queue->postAfter(50ms, [&] { sentinel = true; });
    ASSERT_TRUE(runLoopUntil([&] { return sentinel; }));
    EXPECT_EQ(delayedRan, threads);
}

TEST_F(QtMainQueueTest, DestroyedQueueDropsWaitingTasks) {
    bool dropped = false;
    {
        QtMainQueue doomed;
        doomed.post([&] { dropped = true; });
        doomed.postAfter(10ms, [&] { dropped = true; });
    }
    bool sentinel = false;
    queue->postAfter(100ms, [&] { sentinel = true; });
    ASSERT_TRUE(runLoopUntil([&] { return sentinel; }));
    EXPECT_FALSE(dropped);
}

}  // namespace
}  // namespace tavlo
