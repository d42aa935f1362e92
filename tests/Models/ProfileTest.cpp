#include <limits>
#include <ostream>

#include <gtest/gtest.h>

#include "Models/Profile.h"

namespace torvel {

inline void PrintTo(const Profile& profile, std::ostream* os) {
    *os << toString(profile);
}

namespace {

Profile plain(std::string name, Duration duration) {
    return {Uuid::parse("0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9").value(),
            std::move(name),
            duration,
            AssertionType::noSystemSleep,
            std::nullopt,
            std::nullopt};
}

TEST(ProfileJson, WritesTheBuiltInsAndLeavesOutAbsentFields) {
    auto list = defaultProfiles();
    list.push_back(plain("Film", Duration::custom(5400.5)));
    EXPECT_EQ(
        profilesToJson(list).value(),
        R"([{"assertionType":"noDisplaySleep","batteryLimitOverride":15,"duration":{"indefinite":{}},)"
        R"("id":"4D2B0001-0000-0000-0000-000000000001","localizationKey":"default_profile.presentation","name":"Presentation"},)"
        R"({"assertionType":"noIdleSleep","batteryLimitOverride":0,"duration":{"eightHours":{}},)"
        R"("id":"4D2B0001-0000-0000-0000-000000000002","localizationKey":"default_profile.download","name":"Download"},)"
        R"({"assertionType":"noDisplaySleep","batteryLimitOverride":0,"duration":{"custom":{"_0":2700}},)"
        R"("id":"4D2B0001-0000-0000-0000-000000000003","localizationKey":"default_profile.cooking","name":"Cooking"},)"
        R"({"assertionType":"noIdleSleep","batteryLimitOverride":10,"duration":{"indefinite":{}},)"
        R"("id":"4D2B0001-0000-0000-0000-000000000004","localizationKey":"default_profile.ai","name":"AI"},)"
        R"({"assertionType":"noSystemSleep","duration":{"custom":{"_0":5400.5}},)"
        R"("id":"0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9","name":"Film"}])");
}

TEST(ProfileJson, RoundTripsAndReadsWhatOtherWritersProduce) {
    Profile keyed = plain("Přednáška \"A/B\"\n\\", Duration::until(Date(820000000.25)));
    keyed.batteryLimitOverride = std::numeric_limits<int>::min();
    keyed.localizationKey = "";
    Profile extreme = plain(std::string("a\0b", 3), Duration::custom(-1e300));
    extreme.batteryLimitOverride = std::numeric_limits<int>::max();
    auto list = defaultProfiles();
    list.insert(list.end(), {keyed, extreme, keyed});  // a repeated id is kept as it is
    EXPECT_EQ(profilesFromJson(profilesToJson(list).value()), list);

    // Lower-case id, a whole number written as 20.0, null for absent, and unknown keys.
    const auto other = profilesFromJson(
        R"([{"id":"4d2b0001-0000-0000-0000-000000000002","name":"x","assertionType":"noIdleSleep",)"
        R"("duration":{"oneHour":{}},"batteryLimitOverride":20.0,"localizationKey":null,"color":"red"}])");
    Profile expected{defaultProfiles()[1].id,    "x", Duration::preset(Duration::Kind::oneHour),
                     AssertionType::noIdleSleep, 20,  std::nullopt};
    EXPECT_EQ(other, std::vector<Profile>{expected});
}

TEST(ProfileJson, AnyBadProfileMakesTheWholeListUnreadable) {
    const std::string good =
        R"({"id":"4D2B0001-0000-0000-0000-000000000001","name":"P","duration":{"indefinite":{}},)"
        R"("assertionType":"noIdleSleep"})";
    // The list [good, good with `from` replaced by `to`].
    auto broken = [&](const std::string& from, const std::string& to) {
        std::string second = good;
        second.replace(second.find(from), from.size(), to);
        return "[" + good + "," + second + "]";
    };
    const std::pair<std::string, std::string> cases[] = {
        {broken("noIdleSleep", "noNapping"), "Profile 2: unknown assertion type \"noNapping\""},
        {broken(R"("id":)", R"("ID":)"), "Profile 2: missing key \"id\""},
        {broken(R"("name":)", R"("title":)"), "missing key \"name\""},
        {broken(R"("duration":)", R"("length":)"), "missing key \"duration\""},
        {broken(R"("assertionType":)", R"("type":)"), "missing key \"assertionType\""},
        {broken("0001\",", "000G\","), "is not a UUID"},
        {broken("\"4D2B", "\"{4D2B"), "is not a UUID"},
        {broken(R"("P")", "null"), "\"name\" is not a string"},
        {broken("{}}", R"({},"twoHours":{}})"), "Invalid number of keys found, expected one."},
        {broken("{}}", "{}},\"batteryLimitOverride\":1e10"), "not an integer in range"},
        {broken("{}}", "{}},\"batteryLimitOverride\":2147483648"), "not an integer in range"},
        {broken("{}}", "{}},\"batteryLimitOverride\":12.5"), "not an integer in range"},
        {broken("{}}", "{}},\"batteryLimitOverride\":\"20\""), "not an integer in range"},
        {broken("{}}", "{}},\"localizationKey\":7"), "\"localizationKey\" is not a string"},
        {broken(R"({"indefinite":{}})", R"({"custom":{"_0":1e400}})"), "number overflow"},
        {"[" + good + ", 3]", "Profile 2 is not a JSON object"},
        {good, "not a JSON array"},
        {"", "parse error"},
        {"[\"\xff\"]", "parse error"},
    };
    for (const auto& [json, errorPart] : cases) {
        const auto decoded = profilesFromJson(json);
        ASSERT_FALSE(decoded) << json;
        EXPECT_NE(decoded.error().find(errorPart), std::string::npos) << json << "\n -> " << decoded.error();
    }
}

}  // namespace
}  // namespace torvel
