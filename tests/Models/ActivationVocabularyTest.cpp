#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "Models/ActivationReason.h"
#include "Models/AssertionType.h"
#include "Models/ReasonSet.h"

namespace torvel {
namespace {

TEST(ActivationVocabularyTest, RawValuesRoundTripAndNothingElseDecodes) {
    for (ActivationReason reason : kAllActivationReasons) {
        EXPECT_EQ(activationReasonFromRaw(rawValue(reason)), reason) << rawValue(reason);
    }
    for (AssertionType type : kAllAssertionTypes) EXPECT_EQ(assertionTypeFromRaw(rawValue(type)), type);
    for (std::string_view raw : {"", "Manual", "external_display", "manual ", "PreventSystemSleep"}) {
        EXPECT_EQ(activationReasonFromRaw(raw), std::nullopt) << '"' << raw << '"';
        EXPECT_EQ(assertionTypeFromRaw(raw), std::nullopt) << '"' << raw << '"';
    }
}

TEST(ActivationVocabularyTest, ReasonsAreListedByRawValue) {
    const ReasonSet some = {ActivationReason::trustedNetwork, ActivationReason::manual,
                            ActivationReason::externalDisplay};
    EXPECT_EQ(sortedForDisplay(some),
              (std::vector{ActivationReason::externalDisplay, ActivationReason::manual,
                           ActivationReason::trustedNetwork}));

    const ReasonSet all(kAllActivationReasons.begin(), kAllActivationReasons.end());
    EXPECT_EQ(joinedRawValues(all),
              "externalDisplay,manual,mirroring,processRunning,profile,timer,trustedNetwork");
    EXPECT_EQ(joinedRawValues(automationReasons()),
              "externalDisplay,mirroring,processRunning,trustedNetwork");
    EXPECT_EQ(joinedRawValues({}), "");
}

TEST(ActivationVocabularyTest, ReasonSetBehavesAsAnOrderedSet) {
    using R = ActivationReason;
    ReasonSet set = {R::processRunning, R::manual, R::mirroring, R::manual};
    EXPECT_EQ(std::vector(set.begin(), set.end()), (std::vector{R::manual, R::mirroring, R::processRunning}));
    EXPECT_EQ(set.size(), 3u);

    EXPECT_FALSE(set.insert(R::mirroring));
    EXPECT_TRUE(set.insert(R::timer));
    EXPECT_EQ(set.erase(R::manual), 1u);
    EXPECT_EQ(set.erase(R::manual), 0u);
    EXPECT_EQ(set, (ReasonSet{R::timer, R::mirroring, R::processRunning}));
    EXPECT_NE(set, (ReasonSet{R::timer, R::mirroring}));
    EXPECT_TRUE(set.contains(R::timer));
    EXPECT_EQ(set.count(R::manual), 0u);

    // The highest reason sits in the top bit used; walking must stop after it.
    const ReasonSet all(kAllActivationReasons.begin(), kAllActivationReasons.end());
    EXPECT_TRUE(
        std::equal(all.begin(), all.end(), kAllActivationReasons.begin(), kAllActivationReasons.end()));
    set.clear();
    EXPECT_TRUE(set.empty());
    EXPECT_EQ(set.begin(), set.end());
}

}  // namespace
}  // namespace torvel
