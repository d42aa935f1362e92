#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimProcessControl.h"
#include "Platform/Sim/SimSessionAutomation.h"
#include "Platform/Sim/VirtualScheduler.h"
#include "Services/EmergencySleepService.h"

namespace torvel {
namespace {

constexpr auto kCategory = "EmergencySleep";

struct EmergencySleep : ::testing::Test {
    CapturingLogSink log;
    SimClock clock;
    VirtualScheduler scheduler{clock};
    SimProcessControl control;
    SimSessionAutomation automation;
    EmergencySleepService service{automation, control, clock, scheduler, log, 1000, timing()};
    int pauses = 0;

    EmergencySleepTiming timing() {
        EmergencySleepTiming t;
        t.stallBound = 0.2;
        t.pause = [this](double seconds) {
            ++pauses;
            clock.advance(seconds);
        };
        return t;
    }
    int linesWith(const std::string& text) const {
        int n = 0;
        for (const auto& m : log.messages(kCategory)) n += m.find(text) != std::string::npos;
        return n;
    }
};

TEST_F(EmergencySleep, ADownAuthorityIsStartedAndPolledUntilItAnswersOrTheBoundPasses) {
    const auto down = PermissionStatus::notRunning;
    automation.setStatuses({down, down, down, down, PermissionStatus::granted});
    EXPECT_EQ(service.consentStatus(false), PermissionStatus::granted);
    EXPECT_EQ(automation.launches(), 1);
    EXPECT_EQ(pauses, 4);
    EXPECT_EQ(automation.asks(), std::vector<bool>(5, false));
    EXPECT_EQ(linesWith("did not come up"), 0);

    // It never comes up: the answer is "not running" once the 3 s are over, with one error line.
    log.clear();
    automation.setStatuses({down});
    const double start = clock.suspendingNow();
    EXPECT_EQ(service.consentStatus(true), down);
    EXPECT_NEAR(clock.suspendingNow() - start, 3.0, 0.06);
    EXPECT_EQ(linesWith("polkit did not come up in time"), 1);
    EXPECT_EQ(automation.asks().back(), true);  // the re-reads ask as the caller asked

    // A polkit that is there but silent is not started again and reads as unreadable, not as down.
    automation.setStatuses({PermissionStatus::noAnswer, PermissionStatus::granted});
    EXPECT_EQ(service.unattendedSleepObstacle(), UnattendedSleepObstacle::consentUnreadable);
    EXPECT_EQ(automation.launches(), 2);
    EXPECT_EQ(linesWith("polkit did not answer"), 1);

    // The last read is at the deadline, none after it.
    SimClock exactClock;
    int polls = 0;
    EmergencySleepTiming coarse;
    coarse.launchTimeout = 1.0;
    coarse.pollInterval = 0.5;
    coarse.pause = [&](double seconds) {
        ++polls;
        exactClock.advance(seconds);
    };
    EmergencySleepService exact{automation, control, exactClock, scheduler, log, 1000, coarse};
    automation.setStatuses({down});
    EXPECT_EQ(exact.consentStatus(false), down);
    EXPECT_EQ(polls, 2);
}

TEST_F(EmergencySleep, StatusesMapToObstaclesAndOnlyAGrantLetsTheUnattendedSleepGo) {
    const std::pair<PermissionStatus, std::optional<UnattendedSleepObstacle>> cases[] = {
        {PermissionStatus::granted, std::nullopt},
        {PermissionStatus::notPermitted, UnattendedSleepObstacle::consentDenied},
        {PermissionStatus::denied, UnattendedSleepObstacle::consentDenied},
        {PermissionStatus::notAsked, UnattendedSleepObstacle::consentNotAsked},
        {PermissionStatus::unreadable, UnattendedSleepObstacle::consentUnreadable},
    };
    for (const auto& [status, obstacle] : cases) {
        automation.setStatuses({status});
        EXPECT_EQ(service.unattendedSleepObstacle(), obstacle) << toString(status);
        EXPECT_EQ(service.sleepNow(false), status == PermissionStatus::granted) << toString(status);
    }
    EXPECT_EQ(automation.sleeps(), std::vector<bool>{false});
    EXPECT_EQ(linesWith("nobody here to grant it"), 4);
    EXPECT_EQ(automation.asks(), std::vector<bool>(10, false));  // never a prompt on this path

    automation.setSleepResult(false, "Access denied");
    EXPECT_FALSE(service.sleepNow(true));
    EXPECT_EQ(linesWith("the session's sleep failed: Access denied"), 1);
    EXPECT_FALSE(service.isSendInFlight());
}

TEST_F(EmergencySleep, AHungRequestShutsBothPathsUntilItReturns) {
    bool stalled = false;
    const Connection stall = service.unattendedSendStalled.connect([&] { stalled = true; });
    automation.setSleepDuration(0.6);
    EXPECT_FALSE(service.sleepNow(false));  // gives up after 0.2 s
    EXPECT_EQ(linesWith("did not return within 0.2 s"), 1);
    EXPECT_FALSE(stalled);  // only on the main loop
    scheduler.runPending();
    EXPECT_TRUE(stalled);

    EXPECT_TRUE(service.isSendInFlight());
    EXPECT_EQ(service.unattendedSleepObstacle(), UnattendedSleepObstacle::sendPending);
    EXPECT_FALSE(service.sleepNow(false));
    EXPECT_EQ(linesWith("has not returned — not stacking another"), 1);
    EXPECT_FALSE(service.sleepNow(true));
    EXPECT_EQ(linesWith("already out — not sending a second one from the menu"), 1);

    for (int i = 0; i < 200 && service.isSendInFlight(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(service.isSendInFlight());
    EXPECT_EQ(automation.sleeps(), std::vector<bool>{false});

    automation.setSleepDuration(0);
    EXPECT_TRUE(service.sleepNow(false));
    EXPECT_EQ(automation.sleeps(), (std::vector<bool>{false, false}));
}

TEST_F(EmergencySleep, AnInteractiveRequestOutRefusesTheUnattendedOne) {
    automation.setSleepDuration(0.5);
    std::thread menu([&] { EXPECT_TRUE(service.sleepNow(true)); });
    for (int i = 0; i < 250 && !service.isSendInFlight(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_FALSE(service.sleepNow(false));
    menu.join();
    EXPECT_EQ(linesWith("previous unattended sleep request has not returned"), 1);
    EXPECT_EQ(automation.sleeps(), std::vector<bool>{true});
}

}  // namespace
}  // namespace torvel
