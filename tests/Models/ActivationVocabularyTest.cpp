#include <gtest/gtest.h>

#include "Models/ActivationReason.h"
#include "Models/AssertionType.h"

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

}  // namespace
}  // namespace torvel
