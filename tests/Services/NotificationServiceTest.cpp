#include "Services/NotificationService.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Support/Localization.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimNotificationCenter.h"
#include "Platform/Sim/VirtualScheduler.h"

namespace torvel {
namespace {

class NotificationServiceTest : public ::testing::Test {
protected:
    NotificationServiceTest() {
        texts.setTable({{"notification.battery_hard_limit", "Stopped at the battery limit"},
                        {"notification.lpm_suggestion.title", "Low Power Mode"},
                        {"notification.lpm_suggestion.body", "Turn it on?"},
                        {"notification.guardian_continue", "Continue"},
                        {"notification.guardian_deactivate", "Deactivate"},
                        {"notification.lpm_suggestion.action_open", "Open Settings"},
                        {"notification.thermal_throttle.title", "Too hot"},
                        {"notification.thermal_throttle.body", "Thermal state: %@"},
                        {"thermal.serious", "serious"},
                        {"notification.emergency_sleep", "Sleeping at %ld%% despite %@"}});
    }

    // Starts the service with the user's answer and lets the answer arrive.
    void start(bool granted) {
        center.grant(granted);
        service.setup();
        scheduler.runPending();
    }

    SimClock clock;
    VirtualScheduler scheduler{clock};
    CapturingLogSink log;
    Localization texts{log};
    SimNotificationCenter center{scheduler};
    NotificationService service{center, scheduler, texts, log};
};

TEST_F(NotificationServiceTest, WithoutPermissionKeepsTheBodyAsStatusMessageAndPostsNothing) {
    for (const bool failing : {false, true}) {
        SCOPED_TRACE(failing ? "authorization failed" : "denied");
        log.clear();
        NotificationService fresh{center, scheduler, texts, log};
        if (failing) center.failAuthorization("no notification server");
        center.grant(failing);  // an error refuses even what the user granted
        fresh.setup();
        scheduler.runPending();
        EXPECT_FALSE(fresh.isAuthorized());
        // Why nothing pops up is told either way.
        EXPECT_EQ(log.contains("Notifications", "Notification authorization failed: no notification server"),
                  failing);
        EXPECT_EQ(log.contains("Notifications", "denied by user"), !failing);
        int changes = 0;
        auto connection = fresh.lastStatusMessageChanged.connect([&] { ++changes; });

        fresh.send("battery-hard-limit", kNotificationTitle, texts.text("notification.battery_hard_limit"));
        EXPECT_FALSE(fresh.lastStatusMessage()) << "the status message changes on the main loop";
        scheduler.runPending();

        EXPECT_EQ(fresh.lastStatusMessage(), "Stopped at the battery limit");
        EXPECT_EQ(changes, 1);
        EXPECT_TRUE(center.requests().empty());
    }
}

TEST_F(NotificationServiceTest, PostsRequestsAndReplacesOneOfTheSameIdentifier) {
    start(true);
    service.send("lpm-suggestion", texts.text("notification.lpm_suggestion.title"),
                 texts.text("notification.lpm_suggestion.body"), kLowPowerModeSuggestionCategory);
    service.send("lpm-suggestion", "Low Power Mode", "Again?", kLowPowerModeSuggestionCategory);
    scheduler.runPending();

    ASSERT_EQ(center.requests().size(), 2u);
    EXPECT_EQ(center.requests()[0], (NotificationRequest{"lpm-suggestion", "Low Power Mode", "Turn it on?",
                                                         "LPM_SUGGESTION", true}));
    EXPECT_EQ(center.shown(), std::vector<NotificationRequest>{center.requests()[1]});
    EXPECT_FALSE(service.lastStatusMessage());
}

TEST_F(NotificationServiceTest, DeliveryErrorIsLoggedWithTheIdentifierWhileTheServiceLives) {
    start(true);
    center.failNextAdd("server gone");
    service.send("timer-expired", kNotificationTitle, "Timer expired");
    scheduler.runPending();
    EXPECT_TRUE(center.shown().empty());
    EXPECT_TRUE(log.contains("Notifications", "Failed to deliver notification 'timer-expired': server gone"));

    log.clear();
    auto early = std::make_unique<NotificationService>(center, scheduler, texts, log);
    early->setup();
    scheduler.runPending();
    center.failNextAdd("server gone");
    early->send("timer-expired", kNotificationTitle, "Timer expired");
    early.reset();
    scheduler.runPending();
    EXPECT_FALSE(log.contains("Notifications", "Failed to deliver")) << "an answer after the service is gone";
}

TEST_F(NotificationServiceTest, RoutesButtonsToTheirActionsAndIgnoresABodyClick) {
    int deactivated = 0, continued = 0;
    const Connection deactivate = service.guardianDeactivate.connect([&] { ++deactivated; });
    const Connection keepOn = service.guardianContinue.connect([&] { ++continued; });
    start(true);

    center.respond("guardian-reminder", kDefaultNotificationAction);
    center.respond("guardian-reminder", "SOMETHING_ELSE");
    EXPECT_EQ(deactivated + continued + center.openPowerSettingsCount(), 0);

    center.respond("guardian-reminder", "GUARDIAN_DEACTIVATE");
    EXPECT_EQ(deactivated, 1);
    center.respond("guardian-reminder", "GUARDIAN_CONTINUE");
    EXPECT_EQ(continued, 1);
    EXPECT_EQ(deactivated, 1);

    center.respond("lpm-suggestion", "OPEN_BATTERY_SETTINGS");
    EXPECT_EQ(center.openPowerSettingsCount(), 1);
    center.failOpenPowerSettings(true);
    center.respond("lpm-suggestion", "OPEN_BATTERY_SETTINGS");
    EXPECT_TRUE(log.contains("Notifications", "Could not open the power settings"));
}

TEST_F(NotificationServiceTest, LanguageChangeRetitlesTheButtons) {
    start(true);
    ASSERT_EQ(center.categories().size(), 2u);
    EXPECT_EQ(center.categories()[0].identifier, "GUARDIAN_REMINDER");
    EXPECT_EQ(center.categories()[0].actions,
              (std::vector<NotificationAction>{
                  {"GUARDIAN_CONTINUE", "Continue", NotificationActionOption::none},
                  {"GUARDIAN_DEACTIVATE", "Deactivate", NotificationActionOption::destructive}}));

    texts.setTable({{"notification.guardian_continue", "Pokračovat"},
                    {"notification.guardian_deactivate", "Vypnout"},
                    {"notification.lpm_suggestion.action_open", "Otevřít nastavení"}});
    texts.languageChanged.emit();

    ASSERT_EQ(center.categories().size(), 2u);
    EXPECT_EQ(center.categories()[0].actions[0].title, "Pokračovat");
    EXPECT_EQ(center.categories()[0].actions[1].title, "Vypnout");
    EXPECT_EQ(center.categories()[1], (NotificationCategory{"LPM_SUGGESTION",
                                                            {{"OPEN_BATTERY_SETTINGS", "Otevřít nastavení",
                                                              NotificationActionOption::foreground}}}));
}

TEST_F(NotificationServiceTest, ConvenienceSendersFillTheirTexts) {
    start(true);
    service.sendThermalThrottle(ThermalState::serious);
    service.sendThermalThrottle(static_cast<ThermalState>(7));
    service.sendEmergencySleep(4, {"backup", "backup", "", "render"});

    std::vector<std::string> posted;
    for (const auto& r : center.requests()) posted.push_back(r.identifier + "|" + r.title + "|" + r.body);
    EXPECT_EQ(posted,
              (std::vector<std::string>{"thermal-throttle|Too hot|Thermal state: serious",
                                        "thermal-throttle|Too hot|Thermal state: ?",
                                        "emergency-sleep|Torvel|Sleeping at 4% despite backup, render"}));
}

TEST_F(NotificationServiceTest, BackgroundWorkIsHandedToTheMainLoop) {
    start(true);
    std::thread worker([this] {
        service.send("emergency-stalled", "Torvel", "Stalled");
        service.sendEmergencySleep(3, {"backup"});
    });
    worker.join();
    EXPECT_TRUE(center.requests().empty()) << "the center is only touched on the main loop";
    scheduler.runPending();
    ASSERT_EQ(center.requests().size(), 2u);
    EXPECT_EQ(center.requests()[0].identifier, "emergency-stalled");
    EXPECT_EQ(center.requests()[1].body, "Sleeping at 3% despite backup");

    std::thread([this] { service.send("late", "Torvel", "Late"); }).join();
    {
        NotificationService gone{center, scheduler, texts, log};
        std::thread([&gone] { gone.send("never", "Torvel", "Never"); }).join();
    }
    scheduler.runPending();  // a request for a service that is gone is dropped
    EXPECT_EQ(center.requests().back().identifier, "late");
}

TEST(NotificationServiceFormatNames, KeepsDistinctNamesAndCountsThoseBeyondThree) {
    using N = std::vector<std::string>;
    EXPECT_EQ(NotificationService::formatNames(N{"a", "a", "", "b"}), "a, b");
    EXPECT_EQ(NotificationService::formatNames(N{}), "");
    EXPECT_EQ(NotificationService::formatNames(N{"", ""}), "");
    EXPECT_EQ(NotificationService::formatNames(N{"a", "b", "c"}), "a, b, c");
    EXPECT_EQ(NotificationService::formatNames(N{"a", "b", "c", "d", "e", "f"}), "a, b, c +3");
    EXPECT_EQ(NotificationService::formatNames(N{"a", "b", "c", "c", "d"}), "a, b, c +1");
}

}  // namespace
}  // namespace torvel
