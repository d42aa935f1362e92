#include "Platform/Sim/VirtualScheduler.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace torvel {
namespace {

class VirtualSchedulerTest : public ::testing::Test {
protected:
    std::function<void()> record(std::string name) {
        return [this, name] { fired.push_back(name + "@" + std::to_string(clock.suspendingNow() - start)); };
    }

    SimClock clock{Date(0.0)};
    VirtualScheduler scheduler{clock};
    const double start = clock.suspendingNow();
    std::vector<std::string> fired;
};

TEST_F(VirtualSchedulerTest, FiresInDueOrderPostedTasksFirstAndMovesTheClockToEachDueTime) {
    auto late = scheduler.after(3.0, record("late"));
    auto tieA = scheduler.after(2.0, [&] {
        record("tieA")();
        scheduler.post(record("postedByTieA"));
    });
    auto tieB = scheduler.after(2.0, record("tieB"));
    auto asap = scheduler.after(std::nan(""), record("asap"));
    auto beyond = scheduler.after(10.0, record("beyond"));
    scheduler.post([&] {
        record("posted")();
        scheduler.post(record("nested"));
    });

    scheduler.advance(5.0);

    EXPECT_EQ(fired, (std::vector<std::string>{"posted@0.000000", "nested@0.000000", "asap@0.000000",
                                               "tieA@2.000000", "postedByTieA@2.000000", "tieB@2.000000",
                                               "late@3.000000"}));
    EXPECT_DOUBLE_EQ(clock.now().secondsSinceReferenceDate(), 5.0);
    EXPECT_EQ(scheduler.activeTimerCount(), 1u);  // fired one-shots no longer count
    EXPECT_EQ(scheduler.nextDue(), start + 10.0);
}

TEST_F(VirtualSchedulerTest, DestroyingTheHandleCancelsEvenFromInsideItsOwnCallback) {
    auto cancelled = scheduler.after(1.0, record("cancelled"));
    cancelled.reset();

    int ticks = 0;
    Timer selfStopping;
    auto payload = std::make_shared<std::string>("captured state");
    selfStopping = scheduler.every(1.0, [&, payload] {
        if (++ticks < 3) return;
        selfStopping.reset();
        EXPECT_EQ(*payload, "captured state");  // the running callback is still intact
    });
    std::weak_ptr<std::string> watch = payload;
    payload.reset();

    scheduler.advance(10.0);
    EXPECT_TRUE(fired.empty());
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    EXPECT_TRUE(watch.expired());  // a cancelled callback is dropped once it has returned

    Timer orphan;  // a handle may outlive its scheduler
    {
        VirtualScheduler other(clock);
        orphan = other.every(1.0, [] {});
    }
    orphan.reset();
}

TEST_F(VirtualSchedulerTest, RepeatingTimersKeepTheirRhythmAndHaveAFloor) {
    auto every = scheduler.every(4.0, record("tick"));
    scheduler.advance(10.0);
    scheduler.advance(2.0);
    EXPECT_EQ(fired, (std::vector<std::string>{"tick@4.000000", "tick@8.000000", "tick@12.000000"}));

    // Zero and NaN intervals become a millisecond, so advance() always ends.
    int zero = 0, nan = 0;
    auto zeroTimer = scheduler.every(0.0, [&] { ++zero; });
    auto nanTimer = scheduler.every(std::nan(""), [&] { ++nan; });
    scheduler.advance(0.1);
    EXPECT_NEAR(zero, 100, 1);
    EXPECT_NEAR(nan, 100, 1);
}

// Workers hand results back through post() while the main thread advances, as the emergency's worker
// and the sleep service's sender do; run under ThreadSanitizer by scripts/tsan.
TEST_F(VirtualSchedulerTest, TasksPostedFromWorkerThreadsRunOnTheAdvancingThreadInTheirOrder) {
    constexpr int kWorkers = 4, kTasksEach = 500;
    const auto mainThread = std::this_thread::get_id();
    std::vector<std::vector<int>> seen(kWorkers);  // touched by the main thread only
    int offThread = 0;
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            for (int i = 0; i < kTasksEach; ++i) {
                scheduler.post([&, w, i] {
                    if (std::this_thread::get_id() != mainThread) ++offThread;
                    seen[static_cast<std::size_t>(w)].push_back(i);
                });
            }
            ++finished;
        });
    }
    auto tick = scheduler.every(1.0, [] {});
    while (finished.load() < kWorkers) scheduler.advance(1.0);
    for (auto& worker : workers) worker.join();
    scheduler.runPending();

    EXPECT_EQ(offThread, 0);
    for (const auto& fromOne : seen) {
        ASSERT_EQ(fromOne.size(), static_cast<std::size_t>(kTasksEach));
        EXPECT_TRUE(std::is_sorted(fromOne.begin(), fromOne.end()));
    }
}

}  // namespace
}  // namespace torvel
