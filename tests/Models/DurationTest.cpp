#include <cmath>
#include <limits>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Models/Calendar.h"
#include "Models/Duration.h"

namespace torvel {
namespace {

using nlohmann::json;

std::string show(const std::optional<Duration>& duration) {
    return duration ? duration->toString() : "none";
}

TEST(DurationTest, CountdownsRoundUpToTheMinuteAndShowSecondsInTheLastOne) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, std::string> intervals[] = {
        // A fresh 25-minute countdown, read at once, a moment later, and down to the next minute.
        {1500, "25 min"},
        {1499.998, "25 min"},
        {1499, "25 min"},
        {1441, "25 min"},
        {1440, "24 min"},
        {1440.03, "24 min"},  // a wake-up a hair before the minute already shows it
        // The last minutes: "1 min" exactly while 60 s are left, then seconds.
        {61, "2 min"},
        {60, "1 min"},
        {59.6, "1 min"},
        {59, "59 s"},
        {1, "1 s"},
        {0, "0 s"},
        // Hours: a zero part is left out.
        {3599, "1 h"},
        {3600, "1 h"},
        {3601, "1 h 1 min"},
        {3900, "1 h 5 min"},
        {7199, "2 h"},
        {90000, "25 h"},
        // Outside any real countdown.
        {-1, "0 s"},
        {inf, "0 s"},
        {std::nan(""), "0 s"},
        {1e300, "277777777777777 h 47 min"},
    };
    for (const auto& [seconds, text] : intervals)
        EXPECT_EQ(Duration::formatInterval(seconds), text) << seconds;

    const std::pair<long long, std::string> minutes[] = {
        {0, "0 min"},       {45, "45 min"}, {60, "1 h"},
        {125, "2 h 5 min"}, {-5, "0 min"},  {std::numeric_limits<long long>::min(), "0 min"},
    };
    for (const auto& [count, text] : minutes) EXPECT_EQ(Duration::formatMinutes(count), text) << count;

    // Units come from the lookup when there is one.
    const Duration::TextLookup lookup = [](std::string_view key, const std::optional<std::string>& arg) {
        return std::string(key) + "(" + arg.value_or("") + ")";
    };
    EXPECT_EQ(Duration::formatInterval(3900, lookup), "duration.short.hours(1) duration.short.minutes(5)");
    EXPECT_EQ(Duration::formatInterval(59, lookup), "duration.short.seconds(59)");
}

TEST(DurationTest, IntervalsNeverGoNegativeOrOverflow) {
    const Date now(800000000);
    EXPECT_EQ(Duration::until(now.addingSeconds(-30)).timeInterval(now), 0.0);
    EXPECT_EQ(Duration::until(now.addingSeconds(90)).timeInterval(now), 90.0);

    const auto huge = Duration::custom(1e300).timeInterval(now);
    ASSERT_TRUE(huge);
    EXPECT_EQ(now.addingSeconds(*huge), Date::distantFuture());

    EXPECT_EQ(Duration::custom(std::nan("")), Duration::custom(0));
    EXPECT_EQ(Duration::preset(Duration::Kind::custom), Duration::custom(0));
}

TEST(DurationTest, DecodesOnlyTheStoredForm) {
    const struct {
        const char* text;
        std::string expected;
    } cases[] = {
        {R"({"oneHour":{}})", "oneHour"},
        {R"({"custom":{"_0":5400},"note":1})", "custom(5400)"},
        {R"({"custom":{"_0":90.5}})", "custom(90.5)"},
        {R"({"indefinite":{"_0":1}})", "indefinite"},
        {R"({"until":{"_0":0}})", "until(2001-01-01T00:00:00.000Z)"},
        {R"({"until":{"_0":1e300}})", "until(4001-01-01T00:00:00.000Z)"},
        {R"({"indefinite":null})", "none"},
        {R"({"custom":{"_0":"5400"}})", "none"},
        {R"({"custom":{"_0":true}})", "none"},
        {R"({"until":{"seconds":5}})", "none"},
        {R"(["oneHour"])", "none"},
        {R"(null)", "none"},
        {R"({})", "none"},  // exactly one case member
        {R"({"note":{}})", "none"},
        {R"({"custom":{"_0":5400},"oneHour":{}})", "none"},
    };
    for (const auto& c : cases) {
        const auto decoded = Duration::fromJson(json::parse(c.text));
        EXPECT_EQ(show(decoded ? std::optional(decoded.value()) : std::nullopt), c.expected) << c.text;
        if (!decoded) {
            EXPECT_FALSE(decoded.error().empty()) << c.text;
        }
    }
}

TEST(DurationTest, WritesTheStoredFormAndReadsItBack) {
    EXPECT_EQ(Duration::indefinite().toJson().dump(), R"({"indefinite":{}})");
    EXPECT_EQ(Duration::custom(5400).toJson().dump(), R"({"custom":{"_0":5400}})");
    EXPECT_EQ(Duration::until(Date(797000000.25)).toJson().dump(), R"({"until":{"_0":797000000.25}})");

    std::vector<Duration> all = Duration::menuPresets();
    all.insert(all.end(), {Duration::custom(5400), Duration::custom(0.1), Duration::custom(-3),
                           Duration::until(Date(797000000.25)), Duration::until(Date::distantPast())});
    for (const Duration& d : all) {
        const std::string text = d.toJson().dump();
        EXPECT_EQ(Duration::fromJson(json::parse(text)), d) << text;
    }
}

class DurationResolveTargetTimeTest : public ::testing::Test {
protected:
    Calendar prague = *Calendar::named("Europe/Prague");
    Date at(int year, int month, int day, int hour, int minute, int second = 0,
            Calendar::Repeated repeated = Calendar::Repeated::first) {
        return *prague.date({year, month, day, hour, minute, second}, repeated);
    }
};

TEST_F(DurationResolveTargetTimeTest, LaterTodayStaysTodayAndPassedTimesMoveToTomorrow) {
    const Date now = at(2026, 5, 12, 14, 30, 20);  // 12:30:20 UTC
    const std::pair<Date, std::string> cases[] = {
        {at(2026, 5, 12, 14, 30), "2026-05-13T12:30:00.000Z"},  // the current minute counts as passed
        {at(2026, 5, 12, 14, 31), "2026-05-12T12:31:00.000Z"},
        {at(2026, 5, 12, 9, 0), "2026-05-13T07:00:00.000Z"},
        {at(2026, 1, 5, 14, 31, 40), "2026-05-12T12:31:00.000Z"},  // only the wall hour and minute matter
    };
    for (const auto& [picked, expected] : cases) {
        EXPECT_EQ(Duration::resolveTargetTime(picked, now, prague).toString(), expected) << picked.toString();
    }
}

TEST_F(DurationResolveTargetTimeTest, CrossesDaylightSavingChanges) {
    using enum Calendar::Repeated;
    const struct {
        Date now;
        std::string expected;
    } cases[] = {
        // 02:30 does not exist on 29 March; the clocks read 03:00 CEST at that moment.
        {at(2026, 3, 28, 22, 0), "2026-03-29T01:00:00.000Z"},
        // 02:30 occurs twice on 25 October; the earliest one still ahead wins.
        {at(2026, 10, 25, 1, 50), "2026-10-25T00:30:00.000Z"},
        {at(2026, 10, 25, 2, 40, 0, first), "2026-10-25T01:30:00.000Z"},
        {at(2026, 10, 25, 2, 40, 0, last), "2026-10-26T01:30:00.000Z"},
    };
    const Date picked = at(2026, 3, 28, 2, 30);
    for (const auto& c : cases) {
        EXPECT_EQ(Duration::resolveTargetTime(picked, c.now, prague).toString(), c.expected)
            << c.now.toString();
    }
}

TEST_F(DurationResolveTargetTimeTest, TitlesMenuEntries) {
    // The lookup stands in for the string table: "key" or "key(arg)".
    const Duration::TextLookup lookup = [](std::string_view key, const std::optional<std::string>& arg) {
        return std::string(key) + (arg ? "(" + *arg + ")" : "");
    };
    EXPECT_EQ(Duration::preset(Duration::Kind::twelveHours).menuTitle(lookup, prague), "duration.12h");
    EXPECT_EQ(Duration::indefinite().menuTitle(lookup, prague), "duration.indefinite");
    EXPECT_EQ(Duration::custom(5400).menuTitle(lookup, prague),
              "duration.short.hours(1) duration.short.minutes(30)");
    // The end in the calendar's local time, on the 24-hour clock.
    EXPECT_EQ(Duration::until(at(2026, 5, 12, 21, 5)).menuTitle(lookup, prague), "duration.until(21:05)");
}

TEST_F(DurationResolveTargetTimeTest, StaysInRangeAtTheEndOfTime) {
    const Calendar utc = Calendar::utc();
    const Date picked = Date::distantFuture().addingSeconds(-1800);
    EXPECT_EQ(Duration::resolveTargetTime(picked, Date::distantFuture(), utc), Date::distantFuture());
}

}  // namespace
}  // namespace torvel
