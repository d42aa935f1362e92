#include "UI/DurationTexts.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "Models/Calendar.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Support/Localization.h"

namespace torvel {
namespace {

TEST(DurationTextsTest, ShippedTablesWriteCountdownsAndTheLookupFollowsALanguageChange) {
    CapturingLogSink log;
    Localization texts(log, std::filesystem::path(TORVEL_SOURCE_ROOT) / "resources");
    texts.updateBundle(AppLanguage::en);
    const Duration::TextLookup lookup = durationLookup(texts);
    // The English table writes what the formatter writes without one (the command line's form).
    for (const double seconds : {0.0, 59.0, 60.0, 1499.0, 3900.0, 7200.0})
        EXPECT_EQ(Duration::formatInterval(seconds, lookup), Duration::formatInterval(seconds)) << seconds;
    EXPECT_EQ(texts.format("a11y.tooltip_remaining", {Duration::formatInterval(1499, lookup)}),
              "Torvel: 25 min left");

    // The same lookup, after the switch, writes Czech.
    texts.updateBundle(AppLanguage::cs);
    EXPECT_EQ(Duration::formatInterval(1499, lookup), "25 min");
    EXPECT_EQ(Duration::formatInterval(3900, lookup), "1 h 5 min");
    EXPECT_EQ(Duration::formatInterval(59, lookup), "59 s");
    EXPECT_EQ(Duration::formatMinutes(90, lookup), "1 h 30 min");
    EXPECT_EQ(Duration::custom(2700).menuTitle(lookup, Calendar::utc()), "45 min");
    EXPECT_EQ(texts.format("a11y.tooltip_remaining", {Duration::formatInterval(1440, lookup)}),
              "Torvel: zbývá 24 min");
    EXPECT_TRUE(log.messages("Localization").empty()) << "a unit text is missing";
}

}  // namespace
}  // namespace torvel
