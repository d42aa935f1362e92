#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/MemoryDefaultsStore.h"
#include "Platform/Sim/SimClock.h"
#include "Services/DefaultsSessionPersistence.h"

namespace torvel {
namespace {

using Reasons = std::vector<ActivationReason>;
using Kind = Duration::Kind;

const Uuid kProfile = *Uuid::parse("4D2B0001-0000-0000-0000-000000000001");

class SessionPersistenceTest : public ::testing::Test {
protected:
    // Writes the four active keys directly, as an older version or a damaged file could leave them.
    void storeActive(DefaultsValue timestamp, std::optional<DefaultsValue> duration,
                     std::optional<DefaultsValue> reasons, std::optional<DefaultsValue> profile) {
        const auto& keys = DefaultsSessionPersistence::activeKeys();
        defaults.set(keys.timestamp, timestamp);
        if (duration) defaults.set(keys.duration, *duration);
        if (reasons) defaults.set(keys.reasons, *reasons);
        if (profile) defaults.set(keys.profileName, *profile);
    }

    std::string storedText(const std::string& key) const {
        const auto value = defaults.object(key);
        const auto* data = value ? std::get_if<DefaultsData>(&*value) : nullptr;
        return data ? data->toString() : "<no data>";
    }

    static SavedSession record(Date timestamp, std::optional<Duration> duration, Reasons reasons,
                               std::optional<Uuid> profile = std::nullopt) {
        return {timestamp, duration, std::move(reasons), profile, std::nullopt};
    }

    static void expectSame(const SavedSession& actual, const SavedSession& expected) {
        EXPECT_EQ(actual.timestamp, expected.timestamp);
        EXPECT_EQ(actual.duration, expected.duration);
        EXPECT_EQ(actual.reasons, expected.reasons);
        EXPECT_EQ(actual.profileID, expected.profileID);
        EXPECT_EQ(actual.legacyProfileName, expected.legacyProfileName);
    }

    SimClock clock{Date(700'000'000.0)};
    MemoryDefaultsStore defaults;
    CapturingLogSink log;
    DefaultsSessionPersistence sessions{defaults, clock, log};
};

TEST_F(SessionPersistenceTest, KeepsTheTwoRecordsApartInTheirStoredForms) {
    const auto active = record(clock.now(), Duration::custom(1800),
                               {ActivationReason::manual, ActivationReason::timer}, kProfile);
    const auto suspended =
        record(clock.now().addingSeconds(-60), Duration::until(clock.now().addingSeconds(900)),
               {ActivationReason::externalDisplay});
    sessions.saveActiveSession(active);
    sessions.saveSuspendedSession(suspended);

    EXPECT_EQ(defaults.object("activeSession.timestamp"), DefaultsValue(clock.now()));
    EXPECT_EQ(nlohmann::json::parse(storedText("activeSession.duration")), R"({"custom":{"_0":1800}})"_json);
    EXPECT_EQ(nlohmann::json::parse(storedText("activeSession.reasons")), R"(["manual","timer"])"_json);
    EXPECT_EQ(defaults.object("activeSession.profileName"),
              DefaultsValue(std::string("4D2B0001-0000-0000-0000-000000000001")));
    EXPECT_FALSE(defaults.object("suspendedSession.profileName"));

    expectSame(sessions.loadActiveSession().value(), active);
    expectSame(sessions.loadSuspendedSession().value(), suspended);

    // Rewriting without a timed part or a profile removes the old ones.
    sessions.saveActiveSession(record(clock.now(), std::nullopt, {ActivationReason::profile}));
    EXPECT_FALSE(defaults.object("activeSession.duration"));
    EXPECT_FALSE(defaults.object("activeSession.profileName"));

    sessions.clearActiveSession();
    EXPECT_FALSE(sessions.loadActiveSession());
    expectSame(sessions.loadSuspendedSession().value(), suspended);
    EXPECT_EQ(defaults.keys(),
              (std::vector<std::string>{"suspendedSession.duration", "suspendedSession.reasons",
                                        "suspendedSession.timestamp"}));
    sessions.clearSuspendedSession();
    EXPECT_TRUE(defaults.keys().empty());
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(SessionPersistenceTest, ClearsTheActiveRecordOnceItsTimedPartHasRunOut) {
    const Date now = clock.now();
    struct Case {
        const char* name;
        Duration duration;
        double savedAgo;
        bool kept;
    };
    const std::vector<Case> cases = {
        {"30 minutes saved 10 minutes ago", Duration::custom(1800), 600, true},
        {"30 minutes saved 31 minutes ago", Duration::custom(1800), 1860, false},
        {"one hour preset, 50 minutes in", Duration::preset(Kind::oneHour), 3000, true},
        {"one hour preset, just past", Duration::preset(Kind::oneHour), 3601, false},
        {"until a time that has passed", Duration::until(now.addingSeconds(-60)), 600, false},
        {"until a time an hour ahead", Duration::until(now.addingSeconds(3600)), 600, true},
        // An until session lasts to its end however long ago it was saved.
        {"until an hour ahead, saved two hours ago", Duration::until(now.addingSeconds(3600)), 7200, true},
        {"indefinite, saved months ago", Duration::indefinite(), 1e7, true},
        {"negative custom seconds", Duration::custom(-5), 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto saved = record(now.addingSeconds(-c.savedAgo), c.duration, {ActivationReason::timer});
        sessions.saveActiveSession(saved);
        sessions.saveSuspendedSession(saved);

        const auto loaded = sessions.loadActiveSession();
        EXPECT_EQ(loaded.has_value(), c.kept);
        EXPECT_EQ(defaults.object("activeSession.timestamp").has_value(), c.kept);
        EXPECT_EQ(defaults.object("activeSession.reasons").has_value(), c.kept);
        // The suspended record waits for its trigger however old it is.
        ASSERT_TRUE(sessions.loadSuspendedSession());
        EXPECT_EQ(sessions.loadSuspendedSession()->duration, c.duration);
    }
}

// A record with only its timestamp is an untimed manual session without a profile, and so is one
// whose other values cannot be read.
TEST_F(SessionPersistenceTest, UnreadableValuesFallBackToTheirDefaults) {
    struct Case {
        std::optional<DefaultsValue> duration, reasons, profile;
        const char* errorLine;  // nullptr: the value is ignored without a word
    };
    const std::string duration = "Failed to decode saved duration, discarding: ";
    const std::string reasons = "Failed to decode saved reasons, defaulting to .manual: ";
    const auto data = [](const char* text) { return DefaultsValue(DefaultsData::fromString(text)); };
    const std::vector<Case> cases = {
        {{}, {}, {}, nullptr},
        {data("not json"), {}, {}, duration.c_str()},
        {data(R"({"custom":{}})"), {}, {}, duration.c_str()},
        {data(R"({"hours":{}})"), {}, {}, duration.c_str()},
        {data(R"({"custom":{"_0":1e400}})"), {}, {}, duration.c_str()},
        {DefaultsValue(std::string(R"({"oneHour":{}})")), {}, {}, nullptr},
        {{}, data(R"({"manual":true})"), {}, reasons.c_str()},
        {{}, data(R"(["timer","sleepy"])"), {}, reasons.c_str()},
        {{}, data("[\"timer\xff\"]"), {}, reasons.c_str()},
        {{}, DefaultsValue(std::string(R"(["timer"])")), {}, nullptr},
        {{}, {}, DefaultsValue(std::int64_t{42}), nullptr},
        {{}, {}, data("4D2B0001-0000-0000-0000-000000000001"), nullptr},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& c = cases[i];
        defaults = MemoryDefaultsStore();
        log.clear();
        storeActive(clock.now(), c.duration, c.reasons, c.profile);

        const auto loaded = sessions.loadActiveSession();
        ASSERT_TRUE(loaded);
        EXPECT_FALSE(loaded->duration);
        EXPECT_EQ(loaded->reasons, Reasons{ActivationReason::manual});
        EXPECT_FALSE(loaded->profileID);
        EXPECT_FALSE(loaded->legacyProfileName);
        if (c.errorLine) {
            ASSERT_EQ(log.lines().size(), 1u);
            EXPECT_EQ(log.lines()[0].level, LogLevel::error);
            EXPECT_EQ(log.lines()[0].message.rfind(c.errorLine, 0), 0u) << log.lines()[0].message;
        } else {
            EXPECT_TRUE(log.lines().empty());
        }
    }
}

TEST_F(SessionPersistenceTest, TimestampOfAnotherKindMeansNoRecord) {
    for (const DefaultsValue& timestamp :
         {DefaultsValue(700'000'000.0), DefaultsValue(std::int64_t{700'000'000}),
          DefaultsValue(std::string("2023-03-07T00:00:00Z"))}) {
        storeActive(timestamp, DefaultsValue(DefaultsData::fromString("garbage")), {}, {});
        const int writes = defaults.writeCount();
        EXPECT_FALSE(sessions.loadActiveSession());
        EXPECT_EQ(defaults.writeCount(), writes) << "nothing is cleared";
    }
    EXPECT_TRUE(log.lines().empty()) << "the other keys are not read";
}

TEST_F(SessionPersistenceTest, ProfileValueIsAnIdentifierOrAnOlderVersionsName) {
    const auto load = [&](const std::string& profile) {
        storeActive(clock.now(), {}, {}, DefaultsValue(profile));
        return sessions.loadActiveSession().value();
    };
    const auto legacy = load("Presentation");
    EXPECT_EQ(legacy.legacyProfileName, "Presentation");
    EXPECT_FALSE(legacy.profileID);
    const auto lowerCase = load("4d2b0001-0000-0000-0000-000000000001");
    EXPECT_EQ(lowerCase.profileID, kProfile);
    EXPECT_FALSE(lowerCase.legacyProfileName);
    EXPECT_EQ(load("").legacyProfileName, "");
}

TEST_F(SessionPersistenceTest, UnencodableValuesKeepTheStoredDataAndTheRestIsWritten) {
    sessions.saveActiveSession(
        record(clock.now(), Duration::preset(Kind::twoHours), {ActivationReason::timer}));
    const Date later = clock.now().addingSeconds(30);
    sessions.saveActiveSession(record(later, Duration::custom(std::numeric_limits<double>::infinity()),
                                      {ActivationReason::manual, static_cast<ActivationReason>(99)},
                                      kProfile));

    const auto errors = log.messages("SessionPersistence");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].rfind("Failed to encode duration, keeping existing data: ", 0), 0u) << errors[0];
    EXPECT_EQ(errors[1].rfind("Failed to encode reasons, keeping existing data: ", 0), 0u) << errors[1];
    expectSame(sessions.loadActiveSession().value(),
               record(later, Duration::preset(Kind::twoHours), {ActivationReason::timer}, kProfile));
}

TEST_F(SessionPersistenceTest, WritesTheActiveRecordOnlyWhenWhatItRestoresChanges) {
    const Date start = clock.now();
    const auto countdown = [&](Reasons reasons, std::optional<Uuid> profile = std::nullopt,
                               double drift = 0) {
        const double left = 1800 - clock.now().secondsSince(start) + drift;
        return record(clock.now(), Duration::custom(left), std::move(reasons), profile);
    };
    sessions.saveActiveSession(countdown({ActivationReason::timer}));
    EXPECT_EQ(defaults.writeCount(), 1) << "the four keys are one write";

    for (int beat = 0; beat < 10; ++beat) {
        clock.advance(30);
        sessions.saveActiveSession(countdown({ActivationReason::timer}, std::nullopt, beat % 2 ? 0.4 : -0.4));
    }
    EXPECT_EQ(defaults.writeCount(), 1) << "ten heartbeats of the same session write nothing";
    EXPECT_EQ(defaults.object("activeSession.timestamp"), DefaultsValue(start));

    sessions.saveActiveSession(countdown({ActivationReason::timer, ActivationReason::manual}));
    sessions.saveActiveSession(countdown({ActivationReason::manual, ActivationReason::timer}));  // same set
    EXPECT_EQ(defaults.writeCount(), 2);
    sessions.saveActiveSession(countdown({ActivationReason::manual, ActivationReason::timer}, kProfile));
    sessions.saveActiveSession(countdown({ActivationReason::manual, ActivationReason::timer}, kProfile));
    EXPECT_EQ(defaults.writeCount(), 3);
    sessions.saveActiveSession(countdown({ActivationReason::manual, ActivationReason::timer}, kProfile, 5));
    EXPECT_EQ(defaults.writeCount(), 4) << "the countdown was lengthened";
    sessions.saveActiveSession(record(clock.now(), std::nullopt, {ActivationReason::manual}, kProfile));
    EXPECT_EQ(defaults.writeCount(), 5) << "the countdown ended, the session goes on";

    // A refused write is tried again; a record changed or cleared behind our back is written again.
    const auto untimed = record(clock.now(), std::nullopt, {ActivationReason::externalDisplay});
    defaults.failWrites("disk full");
    sessions.saveActiveSession(untimed);
    defaults.failWrites(std::nullopt);
    sessions.saveActiveSession(untimed);
    EXPECT_EQ(defaults.writeCount(), 6);
    defaults.remove("activeSession.timestamp");
    sessions.saveActiveSession(untimed);
    EXPECT_EQ(defaults.writeCount(), 8);
    sessions.clearActiveSession();
    sessions.saveActiveSession(untimed);
    EXPECT_EQ(defaults.writeCount(), 10);
    expectSame(sessions.loadActiveSession().value(), untimed);
}

TEST_F(SessionPersistenceTest, DiscardsARecordDatedBefore2001OrMoreThanADayAhead) {
    const Date now = clock.now();
    for (const Date timestamp : {Date(1e300), Date(-1e300), Date(-1), now.addingSeconds(86400 + 60)}) {
        SCOPED_TRACE(timestamp.toString());
        log.clear();
        storeActive(DefaultsValue(timestamp), {}, DefaultsValue(DefaultsData::fromString(R"(["manual"])")),
                    {});
        defaults.set("suspendedSession.timestamp", DefaultsValue(timestamp));
        EXPECT_FALSE(sessions.loadActiveSession());
        EXPECT_FALSE(sessions.loadSuspendedSession());
        EXPECT_TRUE(defaults.keys().empty()) << "both records are cleared";
        const auto lines = log.messages("SessionPersistence");
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NE(lines[0].find("is not plausible"), std::string::npos) << lines[0];
    }
    // A clock set back a little since the save, and the first moment of 2001, are still believed.
    for (const Date timestamp : {now.addingSeconds(3600), Date(0)}) {
        storeActive(DefaultsValue(timestamp), {}, {}, {});
        ASSERT_TRUE(sessions.loadActiveSession());
        EXPECT_EQ(sessions.loadActiveSession()->reasons, Reasons{ActivationReason::manual});
    }
}

}  // namespace
}  // namespace torvel
