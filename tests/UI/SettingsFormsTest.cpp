// The settings window's logic without widgets: the custom-duration field, the profile editor's save
// rules, the manual network sheet and the control mappings.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "State/AppStateHarness.h"
#include "Core/Profiles.h"
#include "UI/CustomDurationForm.h"
#include "UI/NetworkSheetForm.h"
#include "UI/ProfileEditorForm.h"
#include "UI/SettingsMappings.h"
#include "UI/SettingsTab.h"
#include "UI/StateWindowModel.h"

namespace torvel {
namespace {

TEST(CustomDurationForm, ReadsOnlyAPositiveNumberOfMinutesWrittenStrictly) {
    const struct {
        const char* text;
        std::optional<double> minutes;
    } cases[] = {
        {"1.5", 1.5},
        {"60", 60.0},
        {"2e1", 20.0},
        {"43200", 43200.0},
        {"", std::nullopt},
        {"0", std::nullopt},
        {"-5", std::nullopt},
        {"5m", std::nullopt},
        {" 5", std::nullopt},
        {"5 ", std::nullopt},
        {"1,5", std::nullopt},
        {"+5", std::nullopt},
        {"nan", std::nullopt},
        {"inf", std::nullopt},
        {"0x10", std::nullopt},
        {"43201", std::nullopt},
        {"1e308", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CustomDurationForm::parseMinutes(c.text), c.minutes) << '"' << c.text << '"';

    CustomDurationForm form;
    form.mode = CustomDurationForm::Mode::duration;
    for (const char* bad : {"0", "-5", "5m", ""}) {
        form.minutesText = bad;
        EXPECT_FALSE(form.canActivate()) << bad;
        EXPECT_FALSE(form.duration(Date(0), Calendar::utc())) << bad;
    }
    form.minutesText = "1.5";
    EXPECT_EQ(form.duration(Date(0), Calendar::utc()), Duration::custom(90.0));
    form.mode = CustomDurationForm::Mode::until;
    form.minutesText = "";
    EXPECT_TRUE(form.canActivate()) << "until mode does not read the minutes";
}

TEST(CustomDurationForm, AnEarlierClockTimeMeansTomorrow) {
    const auto prague = Calendar::named("Europe/Prague").value();
    const Date evening = prague.date({2026, 12, 7, 22, 15, 40}).value();
    CustomDurationForm form;
    form.targetTime = prague.date({2026, 12, 7, 6, 0, 0}).value();
    EXPECT_TRUE(form.meansTomorrow(evening, prague));
    EXPECT_EQ(form.duration(evening, prague), Duration::until(prague.date({2026, 12, 8, 6, 0, 0}).value()));
    form.targetTime = prague.date({2026, 12, 1, 23, 30, 0}).value();  // only the clock time counts
    EXPECT_FALSE(form.meansTomorrow(evening, prague));
    EXPECT_EQ(form.duration(evening, prague), Duration::until(prague.date({2026, 12, 7, 23, 30, 0}).value()));
}

TEST(ProfileEditorForm, SavesOnlyANameThatIsNotBlankOrAnotherProfiles) {
    CapturingLogSink log;
    Localization texts(log);
    texts.setTable(
        {{"default_profile.presentation", "Prezentace"}, {"default_profile.download", "Stahování"}});
    const auto profiles = defaultProfiles();

    ProfileEditorForm fresh(nullptr, profiles, texts);
    EXPECT_FALSE(fresh.isEditing());
    EXPECT_EQ(fresh.nameProblem(), ProfileEditorForm::NameProblem::empty);
    fresh.name = " \t\n ";
    EXPECT_FALSE(fresh.record()) << "only white space";
    for (const char* taken : {"Prezentace", "  Stahování ", "Download"}) {
        fresh.name = taken;
        EXPECT_EQ(fresh.nameProblem(), ProfileEditorForm::NameProblem::taken) << taken;
    }
    fresh.name = "  Night build ";
    const auto made = fresh.record().value();
    EXPECT_EQ(made.name, "Night build");
    EXPECT_EQ(made.duration, Duration::indefinite());
    EXPECT_FALSE(made.batteryLimitOverride);

    // An untouched built-in stays localised; its own shown name is not "taken".
    ProfileEditorForm builtIn(&profiles[0], profiles, texts);
    EXPECT_TRUE(builtIn.isEditing());
    EXPECT_EQ(builtIn.name, "Prezentace");
    EXPECT_EQ(builtIn.record()->localizationKey, profiles[0].localizationKey);
}

TEST(ProfileEditorForm, KeepsADurationThatIsNoPresetUntilOneIsChosen) {
    CapturingLogSink log;
    Localization texts(log);
    const auto profiles = defaultProfiles();
    ProfileEditorForm cooking(&profiles[2], profiles, texts);  // 45 minutes, no preset
    EXPECT_FALSE(cooking.presetIndex());
    EXPECT_EQ(cooking.record()->duration, Duration::custom(2700.0));
    cooking.choosePreset(2);
    EXPECT_EQ(cooking.record()->duration, Duration::menuPresets()[2]);
    cooking.choosePreset(99);
    EXPECT_EQ(cooking.presetIndex(), 2u) << "an index out of range changes nothing";
    cooking.setBatteryOverride(80);
    EXPECT_EQ(cooking.record()->batteryLimitOverride, 50);
    cooking.setHasBatteryOverride(false);
    EXPECT_FALSE(cooking.record()->batteryLimitOverride);
}

TEST(NetworkSheetForm, AddsATrimmedNameOnceAndRefusesBlankOrKnownOnes) {
    AppStateHarness h;
    StateWindowModel model(*h.state);
    NetworkSheetForm sheet;
    sheet.text = "  Office 5G \n";
    EXPECT_TRUE(sheet.add(model));
    EXPECT_TRUE(sheet.errorKey.empty());
    ASSERT_EQ(h.state->settings().trustedNetworks.size(), 1u);
    EXPECT_EQ(h.state->settings().trustedNetworks[0].ssid, "Office 5G");
    for (const char* refused : {"Office 5G", " Office 5G", " \t ", ""}) {
        sheet.text = refused;
        EXPECT_FALSE(sheet.add(model)) << '"' << refused << '"';
        EXPECT_EQ(sheet.errorKey, "settings.trusted_networks.manual_sheet_duplicate");
    }
    EXPECT_EQ(h.state->settings().trustedNetworks.size(), 1u);
}

TEST(SettingsMappings, ControlsStandForTheStoredValues) {
    using namespace SettingsMappings;
    EXPECT_EQ(terminateBlockersPercent(true), 3);
    EXPECT_EQ(terminateBlockersPercent(false), 0);
    EXPECT_TRUE(terminateBlockersOn(7)) << "any stored threshold shows as on";
    EXPECT_FALSE(terminateBlockersOn(0));
    EXPECT_EQ(volumeText(0.29f, "en"), "29%") << "float error must not show 28";
    EXPECT_EQ(volumeText(0.999f, "en"), "99%") << "truncated, not rounded";
    EXPECT_EQ(volumeText(std::numeric_limits<float>::quiet_NaN(), "en"), "0%");
    EXPECT_EQ(percentText(15, "cs"), "15\u00A0%");
    EXPECT_EQ(volumeSliderPosition(0.4f), 40);
    EXPECT_EQ(volumeSliderPosition(7.0f), 100);
    EXPECT_EQ(volumeSliderPosition(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_FLOAT_EQ(volumeForSliderPosition(250), 1.0f);

    CapturingLogSink log;
    Localization texts(log);
    texts.setTable({{"profile.battery_global", "global"},
                    {"profile.battery_disabled", "none"},
                    {"profile.battery_limit_value", "limit %ld%%"},
                    {"duration.until", "until %@"},
                    {"duration.short.hours", "%ld h"},
                    {"duration.short.minutes", "%ld min"},
                    {"assertion.no_idle_sleep", "idle"}});
    Profile profile;
    EXPECT_EQ(profileBatteryText(profile, texts), "global");
    profile.batteryLimitOverride = 0;
    EXPECT_EQ(profileBatteryText(profile, texts), "none");
    profile.batteryLimitOverride = 25;
    EXPECT_EQ(profileBatteryText(profile, texts), "limit 25%");
    profile.duration = Duration::custom(5400.0);
    EXPECT_EQ(profileSummary(profile, texts, Calendar::utc()), "1 h 30 min \u00B7 idle");
    profile.duration = Duration::until(Date::fromUnixSeconds(1796678400.0));  // 2026-12-07 21:20 UTC
    EXPECT_EQ(profileSummary(profile, texts, Calendar::utc()), "until 21:20 \u00B7 idle");

    EXPECT_EQ(settingsTabNamed("battery"), SettingsTab::battery);
    EXPECT_EQ(settingsTabNamed("Battery"), SettingsTab::general);
    EXPECT_EQ(settingsTabNamed(std::nullopt), SettingsTab::general);
}

}  // namespace
}  // namespace torvel
