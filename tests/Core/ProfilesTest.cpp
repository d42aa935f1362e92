#include <ostream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Core/Profiles.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/MemoryDefaultsStore.h"

namespace torvel {

inline void PrintTo(const Profile& profile, std::ostream* os) {
    *os << toString(profile);
}

namespace {

using A = AssertionType;

const Date kNow(818035200.0);  // 2026-12-04 00:00 UTC
constexpr const char* kAsideKey = "profiles.unreadable.2026-12-04T00:00:00.000Z";

Profile user(std::string name, Duration duration, A type, std::optional<int> limit) {
    return {Uuid::random(), std::move(name), duration, type, limit, std::nullopt};
}

class ProfilesTest : public testing::Test {
protected:
    ProfilesTest() {
        texts.setTable({{"profile.copy_name", "%@ copy"}, {"default_profile.presentation", "Presentation"}});
    }

    void storeList(const std::vector<Profile>& profiles) {
        store.set("profiles", DefaultsData::fromString(profilesToJson(profiles).value()));
    }
    std::optional<std::vector<Profile>> storedList() const {
        const auto value = store.object("profiles");
        const auto* data = value ? std::get_if<DefaultsData>(&*value) : nullptr;
        if (!data) return std::nullopt;
        auto list = profilesFromJson(data->toString());
        return list ? std::optional(std::move(list).value()) : std::nullopt;
    }
    /// A start-up: load, then save when asked to, as the application state does.
    LoadedProfiles start() {
        auto loaded = loadProfiles(store, log, kNow);
        if (loaded.needsSave && !loaded.saveBlocked) saveProfiles(store, loaded.profiles, log);
        return loaded;
    }

    MemoryDefaultsStore store;
    CapturingLogSink sink;
    Logger log{sink, "AppState"};
    Localization texts{sink};
};

TEST_F(ProfilesTest, FirstStartStoresTheBuiltInsAndMigratesOnTheNextStart) {
    const auto first = start();
    EXPECT_EQ(first.profiles, defaultProfiles());
    EXPECT_TRUE(first.needsSave);
    EXPECT_EQ(storedList(), defaultProfiles());
    EXPECT_EQ(store.object("aiProfileSeeded"), DefaultsValue(true));
    EXPECT_EQ(store.object("profilesMigratedToV2"), std::nullopt);

    EXPECT_EQ(start().profiles, defaultProfiles());
    EXPECT_EQ(store.object("profilesMigratedToV2"), DefaultsValue(true));
    EXPECT_TRUE(sink.lines().empty());  // nothing migrated, nothing seeded

    const int writes = store.writeCount();
    EXPECT_FALSE(start().needsSave);
    EXPECT_EQ(store.writeCount(), writes);
}

TEST_F(ProfilesTest, MigrationRecognisesOldBuiltInsByNameAndSettings) {
    const auto eight = Duration::preset(Duration::Kind::eightHours);
    const std::pair<Profile, std::optional<std::string>> cases[] = {
        {user("Prezentace", Duration::indefinite(), A::noDisplaySleep, std::nullopt),
         "default_profile.presentation"},
        {user("Presentation", Duration::indefinite(), A::noDisplaySleep, 15), "default_profile.presentation"},
        {user("Prezentace", Duration::indefinite(), A::noDisplaySleep, 20), std::nullopt},
        {user("Stahování", eight, A::noIdleSleep, 0), "default_profile.download"},
        {user("download", eight, A::noIdleSleep, 0), std::nullopt},
        {user("Download", eight, A::noSystemSleep, 0), std::nullopt},
        {user("Vaření", Duration::custom(2700), A::noDisplaySleep, std::nullopt), "default_profile.cooking"},
        {user("Cooking", Duration::custom(2701), A::noDisplaySleep, 0), std::nullopt},
        {user("AI", Duration::indefinite(), A::noIdleSleep, 10), std::nullopt},
        {{defaultProfiles()[0].id, "Prezentace", Duration::indefinite(), A::noDisplaySleep, 15, "mine"},
         "mine"},
    };
    std::vector<Profile> before;
    for (const auto& c : cases) before.push_back(c.first);
    storeList(before);

    const auto loaded = start();
    EXPECT_EQ(store.object("profilesMigratedToV2"), DefaultsValue(true));
    // A keyless profile named "AI" is not the built-in one, so seeding appends that.
    ASSERT_EQ(loaded.profiles.size(), before.size() + 1);
    EXPECT_EQ(loaded.profiles.back(), defaultProfiles()[3]);
    for (std::size_t i = 0; i < before.size(); ++i) {
        Profile expected = cases[i].first;
        expected.localizationKey = cases[i].second;
        EXPECT_EQ(loaded.profiles[i], expected) << i;
    }
    EXPECT_EQ(storedList(), loaded.profiles);
    EXPECT_TRUE(sink.contains("AppState",
                              "Migrated profile 'Stahování' -> localizationKey 'default_profile.download'"));
}

TEST_F(ProfilesTest, SeedsTheAiProfileOnceEvenIfTheUserDeletesIt) {
    const Profile mine = user("Mine", Duration::indefinite(), A::noIdleSleep, std::nullopt);
    storeList({mine});
    store.set("profilesMigratedToV2", true);
    const auto first = start();
    EXPECT_EQ(first.profiles, (std::vector<Profile>{mine, defaultProfiles()[3]}));
    EXPECT_TRUE(sink.contains("AppState", "Seeded built-in AI profile into existing profile list"));

    saveProfiles(store, deleteProfile(first.profiles, defaultProfiles()[3].id), log);
    EXPECT_EQ(start().profiles, std::vector<Profile>{mine});

    // An AI profile under another id counts by its key.
    store.remove("aiProfileSeeded");
    Profile ai = defaultProfiles()[3];
    ai.id = Uuid::random();
    storeList({ai});
    EXPECT_EQ(start().profiles, std::vector<Profile>{ai});
    EXPECT_EQ(store.object("aiProfileSeeded"), DefaultsValue(true));
}

TEST_F(ProfilesTest, UnreadableListIsKeptAsideBeforeTheBuiltInsReplaceIt) {
    const DefaultsValue unreadable[] = {DefaultsData::fromString(R"([{"id":"x"}])"),
                                        DefaultsData::fromString("not json"), std::string("[]"),
                                        std::int64_t{3}};
    for (const bool migrated : {false, true}) {
        for (const auto& value : unreadable) {
            store = MemoryDefaultsStore();
            sink.clear();
            store.set("profiles", value);
            if (migrated) store.set("profilesMigratedToV2", true);
            EXPECT_EQ(start().profiles, defaultProfiles());
            EXPECT_EQ(storedList(), defaultProfiles());
            EXPECT_EQ(store.object(kAsideKey), value);
            EXPECT_EQ(store.boolValue("profilesMigratedToV2"), migrated);
            ASSERT_EQ(sink.lines().size(), 2u);
            EXPECT_EQ(sink.lines()[0].level, LogLevel::error);
            EXPECT_TRUE(
                sink.lines()[0].message.starts_with("Failed to decode profiles, resetting to defaults: "));
            EXPECT_NE(sink.lines()[1].message.find(kAsideKey), std::string::npos) << sink.lines()[1].message;
        }
    }
}

TEST_F(ProfilesTest, OneUnreadableProfileCostsOnlyItselfAndNothingIsLost) {
    const Profile mine = user("Night build", Duration::custom(5400), A::noSystemSleep, 0);
    const Profile other = user("Slides", Duration::indefinite(), A::noDisplaySleep, std::nullopt);
    auto list = nlohmann::json::parse(profilesToJson({mine, other}).value());
    auto newer = list[0];
    newer["id"] = "6A1C0001-0000-0000-0000-0000000000AA";
    newer["assertionType"] = "noLidSleep";  // a type from a later version
    list.insert(list.begin() + 1, newer);
    const auto original = DefaultsData::fromString(list.dump());
    store.set("profiles", original);
    store.set("profilesMigratedToV2", true);
    store.set("aiProfileSeeded", true);

    EXPECT_EQ(start().profiles, (std::vector<Profile>{mine, other}));
    EXPECT_EQ(storedList(), (std::vector<Profile>{mine, other}));
    EXPECT_EQ(store.object(kAsideKey), DefaultsValue(original)) << "recoverable byte for byte";
    EXPECT_TRUE(sink.contains("AppState", "Failed to decode profiles, keeping the 2 that decode: "));

    // A second bad start in the same second keeps its own copy next to the first.
    store.set("profiles", DefaultsData::fromString("[1]"));
    start();
    EXPECT_EQ(store.object(std::string(kAsideKey) + "-2"), DefaultsValue(DefaultsData::fromString("[1]")));
    EXPECT_EQ(store.object(kAsideKey), DefaultsValue(original));

    // What remains of a list from before keys is still migrated.
    const Profile old = user("Prezentace", Duration::indefinite(), A::noDisplaySleep, std::nullopt);
    auto withOld = nlohmann::json::parse(profilesToJson({old}).value());
    withOld.push_back(newer);
    store = MemoryDefaultsStore();
    store.set("profiles", DefaultsData::fromString(withOld.dump()));
    EXPECT_EQ(start().profiles.front().localizationKey, "default_profile.presentation");
    EXPECT_TRUE(store.boolValue("profilesMigratedToV2"));

    // When the copy cannot be made, the stored list is not written over.
    store = MemoryDefaultsStore();
    store.set("profiles", original);
    store.failWrites("read-only");
    const auto blocked = start();
    EXPECT_TRUE(blocked.saveBlocked);
    store.failWrites(std::nullopt);
    EXPECT_EQ(store.object("profiles"), DefaultsValue(original));
}

TEST_F(ProfilesTest, AListThatCannotBeEncodedLeavesTheStoredOne) {
    storeList(defaultProfiles());
    for (const Profile& broken : {user("Forever", Duration::custom(1.0 / 0.0), A::noIdleSleep, 0),
                                  user("Bad \xc3", Duration::indefinite(), A::noIdleSleep, 0)}) {
        sink.clear();
        EXPECT_FALSE(saveProfiles(store, {broken}, log));
        EXPECT_EQ(storedList(), defaultProfiles());
        EXPECT_TRUE(sink.contains("AppState", "Failed to persist profiles: ")) << broken.name;
    }
}

TEST_F(ProfilesTest, CopyNamesAvoidEveryShownAndStoredNameAndDeletingRemovesEveryCopyOfAnId) {
    const Profile presentation = defaultProfiles()[0];
    auto list = defaultProfiles();
    list.push_back(duplicateProfile(presentation, list, texts));
    list.push_back(duplicateProfile(presentation, list, texts));
    EXPECT_EQ(list[4].name, "Presentation copy");
    Profile expected = presentation;
    expected.id = list[5].id;
    expected.name = "Presentation copy 2";
    expected.localizationKey.reset();
    EXPECT_EQ(list[5], expected);
    EXPECT_NE(list[4].id, list[5].id);
    // Deleting removes every profile under the id, a repeated one included.
    list.push_back(list[0]);
    EXPECT_EQ(deleteProfile(list, presentation.id), (std::vector<Profile>(list.begin() + 1, list.end() - 1)));

    // A stored name counts even while the profile is shown under its key.
    Profile shownOtherwise = defaultProfiles()[1];
    shownOtherwise.name = "Presentation copy";
    EXPECT_EQ(uniqueProfileCopyName(presentation, {shownOtherwise}, texts), "Presentation copy 2");
    const Profile mine = user("Presentation copy", Duration::indefinite(), A::noIdleSleep, 0);
    EXPECT_EQ(uniqueProfileCopyName(presentation, {mine}, texts), "Presentation copy 2");
    EXPECT_EQ(storeEdited(defaultProfiles(), mine).back(), mine) << "a new profile is appended";

    texts.setTable({});  // no copy-name text: the key itself is the base
    const Profile named = user("profile.copy_name", Duration::indefinite(), A::noIdleSleep, 0);
    EXPECT_EQ(uniqueProfileCopyName(presentation, {}, texts), "profile.copy_name");
    EXPECT_EQ(uniqueProfileCopyName(presentation, {named}, texts), "profile.copy_name 2");
}

TEST_F(ProfilesTest, EditingKeepsTheKeyOnlyWhileTheShownNameStays) {
    texts.setTable({{"default_profile.presentation", "Prezentace"}});
    const Profile builtIn = defaultProfiles()[0];
    auto draft = ProfileDraft::open(&builtIn, texts);
    EXPECT_EQ(draft.finish("Prezentace"), builtIn);
    EXPECT_EQ(draft.finish(" \t Prezentace\r\n"), builtIn);
    EXPECT_EQ(draft.finish("Presentation").localizationKey, std::nullopt);  // stored, but not what was shown
    const Profile renamed = draft.finish("Prezentacy");
    EXPECT_EQ(renamed.name, "Prezentacy");
    EXPECT_EQ(renamed.localizationKey, std::nullopt);
    EXPECT_EQ(renamed.id, builtIn.id);

    draft.overrideEnabled = false;
    EXPECT_EQ(draft.finish("Prezentace").batteryLimitOverride, std::nullopt);

    const auto fresh = ProfileDraft::open(nullptr, texts);
    EXPECT_EQ(fresh.overrideValue, 20);
    const Profile made = fresh.finish("   ");
    EXPECT_EQ(made.name, "");
    EXPECT_EQ(made,
              (Profile{made.id, "", Duration::indefinite(), A::noIdleSleep, std::nullopt, std::nullopt}));
    EXPECT_NE(made.id, fresh.finish("x").id);
}

}  // namespace
}  // namespace torvel
