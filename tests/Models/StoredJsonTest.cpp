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
    std::string error;
    EXPECT_FALSE(parseStoredJson(deep, &error));
    EXPECT_NE(error.find("nested deeper than 64"), std::string::npos) << error;
    EXPECT_TRUE(parseStoredJson(nested(kMaxStoredJsonDepth)));
    EXPECT_FALSE(parseStoredJson(nested(kMaxStoredJsonDepth + 1)));
    EXPECT_FALSE(parseStoredJson("[1,"));

    const std::string profile =
        R"([{"id":"4D2B0001-0000-0000-0000-000000000009","name":"P","duration":{"oneHour":{}},)"
        R"("assertionType":"noIdleSleep","batteryLimitOverride":)";
    EXPECT_TRUE(profilesFromJson(profile + "20}]"));
    EXPECT_FALSE(profilesFromJson(profile + nested(kMaxStoredJsonDepth - 2) + "}]", &error));
    EXPECT_NE(error.find("array"), std::string::npos) << "named by type, not written out: " << error;
    EXPECT_FALSE(profilesFromJson(profile + deep + "}]", &error));
    EXPECT_FALSE(trustedNetworksFromJson("[" + deep + "]"));
    EXPECT_FALSE(watchedAppsFromJson("[" + deep + "]"));
}

}  // namespace
}  // namespace torvel
