#include "Models/StoredJson.h"

#include <string>

#include <gtest/gtest.h>

#include "Models/Profile.h"
#include "Models/TrustedNetwork.h"
#include "Models/WatchedApp.h"

namespace torvel {
namespace {

std::string nested(int depth) {
    return std::string(static_cast<std::size_t>(depth), '[') +
           std::string(static_cast<std::size_t>(depth), ']');
}

// Copying or writing out a value nested this deep overflowed the stack; every stored list is refused
// whole instead, with a reason, while a document at the limit still reads.
TEST(StoredJsonTest, RefusesDeepNestingInEveryStoredList) {
    const std::string deep = nested(100000);
    const auto refused = parseStoredJson(deep);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("nested deeper than 64"), std::string::npos) << refused.error();
    EXPECT_TRUE(parseStoredJson(nested(kMaxStoredJsonDepth)));
    EXPECT_FALSE(parseStoredJson(nested(kMaxStoredJsonDepth + 1)));
    EXPECT_FALSE(parseStoredJson("[1,"));

    const std::string profile =
        R"([{"id":"4D2B0001-0000-0000-0000-000000000009","name":"P","duration":{"oneHour":{}},)"
        R"("assertionType":"noIdleSleep","batteryLimitOverride":)";
    EXPECT_TRUE(profilesFromJson(profile + "20}]"));
    const auto nestedLimit = profilesFromJson(profile + nested(kMaxStoredJsonDepth - 2) + "}]");
    ASSERT_FALSE(nestedLimit);
    EXPECT_NE(nestedLimit.error().find("array"), std::string::npos)
        << "named by type, not written out: " << nestedLimit.error();
    EXPECT_FALSE(profilesFromJson(profile + deep + "}]"));
    EXPECT_FALSE(trustedNetworksFromJson("[" + deep + "]"));
    EXPECT_FALSE(watchedAppsFromJson("[" + deep + "]"));
}

}  // namespace
}  // namespace torvel
