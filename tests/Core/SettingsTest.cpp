#include <gtest/gtest.h>

#include "AppStateHarness.h"

namespace torvel {
namespace {

TEST(Settings, FreshStoreYieldsTheDefaults) {
    MemoryDefaultsStore store;
    CapturingLogSink log;
    const SettingsValues s = loadSettings(store, Logger(log, "Settings"));
    EXPECT_TRUE(s.batteryLimitEnabled);
    EXPECT_EQ(s.batteryLimitPercent, 20);
    EXPECT_TRUE(s.resumeOnCharger && s.predictiveBatteryWarning && s.showRemainingTime);
    EXPECT_EQ(s.predictiveBatteryMinutes, 15);
    EXPECT_FALSE(s.showBatteryEstimate || s.preventDisplaySleep || s.preventScreenSaver);
    EXPECT_TRUE(s.lidCloseSoundEnabled && s.heartbeatPipEnabled && s.heartbeatPipDecayEnabled);
    EXPECT_FLOAT_EQ(s.lidCloseSoundVolume, 1.0f);
    EXPECT_FLOAT_EQ(s.heartbeatPipVolume, 0.4f);
    EXPECT_TRUE(s.guardianEnabled);
    EXPECT_EQ(s.guardianHours, 8);
    EXPECT_FALSE(s.hasSeenOnboarding || s.trustedNetworkActivationEnabled || s.processTriggerEnabled);
    EXPECT_EQ(s.trustedNetworkAssertionType, AssertionType::noSystemSleep);
    EXPECT_EQ(s.processTriggerAssertionType, AssertionType::noIdleSleep);
    EXPECT_TRUE(s.thermalKillSwitchEnabled && s.autoEnableLowPowerModeOnLidClose &&
                s.preferStayguardClamshellDefeat);
    EXPECT_TRUE(s.emergencyPowerEnabled && s.emergencyAlarmEnabled);
    EXPECT_EQ(s.emergencyForceSleepPercent, 5);
    EXPECT_EQ(s.emergencyTerminateBlockersPercent, 0);
    EXPECT_EQ(s.language, AppLanguage::system);
    EXPECT_FALSE(s.autoActivateOnExternalDisplay || s.autoActivateOnMirroring);
    EXPECT_TRUE(s.trustedNetworks.empty());
    EXPECT_EQ(store.writeCount(), 0);
}

TEST(Settings, ValuesOfTheWrongKindFallBackPerRule) {
    MemoryDefaultsStore store;
    store.set("batteryLimitEnabled", false);                // T: a stored false stays false
    store.set("resumeOnCharger", std::string("no"));        // T: mistyped -> default on
    store.set("preventDisplaySleep", std::int64_t{1});      // F: only a Boolean counts
    store.set("batteryLimitPercent", 35.5);                 // I: not an integer -> 20
    store.set("guardianHours", std::int64_t{-3});           // I: no range check while loading
    store.set("heartbeatPipVolume", std::int64_t{1});       // R: any number
    store.set("lidCloseSoundVolume", std::string("loud"));  // R: -> 1.0
    store.set("trustedNetworkAssertionType", std::string("noNapping"));
    store.set("processTriggerAssertionType", std::string("noDisplaySleep"));
    store.set("language", std::string("de"));
    store.set("trustedNetworks", DefaultsData::fromString("[{\"ssid\":\"x\"}]"));  // unreadable -> empty
    const int writes = store.writeCount();

    CapturingLogSink log;
    const SettingsValues s = loadSettings(store, Logger(log, "Settings"));
    EXPECT_FALSE(s.batteryLimitEnabled);
    EXPECT_TRUE(s.resumeOnCharger);
    EXPECT_FALSE(s.preventDisplaySleep);
    EXPECT_EQ(s.batteryLimitPercent, 20);
    EXPECT_EQ(s.guardianHours, -3);
    EXPECT_FLOAT_EQ(s.heartbeatPipVolume, 1.0f);
    EXPECT_FLOAT_EQ(s.lidCloseSoundVolume, 1.0f);
    EXPECT_EQ(s.trustedNetworkAssertionType, AssertionType::noSystemSleep);
    EXPECT_EQ(s.processTriggerAssertionType, AssertionType::noDisplaySleep);
    EXPECT_EQ(s.language, AppLanguage::system);
    EXPECT_TRUE(s.trustedNetworks.empty());
    // Loading never rewrites what it could not use.
    EXPECT_EQ(store.writeCount(), writes);
    EXPECT_EQ(std::get<std::string>(*store.object("trustedNetworkAssertionType")), "noNapping");
}

TEST(Settings, AssignmentStoresTheValueInItsKindAndRunsItsChangeHandling) {
    AppStateHarness h;
    std::vector<std::string> published;
    auto connection =
        h.state->settingChanged.connect([&](std::string_view key) { published.emplace_back(key); });

    h.state->set(&SettingsValues::heartbeatPipVolume, 0.25f);
    h.state->set(&SettingsValues::trustedNetworkAssertionType, AssertionType::noDisplaySleep);
    h.state->set(&SettingsValues::resumeOnCharger, true);  // unchanged values are stored all the same
    EXPECT_DOUBLE_EQ(std::get<double>(*h.defaults.object("heartbeatPipVolume")), 0.25);
    EXPECT_EQ(std::get<std::string>(*h.defaults.object("trustedNetworkAssertionType")), "noDisplaySleep");
    EXPECT_EQ(std::get<bool>(*h.defaults.object("resumeOnCharger")), true);
    EXPECT_EQ(published, (std::vector<std::string>{"heartbeatPipVolume", "trustedNetworkAssertionType",
                                                   "resumeOnCharger"}));

    h.state->toggle();
    h.state->set(&SettingsValues::preventDisplaySleep, true);  // re-evaluates at once
    EXPECT_EQ(h.held(), std::vector<std::string>{"NoDisplaySleepAssertion"});

    h.state->addTrustedSSID("Café Wi-Fi");
    h.start();  // a restart reads back what was stored
    EXPECT_TRUE(h.state->settings().preventDisplaySleep);
    EXPECT_FLOAT_EQ(h.state->settings().heartbeatPipVolume, 0.25f);
    ASSERT_EQ(h.state->settings().trustedNetworks.size(), 1u);
    EXPECT_EQ(h.state->settings().trustedNetworks[0].ssid, "Café Wi-Fi");
}

TEST(Settings, TextAssignmentIsTypedByTheTable) {
    AppStateHarness h;
    EXPECT_EQ(h.state->setSettingFromText("batteryLimitPercent", "35"), std::nullopt);
    EXPECT_EQ(h.state->settings().batteryLimitPercent, 35);
    EXPECT_EQ(h.state->setSettingFromText("language", "cs"), std::nullopt);
    EXPECT_EQ(h.state->settings().language, AppLanguage::cs);

    const int writes = h.defaults.writeCount();
    for (auto [key, text] :
         std::vector<std::pair<const char*, const char*>>{{"batteryLimitPercent", "35%"},
                                                          {"batteryLimitPercent", ""},
                                                          {"batteryLimitPercent", "99999999999999999999"},
                                                          {"preventDisplaySleep", "yes"},
                                                          {"heartbeatPipVolume", "1.5"},
                                                          {"heartbeatPipVolume", "nan"},
                                                          {"processTriggerAssertionType", "noidlesleep"},
                                                          {"noSuchSetting", "1"}}) {
        auto error = h.state->setSettingFromText(key, text);
        ASSERT_TRUE(error) << key << "=" << text;
        EXPECT_NE(error->find(key), std::string::npos) << *error;
    }
    EXPECT_EQ(*h.state->setSettingFromText("preventDisplaySleep", "yes"),
              "preventDisplaySleep expects a Boolean (true or false)");
    EXPECT_EQ(h.defaults.writeCount(), writes);
    EXPECT_EQ(h.state->settings().batteryLimitPercent, 35);
}

}  // namespace
}  // namespace torvel
