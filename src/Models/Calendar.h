#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Models/Date.h"

namespace date {
class time_zone;
}

namespace torvel {

/// Local wall-clock fields of a point in time.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

/// The user's calendar: the Gregorian calendar in one time zone. Tests pin a zone by name so that
/// daylight-saving gaps and repeats are reproducible.
class Calendar {
public:
    /// Which of two occurrences of a repeated wall-clock time (autumn change) is meant.
    enum class Repeated { first, last };

    /// The zone of this machine; UTC when it cannot be determined.
    static Calendar current();
    /// The zone named `tzName` ("Europe/Prague"); std::nullopt when the database has no such zone.
    static std::optional<Calendar> named(std::string_view tzName);
    static Calendar utc();

    std::string zoneName() const;
    LocalTime localTime(Date date) const;
    /// The point in time of a local wall-clock time. A time in a spring-forward gap moves to the end of
    /// the gap; a repeated time picks the given occurrence. std::nullopt when out of range.
    std::optional<Date> date(const LocalTime& local, Repeated repeated = Repeated::first) const;

    /// The earliest point strictly after `after` whose local time is hour:minute:00. A time that does
    /// not exist that day moves to the next existing time. std::nullopt when none lies within a year.
    std::optional<Date> nextDate(Date after, int hour, int minute, Repeated repeated) const;
    /// The same local time one calendar day later; std::nullopt when it cannot be formed.
    std::optional<Date> addingOneDay(Date date) const;

    /// "HH:mm" in this zone, 24-hour clock.
    std::string formatHourMinute(Date date) const;

private:
    explicit Calendar(const date::time_zone* zone) : zone_(zone) {}
    const date::time_zone* zone_;
};

}  // namespace torvel
