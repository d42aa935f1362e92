#include "Models/Calendar.h"

#include <chrono>
#include <cmath>
#include <exception>

#include <date/tz.h>

namespace torvel {

namespace {

using std::chrono::seconds;
using LocalSeconds = date::local_time<seconds>;
using SysSeconds = date::sys_time<seconds>;

// How far nextDate looks ahead: a year and a bit covers every wall-clock time that exists at all.
constexpr int kSearchDays = 400;

SysSeconds toSys(Date date) {
    // Date keeps itself within years 1..4001, so the floored count always fits.
    return SysSeconds{seconds{static_cast<long long>(std::floor(date.unixSeconds()))}};
}

std::optional<Date> toDate(SysSeconds sys) {
    const double sinceReference =
        static_cast<double>(sys.time_since_epoch().count()) - Date::kUnixToReference;
    // Date would clamp a time past either end of its range, which is not the asked-for time.
    if (sinceReference < Date::distantPast().secondsSinceReferenceDate() ||
        sinceReference > Date::distantFuture().secondsSinceReferenceDate()) {
        return std::nullopt;
    }
    return Date(sinceReference);
}

LocalTime fields(LocalSeconds local) {
    const auto day = date::floor<date::days>(local);
    const date::year_month_day ymd{day};
    const date::hh_mm_ss<seconds> hms{local - day};
    return LocalTime{int(ymd.year()),
                     static_cast<int>(unsigned(ymd.month())),
                     static_cast<int>(unsigned(ymd.day())),
                     static_cast<int>(hms.hours().count()),
                     static_cast<int>(hms.minutes().count()),
                     static_cast<int>(hms.seconds().count())};
}

}  // namespace

Calendar Calendar::current() {
    try {
        return Calendar(date::current_zone());
    } catch (const std::exception&) {
        // No readable /etc/localtime (containers, broken installs): UTC keeps every time well defined.
        return utc();
    }
}

std::optional<Calendar> Calendar::named(std::string_view tzName) {
    try {
        return Calendar(date::locate_zone(tzName));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

Calendar Calendar::utc() {
    for (std::string_view name : {"UTC", "Etc/UTC"}) {
        if (auto calendar = named(name)) return *calendar;
    }
    // Without a time zone database a null zone stands for UTC; every method below handles it.
    return Calendar(nullptr);
}

std::string Calendar::zoneName() const {
    return zone_ ? std::string(zone_->name()) : std::string("UTC");
}

LocalTime Calendar::localTime(Date date) const {
    const SysSeconds sys = toSys(date);
    const seconds offset = zone_ ? zone_->get_info(sys).offset : seconds{0};
    return fields(LocalSeconds{sys.time_since_epoch() + offset});
}

std::optional<Date> Calendar::date(const LocalTime& local, Repeated repeated) const {
    const date::year_month_day ymd{date::year{local.year}, date::month{static_cast<unsigned>(local.month)},
                                   date::day{static_cast<unsigned>(local.day)}};
    // Years beyond ±32767 wrap inside date::year, so they are refused before ok() is asked.
    if (local.year < 0 || local.year > 9999 || local.month < 1 || local.month > 12 || local.day < 1 ||
        !ymd.ok() || local.hour < 0 || local.hour > 23 || local.minute < 0 || local.minute > 59 ||
        local.second < 0 || local.second > 60) {
        return std::nullopt;
    }
    const LocalSeconds wall = LocalSeconds{date::local_days{ymd}} + std::chrono::hours{local.hour} +
                              std::chrono::minutes{local.minute} + seconds{local.second};
    if (!zone_) return toDate(SysSeconds{wall.time_since_epoch()});

    const date::local_info info = zone_->get_info(wall);
    if (info.result == date::local_info::nonexistent) {
        // The clocks jumped over this time; the first moment that exists after it is the jump itself.
        return toDate(info.first.end);
    }
    const bool second = info.result == date::local_info::ambiguous && repeated == Repeated::last;
    return toDate(SysSeconds{wall.time_since_epoch() - (second ? info.second.offset : info.first.offset)});
}

std::optional<Date> Calendar::nextDate(Date after, int hour, int minute, Repeated repeated) const {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59) return std::nullopt;
    const LocalTime start = localTime(after);
    // Start a day early so that no candidate next to an offset change is missed; the strict comparison
    // drops those that have already passed.
    date::local_days day = date::local_days{date::year{start.year} / start.month / start.day} - date::days{1};
    for (int i = 0; i < kSearchDays; ++i, day += date::days{1}) {
        const date::year_month_day ymd{day};
        const LocalTime candidate{int(ymd.year()),
                                  static_cast<int>(unsigned(ymd.month())),
                                  static_cast<int>(unsigned(ymd.day())),
                                  hour,
                                  minute,
                                  0};
        if (auto found = date(candidate, repeated); found && *found > after) return found;
    }
    return std::nullopt;
}

std::optional<Date> Calendar::addingOneDay(Date date) const {
    const LocalTime local = localTime(date);
    const date::year_month_day next{date::local_days{date::year{local.year} / local.month / local.day} +
                                    date::days{1}};
    const LocalTime wall{int(next.year()),
                         static_cast<int>(unsigned(next.month())),
                         static_cast<int>(unsigned(next.day())),
                         local.hour,
                         local.minute,
                         local.second};
    auto result = this->date(wall, Repeated::first);
    if (!result) return std::nullopt;
    // localTime() drops the fraction of a second; carry it over.
    const double fraction = date.unixSeconds() - std::floor(date.unixSeconds());
    return result->addingSeconds(fraction);
}

std::string Calendar::formatHourMinute(Date date) const {
    const LocalTime local = localTime(date);
    const auto twoDigits = [](int value) {
        return std::string{static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10)};
    };
    return twoDigits(local.hour) + ":" + twoDigits(local.minute);
}

}  // namespace torvel
