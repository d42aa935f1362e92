#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "State/AppStateHarness.h"

namespace torvel {
namespace {

// The defaults themselves are SettingsValues' initialisers; what loading adds is nothing.
TEST(Settings, FreshStoreYieldsTheDefaultsAndWritesNothing) {
    MemoryDefaultsStore store;
    CapturingLogSink log;
    const SettingsValues s = loadSettings(store, Logger(log, "Settings"), Date(0));
    for (const auto& row : settingDescriptors()) {
        EXPECT_EQ(settingText(row, s), settingText(row, SettingsValues{})) << row.key;
        // Every bounded row's default lies in its range: a fresh store must not be clamped.
        const double value = row.range ? std::stod(settingText(row, SettingsValues{})) : 0;
        EXPECT_TRUE(!row.range || (value >= row.range->min && value <= row.range->max)) << row.key;
    }
    EXPECT_TRUE(s.trustedNetworks.empty());
    EXPECT_EQ(store.writeCount(), 0);
    EXPECT_TRUE(log.lines().empty());
}

TEST(Settings, ValuesOfTheWrongKindFallBackPerRule) {
    MemoryDefaultsStore store;
    store.set("batteryLimitEnabled", false);                // T: a stored false stays false
    store.set("resumeOnCharger", std::string("no"));        // T: mistyped -> default on
    store.set("preventDisplaySleep", std::int64_t{1});      // F: only a Boolean counts
    store.set("batteryLimitPercent", 35.5);                 // I: not an integer -> 20
    store.set("heartbeatPipVolume", std::int64_t{1});       // R: any number
    store.set("lidCloseSoundVolume", std::string("loud"));  // R: -> 1.0
    store.set("trustedNetworkAssertionType", std::string("noNapping"));
    store.set("processTriggerAssertionType", std::string("noDisplaySleep"));
    store.set("language", std::string("de"));
    store.set("trustedNetworks", DefaultsData::fromString("[{\"ssid\":\"x\"}]"));  // unreadable -> empty
    const int writes = store.writeCount();

    CapturingLogSink log;
    const SettingsValues s = loadSettings(store, Logger(log, "Settings"), Date(0));
    EXPECT_FALSE(s.batteryLimitEnabled);
    EXPECT_TRUE(s.resumeOnCharger);
    EXPECT_FALSE(s.preventDisplaySleep);
    EXPECT_EQ(s.batteryLimitPercent, 20);
    EXPECT_FLOAT_EQ(s.heartbeatPipVolume, 1.0f);
    EXPECT_FLOAT_EQ(s.lidCloseSoundVolume, 1.0f);
    EXPECT_EQ(s.trustedNetworkAssertionType, AssertionType::noSystemSleep);
    EXPECT_EQ(s.processTriggerAssertionType, AssertionType::noDisplaySleep);
    EXPECT_EQ(s.language, AppLanguage::system);
    EXPECT_TRUE(s.trustedNetworks.empty());
    // Loading never rewrites what it could not use; the list it cannot read is only copied aside.
    EXPECT_EQ(store.writeCount(), writes + 1);
    EXPECT_EQ(store.object("trustedNetworks.unreadable." + Date(0).toString()), store.object("trustedNetworks"));
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

    h.state->trustedNetworks().addTrustedSSID("Café Wi-Fi");
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
                                                          {"batteryLimitPercent", "10"},
                                                          {"batteryLimitPercent", "20.5"},
                                                          {"guardianHours", "-9223372036854775808"},
                                                          {"guardianHours", "0"},
                                                          {"preventDisplaySleep", "yes"},
                                                          {"batteryLimitEnabled", "1"},
                                                          {"language", "de"},
                                                          {"heartbeatPipVolume", "1.5"},
                                                          {"heartbeatPipVolume", "nan"},
                                                          {"processTriggerAssertionType", "noidlesleep"},
                                                          {"noSuchSetting", "1"}}) {
        auto error = h.state->setSettingFromText(key, text);
        ASSERT_TRUE(error) << key << "=" << text;
        EXPECT_EQ(error->reason, SettingRefusal::Reason::badInput);
        EXPECT_NE(error->message.find(key), std::string::npos) << error->message;
    }
    EXPECT_EQ(h.state->setSettingFromText("preventDisplaySleep", "yes")->message,
              "preventDisplaySleep expects a Boolean (true or false)");
    EXPECT_EQ(h.state->setSettingFromText("batteryLimitPercent", "51")->message,
              "batteryLimitPercent expects an integer from 11 to 50");
    EXPECT_EQ(h.defaults.writeCount(), writes);
    EXPECT_EQ(h.state->settings().batteryLimitPercent, 35);
}

TEST(Settings, StoredValuesOutOfRangeReadAsTheNearestBoundAndStayStored) {
    MemoryDefaultsStore store;
    store.set("batteryLimitPercent", std::int64_t{100});
    store.set("predictiveBatteryMinutes", std::int64_t{0});
    store.set("guardianHours", std::numeric_limits<std::int64_t>::max());
    store.set("emergencyForceSleepPercent", std::numeric_limits<std::int64_t>::min());
    store.set("emergencyTerminateBlockersPercent", std::int64_t{1'000'000'000});
    store.set("heartbeatPipVolume", -1.0);
    store.set("lidCloseSoundVolume", std::int64_t{7});
    const int writes = store.writeCount();

    CapturingLogSink log;
    const SettingsValues s = loadSettings(store, Logger(log, "Settings"), Date(0));
    EXPECT_EQ(s.batteryLimitPercent, 50);
    EXPECT_EQ(s.predictiveBatteryMinutes, 5);
    EXPECT_EQ(s.guardianHours, 24);
    EXPECT_EQ(s.emergencyForceSleepPercent, 0);
    EXPECT_EQ(s.emergencyTerminateBlockersPercent, 20);
    EXPECT_FLOAT_EQ(s.heartbeatPipVolume, 0.0f);
    EXPECT_FLOAT_EQ(s.lidCloseSoundVolume, 1.0f);
    EXPECT_EQ(store.writeCount(), writes);
    EXPECT_EQ(std::get<std::int64_t>(*store.object("batteryLimitPercent")), 100);
    const auto lines = log.messages("Settings");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.find("batteryLimitPercent 100 is outside 11 to 50") != line.npos;
                            }),
              1);
}

TEST(Settings, ValueTheStoreRefusesTakesNoEffect) {
    AppStateHarness h;
    h.state->toggle();
    std::vector<std::string> published;
    auto connection =
        h.state->settingChanged.connect([&](std::string_view key) { published.emplace_back(key); });
    h.defaults.failWrites("cannot save settings to /home/u/.config/torvel/defaults.json: Not a directory");

    const auto refused = h.state->set(&SettingsValues::preventDisplaySleep, true);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->reason, SettingRefusal::Reason::notSaved);
    EXPECT_NE(refused->message.find("defaults.json: Not a directory"), std::string::npos) << refused->message;
    EXPECT_FALSE(h.state->settings().preventDisplaySleep);
    EXPECT_EQ(h.held(), std::vector<std::string>{"PreventUserIdleSystemSleep"}) << "no change handling ran";

    const auto fromText = h.state->setSettingFromText("batteryLimitPercent", "30");
    ASSERT_TRUE(fromText);
    EXPECT_EQ(fromText->reason, SettingRefusal::Reason::notSaved);
    EXPECT_EQ(h.state->settings().batteryLimitPercent, 20);
    EXPECT_TRUE(published.empty());

    h.defaults.failWrites(std::nullopt);
    EXPECT_FALSE(h.state->setSettingFromText("batteryLimitPercent", "30"));
    EXPECT_EQ(h.state->settings().batteryLimitPercent, 30);
    EXPECT_EQ(published, std::vector<std::string>{"batteryLimitPercent"});
}

}  // namespace
}  // namespace torvel
