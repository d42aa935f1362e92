#include <filesystem>

#include <gtest/gtest.h>

#include "State/AppStateHarness.h"
#include "UI/SettingsCommands.h"
#include "UI/SettingsRanges.h"

namespace torvel {
namespace {

TEST(SettingsCommands, ListShowsWhatIsInEffectWithItsRangeAndAnExplanation) {
    AppStateHarness h;
    h.defaults.set("batteryLimitPercent", std::int64_t{100});
    h.start();
    h.texts.setTable({{"settings.help.battery_limit_percent", "Stops at this level"}});
    const auto line = SettingsCommands::get(*h.state, "batteryLimitPercent").value();
    EXPECT_EQ(line.value, "50") << "the stored 100 is read as the top of the range";
    EXPECT_EQ(line.type, "an integer from 11 to 50");
    EXPECT_EQ(line.help, "Stops at this level");
    EXPECT_EQ(SettingsCommands::get(*h.state, "heartbeatPipVolume")->type, "a number from 0 to 1");
    EXPECT_EQ(offeredRange("guardianHours")->max, 24);
    EXPECT_FALSE(offeredRange("heartbeatPipVolume")) << "not an integer";
}

TEST(SettingsCommands, EverySettingIsExplainedInEachLanguage) {
    CapturingLogSink log;
    Localization texts(log, std::filesystem::path(TORVEL_SOURCE_ROOT) / "resources");
    texts.updateBundle(AppLanguage::en);
    std::vector<std::string> english;
    for (const auto& row : settingDescriptors()) english.push_back(texts.text(settingHelpKey(row)));
    texts.updateBundle(AppLanguage::cs);
    for (std::size_t i = 0; i < settingDescriptors().size(); ++i) {
        const auto& row = settingDescriptors()[i];
        const std::string czech = texts.text(settingHelpKey(row));
        EXPECT_NE(czech, english[i]) << row.key << " is not translated";
        EXPECT_LT(english[i].size(), 120u) << row.key << ": one short line";
    }
    EXPECT_FALSE(log.contains("Localization", "Missing localization")) << "every row has its text";
}

// The refusals of each kind of value are the state's (tests/Core/SettingsTest.cpp); here, what the
// command adds: unknown names, the change handling of an accepted value, and a failed save.
TEST(SettingsCommands, AcceptedValuesTakeEffectAndRefusalsTellBadInputFromAFailedSave) {
    AppStateHarness h;
    using Reason = SettingRefusal::Reason;
    EXPECT_EQ(SettingsCommands::set(*h.state, "nothing", "1")->reason, Reason::badInput);
    EXPECT_EQ(SettingsCommands::set(*h.state, "guardianHours", "25")->reason, Reason::badInput);
    EXPECT_FALSE(h.defaults.object("guardianHours")) << "nothing stored";

    // An accepted value goes through the setting's change handling: the stricter limit stops the session.
    h.onBattery(25);
    h.state->activate(Duration::indefinite());
    ASSERT_TRUE(h.state->isActive());
    EXPECT_FALSE(SettingsCommands::set(*h.state, "batteryLimitPercent", "30"));
    EXPECT_FALSE(h.state->isActive());
    EXPECT_EQ(SettingsCommands::get(*h.state, "batteryLimitPercent")->value, "30");
    EXPECT_EQ(SettingsCommands::list(*h.state).size(), settingDescriptors().size());

    h.defaults.failWrites("cannot save settings to /x/defaults.json: File too large");
    const auto refusal = SettingsCommands::set(*h.state, "guardianHours", "12");
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->reason, Reason::notSaved);
    EXPECT_EQ(refusal->message,
              "guardianHours not changed: cannot save settings to /x/defaults.json: File too large");
    EXPECT_EQ(SettingsCommands::get(*h.state, "guardianHours")->value, "8");
}

}  // namespace
}  // namespace torvel
