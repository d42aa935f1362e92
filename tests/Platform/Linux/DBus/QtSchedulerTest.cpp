#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/Desktop/QtScheduler.h"

namespace torvel {
namespace {

bool waitFor(const std::function<bool()>& done, int timeoutMs = 5000) {
    return PrivateBuses::waitFor(done, timeoutMs);
}

TEST(QtScheduler, RunsPostedTasksFirstThenTimersInDueOrder) {
    QtScheduler scheduler;
    std::vector<std::string> ran;
    const auto late = scheduler.after(0.06, [&] { ran.push_back("late"); });
    const auto early = scheduler.after(0.02, [&] { ran.push_back("early"); });
    const auto now = scheduler.after(-1.0, [&] { ran.push_back("now"); });
    scheduler.post([&] {
        ran.push_back("posted");
        scheduler.post([&] { ran.push_back("posted by a task"); });
    });
    EXPECT_TRUE(ran.empty()) << "nothing runs inside post() or after()";
    ASSERT_TRUE(waitFor([&] { return ran.size() == 5; }));
    EXPECT_EQ(ran, (std::vector<std::string>{"posted", "posted by a task", "now", "early", "late"}));
}

TEST(QtScheduler, DestroyingTheHandleCancelsEvenFromInsideTheCallback) {
    QtScheduler scheduler;
    int cancelled = 0, once = 0, ticks = 0;
    bool done = false;
    auto doomed = scheduler.after(0.01, [&] { ++cancelled; });
    Timer selfCancelling;
    selfCancelling = scheduler.after(0.005, [&] {
        ++once;
        selfCancelling.reset();
    });
    Timer tick;
    tick = scheduler.every(0.005, [&] {
        if (++ticks == 3) tick.reset();
    });
    const auto end = scheduler.after(0.05, [&] { done = true; });
    doomed.reset();
    ASSERT_TRUE(waitFor([&] { return done; }));
    EXPECT_FALSE(waitFor([&] { return ticks > 3; }, 100)) << "every() goes on after its handle is gone";
    EXPECT_EQ(cancelled, 0);
    EXPECT_EQ(once, 1);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(selfCancelling, nullptr);
}

TEST(QtScheduler, DelaysBeyondTimerRangeNeverFireAndOddOnesAreClamped) {
    QtScheduler scheduler;
    int fired = 0, nan = 0, fast = 0;
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<Timer> never;
    for (double seconds : {1e300, inf, 2147484.0 /* just past INT_MAX ms */, 30.0 * 86400.0}) {
        never.push_back(scheduler.after(seconds, [&] { ++fired; }));
        never.push_back(scheduler.every(seconds, [&] { ++fired; }));
    }
    const auto nanTimer = scheduler.after(std::nan(""), [&] { ++nan; });
    const auto zeroInterval = scheduler.every(0.0, [&] { ++fast; });  // at least a millisecond apart
    const auto nanInterval = scheduler.every(std::nan(""), [&] { ++fast; });
    ASSERT_TRUE(waitFor([&] { return nan == 1 && fast >= 6; }));
    EXPECT_FALSE(waitFor([&] { return fired > 0; }, 200));
}

TEST(QtScheduler, PostFromAnotherThreadRunsOnTheMainThread) {
    QtScheduler scheduler;
    std::atomic<int> ran = 0;
    bool onMainThread = true;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) {
            scheduler.post([&] {
                onMainThread =
                    onMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
                ++ran;
            });
        }
    });
    worker.join();
    ASSERT_TRUE(waitFor([&] { return ran == 100; }));
    EXPECT_TRUE(onMainThread);

    bool dropped = true;
    {
        QtScheduler shortLived;
        shortLived.post([&] { dropped = false; });
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(dropped) << "a task queued on a destroyed scheduler ran";
}

}  // namespace
}  // namespace torvel
