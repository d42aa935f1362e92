#include "Core/TimerManager.h"

#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/VirtualScheduler.h"

namespace torvel {
namespace {

class TimerManagerTest : public ::testing::Test {
protected:
    TimerManagerTest() {
        manager->setOnExpired([this] {
            ++expirations;
            // The countdown is already over when the callback runs.
            EXPECT_FALSE(manager->isRunning());
            EXPECT_EQ(manager->remainingSeconds(), 0.0);
        });
        connection = manager->changed.connect([this] { ++changes; });
    }

    const Date start{700000000.0};
    SimClock clock{start};
    VirtualScheduler scheduler{clock};
    std::unique_ptr<TimerManager> manager = std::make_unique<TimerManager>(clock, scheduler);
    int expirations = 0;
    int changes = 0;
    Connection connection;
};

TEST_F(TimerManagerTest, PresetCountsDownEachSecondAndExpiresOnceAtTheEnd) {
    manager->start(Duration::preset(Duration::Kind::fifteenMinutes));
    EXPECT_TRUE(manager->isRunning());
    EXPECT_EQ(manager->remainingSeconds(), 900.0);
    EXPECT_EQ(manager->targetDate(), start.addingSeconds(900.0));
    EXPECT_EQ(changes, 1);

    scheduler.advance(1.0);
    EXPECT_EQ(manager->remainingSeconds(), 899.0);
    EXPECT_EQ(changes, 2);

    scheduler.advance(898.0);
    EXPECT_EQ(manager->remainingSeconds(), 1.0);
    EXPECT_EQ(expirations, 0);
    scheduler.advance(1.0);
    EXPECT_EQ(expirations, 1);
    EXPECT_FALSE(manager->isRunning());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    scheduler.advance(3600.0);
    EXPECT_EQ(expirations, 1);
}

TEST_F(TimerManagerTest, StoppingOrStartingIndefiniteEndsTheCountdownWithoutExpiry) {
    manager->stop();  // idle: nothing to tell anyone
    EXPECT_EQ(changes, 0);

    manager->start(Duration::preset(Duration::Kind::oneHour));
    scheduler.advance(2.0);
    manager->start(Duration::indefinite());
    EXPECT_FALSE(manager->isRunning());
    EXPECT_EQ(manager->remainingSeconds(), 0.0);
    EXPECT_FALSE(manager->targetDate());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    manager->stop();
    scheduler.advance(3600.0);
    EXPECT_EQ(expirations, 0);
}

TEST_F(TimerManagerTest, EndsAlreadyReachedExpireAtTheFirstTick) {
    manager->start(Duration::custom(0.0));
    EXPECT_TRUE(manager->isRunning());
    EXPECT_EQ(manager->remainingSeconds(), 0.0);
    scheduler.advance(0.5);
    EXPECT_EQ(expirations, 0);
    scheduler.advance(0.5);
    EXPECT_EQ(expirations, 1);

    // An end in the past shows 0, never a negative time.
    manager->start(Duration::until(start.addingSeconds(-60.0)));
    EXPECT_TRUE(manager->isRunning());
    EXPECT_EQ(manager->remainingSeconds(), 0.0);
    scheduler.advance(1.0);
    EXPECT_EQ(expirations, 2);
}

TEST_F(TimerManagerTest, ExtendMovesTheEndOfARunningCountdownOnly) {
    manager->extend(900.0);
    EXPECT_FALSE(manager->isRunning());
    EXPECT_EQ(changes, 0);

    manager->start(Duration::preset(Duration::Kind::fifteenMinutes));
    scheduler.advance(600.0);
    ASSERT_EQ(manager->remainingSeconds(), 300.0);
    manager->extend(900.0);
    EXPECT_EQ(manager->remainingSeconds(), 1200.0);
    EXPECT_EQ(manager->targetDate(), start.addingSeconds(1800.0));

    scheduler.advance(1199.0);
    EXPECT_EQ(expirations, 0);
    scheduler.advance(1.0);
    EXPECT_EQ(expirations, 1);
    scheduler.advance(900.0);
    EXPECT_EQ(expirations, 1);
}

TEST_F(TimerManagerTest, RemainingTimeFollowsTheWallClockAcrossASuspend) {
    manager->start(Duration::preset(Duration::Kind::thirtyMinutes));
    scheduler.advance(600.0);
    clock.suspend(600.0);
    EXPECT_EQ(manager->remainingSeconds(), 1200.0);  // no tick while asleep

    scheduler.advance(1.0);  // the first tick after waking is late, not drifted
    EXPECT_EQ(manager->remainingSeconds(), 599.0);
    scheduler.advance(598.0);
    EXPECT_EQ(expirations, 0);
    scheduler.advance(1.0);
    EXPECT_EQ(expirations, 1);

    // Sleeping right across the end: expiry comes with the first tick after waking.
    manager->start(Duration::preset(Duration::Kind::fifteenMinutes));
    scheduler.advance(0.5);
    clock.suspend(3600.0);
    EXPECT_EQ(expirations, 1);
    scheduler.advance(0.5);
    EXPECT_EQ(expirations, 2);
}

TEST_F(TimerManagerTest, AbsurdCustomLengthRunsWithoutOverflow) {
    manager->start(Duration::custom(1e300));
    EXPECT_TRUE(manager->isRunning());
    scheduler.advance(3600.0);
    EXPECT_TRUE(manager->isRunning());
    EXPECT_TRUE(std::isfinite(manager->remainingSeconds()));
    EXPECT_GT(manager->remainingSeconds(), 1e10);
    EXPECT_EQ(expirations, 0);
}

TEST_F(TimerManagerTest, ExpiryCallbackMayStartTheNextCountdown) {
    manager->setOnExpired([this] {
        ++expirations;
        if (expirations == 1) manager->start(Duration::custom(60.0));
    });
    manager->start(Duration::custom(10.0));
    scheduler.advance(10.0);
    EXPECT_EQ(expirations, 1);
    EXPECT_TRUE(manager->isRunning());
    EXPECT_EQ(manager->remainingSeconds(), 60.0);
    EXPECT_EQ(scheduler.activeTimerCount(), 1u);
    scheduler.advance(60.0);
    EXPECT_EQ(expirations, 2);
    EXPECT_FALSE(manager->isRunning());

    // A destroyed manager stops ticking.
    manager->start(Duration::custom(5.0));
    manager.reset();
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    scheduler.advance(10.0);
    EXPECT_EQ(expirations, 2);
}

}  // namespace
}  // namespace torvel
