#include <gtest/gtest.h>

#include "Models/Calendar.h"

namespace torvel {
namespace {

// Prague: CET (UTC+1) in winter, CEST (UTC+2) in summer. In 2026 the clocks jump from 02:00 to 03:00
// on 29 March and fall back from 03:00 to 02:00 on 25 October.
Calendar prague() {
    return *Calendar::named("Europe/Prague");
}

std::string show(const std::optional<Date>& date) {
    return date ? date->toString() : "none";
}

TEST(CalendarTest, WallTimesBecomePointsInTime) {
    using enum Calendar::Repeated;
    const struct {
        LocalTime local;
        Calendar::Repeated repeated;
        std::string expected;
    } cases[] = {
        {{2026, 5, 12, 14, 30, 0}, first, "2026-05-12T12:30:00.000Z"},
        {{2026, 3, 29, 2, 30, 0}, last, "2026-03-29T01:00:00.000Z"},    // in the gap: its end, 03:00 CEST
        {{2026, 10, 25, 2, 30, 0}, first, "2026-10-25T00:30:00.000Z"},  // still CEST
        {{2026, 10, 25, 2, 30, 0}, last, "2026-10-25T01:30:00.000Z"},   // CET, an hour later
        {{2028, 2, 29, 0, 0, 0}, first, "2028-02-28T23:00:00.000Z"},
        {{2026, 2, 29, 0, 0, 0}, first, "none"},
        {{2026, 13, 1, 0, 0, 0}, first, "none"},
        {{2026, 4, 1, 24, 0, 0}, first, "none"},
        {{2026, 4, 1, 12, 0, -1}, first, "none"},
        {{5000, 1, 1, 0, 0, 0}, first, "none"},  // beyond what Date can hold
        {{-40000, 1, 1, 0, 0, 0}, first, "none"},
    };
    for (const auto& c : cases) {
        const LocalTime& l = c.local;
        EXPECT_EQ(show(prague().date(l, c.repeated)), c.expected)
            << l.year << '-' << l.month << '-' << l.day << ' ' << l.hour << ':' << l.minute << ':'
            << l.second;
    }
    EXPECT_EQ(Calendar::named("Europe/Atlantis"), std::nullopt);
}

TEST(CalendarTest, LocalTimeFloorsToWholeSecondsAndSeesTheRepeatedHour) {
    const LocalTime secondPass = prague().localTime(*Calendar::utc().date({2026, 10, 25, 1, 30, 59}));
    EXPECT_EQ(std::tuple(secondPass.hour, secondPass.minute, secondPass.second), std::tuple(2, 30, 59));
    EXPECT_EQ(Calendar::utc().localTime(Date(-0.25)).second, 59);

    // The ends of Date's range convert without trouble. distantPast is 1 January of year 1 in the
    // Julian calendar: 30 December of year 0 in ours.
    EXPECT_EQ(prague().localTime(Date::distantFuture()).year, 4001);
    EXPECT_EQ(prague().localTime(Date::distantPast()).year, 0);
}

TEST(CalendarTest, StepsAcrossDaysAndGivesUpAtTheEndOfTime) {
    const Date noon = *prague().date({2026, 5, 12, 12, 0, 0});
    EXPECT_EQ(show(prague().nextDate(noon, 12, 0, Calendar::Repeated::first)), "2026-05-13T10:00:00.000Z");
    EXPECT_EQ(show(prague().nextDate(noon, 24, 0, Calendar::Repeated::first)), "none");
    EXPECT_EQ(show(prague().nextDate(Date::distantFuture(), 12, 0, Calendar::Repeated::first)), "none");

    const Date saturdayNoon = prague().date({2026, 3, 28, 12, 0, 0})->addingSeconds(0.5);
    EXPECT_EQ(show(prague().addingOneDay(saturdayNoon)), "2026-03-29T10:00:00.500Z");  // 23 hours later
    EXPECT_EQ(show(prague().addingOneDay(Date::distantFuture())), "none");

    EXPECT_EQ(prague().formatHourMinute(*Calendar::utc().date({2026, 5, 12, 7, 5, 59})), "09:05");
}

}  // namespace
}  // namespace torvel
