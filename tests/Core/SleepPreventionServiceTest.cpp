#include "Core/SleepPreventionService.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "Support/Localization.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimPowerAssertions.h"
#include "Platform/Sim/VirtualScheduler.h"

namespace torvel {
namespace {

class SleepPreventionServiceTest : public ::testing::Test {
protected:
    std::size_t heldUserActivity() const {
        return assertions.held().size() - assertions.heldKeepAwake().size();
    }

    SimClock clock;
    VirtualScheduler scheduler{clock};
    SimPowerAssertions assertions;
    CapturingLogSink log;
    std::unique_ptr<SleepPreventionService> service =
        std::make_unique<SleepPreventionService>(assertions, scheduler, log);
};

TEST_F(SleepPreventionServiceTest, SwapsTypesThroughAReleaseSoOnlyOneAssertionIsEverHeld) {
    service->stop();  // nothing held: no platform call at all
    EXPECT_EQ(assertions.releaseCount(), 0);

    ASSERT_FALSE(service->start(AssertionType::noIdleSleep));
    ASSERT_FALSE(service->start(AssertionType::noDisplaySleep));

    EXPECT_EQ(assertions.createCount(), 2);
    EXPECT_EQ(assertions.releaseCount(), 1);
    const auto held = assertions.heldKeepAwake();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].platformType, platformName(AssertionType::noDisplaySleep));
    EXPECT_EQ(service->assertionID(), held[0].id);
    EXPECT_EQ(service->currentType(), AssertionType::noDisplaySleep);
    EXPECT_TRUE(service->isAssertionAlive());

    assertions.drop(held[0].id);  // the system took it away
    EXPECT_TRUE(service->isActive());
    EXPECT_FALSE(service->isAssertionAlive());
}

TEST_F(SleepPreventionServiceTest, FailedCallsLeaveNothingHeld) {
    // A failed release still forgets the assertion, so the next start takes a fresh one.
    ASSERT_FALSE(service->start(AssertionType::noSystemSleep));
    assertions.failNextRelease(-4);
    service->stop();
    EXPECT_FALSE(service->isActive());
    EXPECT_EQ(service->assertionID(), 0u);
    EXPECT_FALSE(service->currentType());
    EXPECT_TRUE(log.contains("SleepPrevention", "failed: -4. Assertion may be leaked."));
    // So does a failed release of the screen-saver prevention, and says so.
    ASSERT_FALSE(service->startScreenSaverPrevention());
    assertions.failNextRelease(-5);
    service->stopScreenSaverPrevention();
    EXPECT_FALSE(service->isScreenSaverPreventionActive());
    EXPECT_TRUE(log.contains("SleepPrevention", "screen-saver prevention failed: -5. It may be leaked."));

    // A failed creation while something is held: the old one is released, nothing replaces it.
    ASSERT_FALSE(service->start(AssertionType::noIdleSleep));
    assertions.failNextCreate(-3);
    const auto error = service->start(AssertionType::noDisplaySleep);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, SleepPreventionError::Kind::assertionCreationFailed);
    EXPECT_EQ(error->code, -3);
    EXPECT_FALSE(service->isActive());
    EXPECT_TRUE(log.contains("SleepPrevention", "Creating the power assertion failed: -3"));

    Localization texts(log);
    texts.setTable({{"error.assertion_failed", "Could not keep awake (%ld)."}});
    EXPECT_EQ(error->localizedDescription(texts), "Could not keep awake (-3).");
}

TEST_F(SleepPreventionServiceTest, ScreenSaverPreventionIsHeldOnceAndConfirmedEveryFourSeconds) {
    ASSERT_FALSE(service->start(AssertionType::noIdleSleep));
    ASSERT_FALSE(service->startScreenSaverPrevention());
    ASSERT_FALSE(service->startScreenSaverPrevention());  // already on: no second timer
    EXPECT_TRUE(service->isScreenSaverPreventionActive());
    EXPECT_EQ(scheduler.activeTimerCount(), 1u);
    const auto first = assertions.held();

    // The refresh confirms the one prevention instead of taking a new one each time.
    scheduler.advance(20.0);
    EXPECT_EQ(assertions.userActivityCount(), 1);
    EXPECT_EQ(assertions.confirmCount(), 5);
    EXPECT_EQ(assertions.held().size(), first.size());
    EXPECT_EQ(heldUserActivity(), 1u);

    service->stopScreenSaverPrevention();
    EXPECT_FALSE(service->isScreenSaverPreventionActive());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    EXPECT_EQ(heldUserActivity(), 0u);
    EXPECT_TRUE(service->isAssertionAlive());  // the keep-awake assertion is independent

    assertions.failNextUserActivity(-2);
    const auto error = service->startScreenSaverPrevention();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, SleepPreventionError::Kind::screenSaverPreventionFailed);
    EXPECT_EQ(error->code, -2);
    EXPECT_FALSE(service->isScreenSaverPreventionActive());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);

    // A prevention the session dropped (its service went away) fails the next refresh.
    int failures = 0;
    const Connection failed = service->screenSaverPreventionFailed.connect([&] { ++failures; });
    ASSERT_FALSE(service->startScreenSaverPrevention());
    assertions.drop(assertions.held().back().id);
    scheduler.advance(20.0);
    EXPECT_EQ(failures, 1) << "switched off once, not at every tick";
    EXPECT_FALSE(service->isScreenSaverPreventionActive());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    EXPECT_EQ(heldUserActivity(), 0u);
    EXPECT_TRUE(service->isAssertionAlive());
    EXPECT_TRUE(log.contains("SleepPrevention", "failed during refresh"));

    // A later start begins afresh.
    ASSERT_FALSE(service->startScreenSaverPrevention());
    scheduler.advance(8.0);
    EXPECT_TRUE(service->isScreenSaverPreventionActive());
    EXPECT_EQ(scheduler.activeTimerCount(), 1u);
    EXPECT_EQ(failures, 1);
}

TEST_F(SleepPreventionServiceTest, FailureCallbackMayRestartThePreventionAtOnce) {
    int failures = 0;
    const Connection failed = service->screenSaverPreventionFailed.connect([&] {
        ++failures;
        EXPECT_FALSE(service->startScreenSaverPrevention());
    });
    ASSERT_FALSE(service->startScreenSaverPrevention());
    assertions.failNextUserActivity(-1);
    scheduler.advance(12.0);
    EXPECT_EQ(failures, 1);
    EXPECT_TRUE(service->isScreenSaverPreventionActive());
    EXPECT_EQ(scheduler.activeTimerCount(), 1u);
    EXPECT_EQ(heldUserActivity(), 1u);
}

TEST_F(SleepPreventionServiceTest, DestructionReleasesEverythingAndStopsRefreshing) {
    ASSERT_FALSE(service->start(AssertionType::noSystemSleep));
    ASSERT_FALSE(service->startScreenSaverPrevention());
    service.reset();
    EXPECT_TRUE(assertions.held().empty());
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    const int confirmed = assertions.confirmCount();
    scheduler.advance(60.0);
    EXPECT_EQ(assertions.confirmCount(), confirmed);
}

}  // namespace
}  // namespace torvel
