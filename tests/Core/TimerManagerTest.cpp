#include "Core/TimerManager.h"

#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "State/AppStateHarness.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimSystemSleepEvents.h"
#include "Platform/Sim/SimWallClockChanges.h"
#include "Platform/Sim/VirtualScheduler.h"

namespace torvel {
namespace {

class TimerManagerTest : public ::testing::Test {
protected:
    TimerManagerTest() {
        expiry = manager->expired.connect([this] {
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
    Connection connection, expiry;
};

TEST_F(TimerManagerTest, PresetCountsDownAndExpiresOnceAtTheEnd) {
    manager->start(Duration::preset(Duration::Kind::fifteenMinutes));
    EXPECT_TRUE(manager->isRunning());
    EXPECT_EQ(manager->remainingSeconds(), 900.0);
    EXPECT_EQ(manager->targetDate(), start.addingSeconds(900.0));
    EXPECT_EQ(changes, 1);

    // Read whenever, the remaining time is right, though nothing woke up to count it.
    scheduler.advance(1.5);
    EXPECT_EQ(manager->remainingSeconds(), 898.5);
    scheduler.advance(897.5);
    EXPECT_EQ(manager->secondsLeftNow(), 1.0);
    EXPECT_EQ(expirations, 0);
    scheduler.advance(1.0);
    EXPECT_EQ(expirations, 1);
    EXPECT_FALSE(manager->isRunning());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    scheduler.advance(3600.0);
    EXPECT_EQ(expirations, 1);
}

TEST_F(TimerManagerTest, EndsAlreadyReachedExpireAtTheFirstTickAndAbsurdOnesNever) {
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

    // An absurd length runs without overflowing.
    manager->start(Duration::custom(1e300));
    scheduler.advance(3600.0);
    EXPECT_TRUE(manager->isRunning());
    EXPECT_TRUE(std::isfinite(manager->remainingSeconds()));
    EXPECT_GT(manager->remainingSeconds(), 1e10);
    EXPECT_EQ(expirations, 2);
}

TEST_F(TimerManagerTest, StopIndefiniteAndExtendChangeOnlyARunningCountdown) {
    manager->extend(900.0);
    manager->stop();
    EXPECT_FALSE(manager->isRunning());
    EXPECT_EQ(changes, 0);  // idle: nothing to tell anyone

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

    // Starting indefinite ends the countdown without an expiry.
    manager->start(Duration::preset(Duration::Kind::oneHour));
    scheduler.advance(2.0);
    manager->start(Duration::indefinite());
    EXPECT_FALSE(manager->isRunning());
    EXPECT_EQ(manager->remainingSeconds(), 0.0);
    EXPECT_FALSE(manager->targetDate());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    scheduler.advance(3600.0);
    EXPECT_EQ(expirations, 1);
}

TEST_F(TimerManagerTest, SleepingAcrossTheEndExpiresAtWakeUp) {
    SimSystemSleepEvents sleepEvents(scheduler);
    ASSERT_TRUE(sleepEvents.setOnWake([this] { manager->resynchronize(); }));
    manager->setShownText(TimerManager::ShownText::minutes);

    manager->start(Duration::preset(Duration::Kind::thirtyMinutes));
    scheduler.advance(600.0);
    clock.suspend(600.0);
    EXPECT_EQ(manager->remainingSeconds(), 600.0);  // the wall clock moved on while asleep
    const int before = changes;
    sleepEvents.emitWake();
    scheduler.runPending();
    EXPECT_EQ(changes, before + 1);  // the shown time jumped at wake-up
    scheduler.advance(599.0);
    EXPECT_EQ(expirations, 0);
    scheduler.advance(1.0);
    EXPECT_EQ(expirations, 1);

    // Asleep right across the end: the suspending clock's timer would still be due 14 minutes later.
    manager->start(Duration::preset(Duration::Kind::fifteenMinutes));
    scheduler.advance(60.0);
    clock.suspend(3600.0);
    sleepEvents.emitWake();
    scheduler.runPending();
    EXPECT_EQ(expirations, 2);
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
}

TEST_F(TimerManagerTest, WallClockSetPastTheEndExpiresAtOnceAndSetBackMovesTheWakeUp) {
    SimWallClockChanges clockChanges(clock, scheduler);
    ASSERT_TRUE(clockChanges.setOnChange([this] { manager->resynchronize(); }));

    manager->start(Duration::preset(Duration::Kind::oneHour));
    scheduler.advance(60.0);
    clockChanges.setNow(clock.now().addingSeconds(7200.0));
    scheduler.runPending();
    EXPECT_EQ(expirations, 1);
    EXPECT_FALSE(manager->isRunning());

    // Set back an hour: the end is an hour further away and expires then, not at the old due time.
    manager->start(Duration::preset(Duration::Kind::fifteenMinutes));
    clockChanges.setNow(clock.now().addingSeconds(-3600.0));
    scheduler.runPending();
    EXPECT_EQ(manager->remainingSeconds(), 4500.0);
    scheduler.advance(4499.0);
    EXPECT_EQ(expirations, 1);
    scheduler.advance(1.0);
    EXPECT_EQ(expirations, 2);
}

TEST_F(TimerManagerTest, WakesOnlyWhenTheShownTextChanges) {
    // Nothing shown (headless): a two-hour countdown wakes once, at the end.
    manager->start(Duration::preset(Duration::Kind::twoHours));
    scheduler.advance(7199.0);
    EXPECT_EQ(scheduler.firedTimerCount(), 0u);
    scheduler.advance(1.0);
    EXPECT_EQ(scheduler.firedTimerCount(), 1u);
    EXPECT_EQ(expirations, 1);

    // A title in minutes: once a minute, then every second in the last minute, then the end.
    manager->setShownText(TimerManager::ShownText::minutes);
    manager->start(Duration::custom(600.0));
    std::size_t fired = scheduler.firedTimerCount();
    scheduler.advance(540.0);
    EXPECT_EQ(scheduler.firedTimerCount() - fired, 9u);  // 9:00 left ... 1:00 left
    fired = scheduler.firedTimerCount();
    scheduler.advance(60.0);
    EXPECT_EQ(scheduler.firedTimerCount() - fired, 60u);
    EXPECT_EQ(expirations, 2);

    // An open menu ticks every second, aligned to whole seconds left, and only while it is open.
    manager->start(Duration::custom(3600.0));
    scheduler.advance(0.25);
    auto menu = manager->showSeconds();
    auto window = manager->showSeconds();
    fired = scheduler.firedTimerCount();
    changes = 0;
    scheduler.advance(10.0);
    EXPECT_EQ(scheduler.firedTimerCount() - fired, 10u);
    EXPECT_EQ(changes, 10);
    EXPECT_EQ(manager->remainingSeconds(), 3589.75);
    menu.reset();
    scheduler.advance(5.0);
    EXPECT_EQ(scheduler.firedTimerCount() - fired, 15u);  // the window still shows seconds
    window = TimerManager::SecondsDemand();
    EXPECT_EQ(manager->secondsDemandCount(), 0u);
    fired = scheduler.firedTimerCount();
    scheduler.advance(120.0);
    EXPECT_EQ(scheduler.firedTimerCount() - fired, 2u);  // back to the minute

    // A token may outlive its manager.
    auto late = manager->showSeconds();
    manager.reset();
    late.reset();
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
}

TEST_F(TimerManagerTest, ExpiryCallbackMayStartTheNextCountdown) {
    expiry = manager->expired.connect([this] {
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
}

// The whole application on the simulated machine, headless: the wake-ups of a running session.
TEST(CountdownWakeUpsTest, HeadlessSessionWakesOnlyForTheHeartbeatAndTheEnd) {
    AppStateHarness app;
    app.state->activate(Duration::custom(600.0));
    app.scheduler.runPending();
    ASSERT_TRUE(app.state->isActive());
    const std::size_t before = app.scheduler.firedTimerCount();
    // Two heartbeats a minute and nothing else...
    app.scheduler.advance(599.0);
    EXPECT_EQ(app.scheduler.firedTimerCount() - before, 19u);
    // ...then the end, which also ends the heartbeat due with it.
    app.scheduler.advance(1.0);
    EXPECT_FALSE(app.state->isActive());
    EXPECT_EQ(app.scheduler.firedTimerCount() - before, 20u);
    EXPECT_EQ(app.scheduler.activeTimerCount(), 0u);
}

}  // namespace
}  // namespace torvel
