#include "Models/Duration.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <nlohmann/json.hpp>

#include "Models/Calendar.h"
#include "Models/JsonErrors.h"

namespace torvel {

namespace {

struct KindInfo {
    Duration::Kind kind;
    std::string_view caseName;
    std::string_view titleKey;
    double seconds;  // < 0 where the length is not fixed
};

// Indexed by the enumerator's value. The case names are the member names of the stored JSON form.
constexpr std::array<KindInfo, 10> kKinds = {{
    {Duration::Kind::fifteenMinutes, "fifteenMinutes", "duration.15min", 900},
    {Duration::Kind::thirtyMinutes, "thirtyMinutes", "duration.30min", 1800},
    {Duration::Kind::oneHour, "oneHour", "duration.1h", 3600},
    {Duration::Kind::twoHours, "twoHours", "duration.2h", 7200},
    {Duration::Kind::fourHours, "fourHours", "duration.4h", 14400},
    {Duration::Kind::eightHours, "eightHours", "duration.8h", 28800},
    {Duration::Kind::twelveHours, "twelveHours", "duration.12h", 43200},
    {Duration::Kind::indefinite, "indefinite", "duration.indefinite", -1},
    {Duration::Kind::custom, "custom", "", -1},
    {Duration::Kind::until, "until", "duration.until", -1},
}};

const KindInfo& info(Duration::Kind kind) {
    return kKinds.at(static_cast<std::size_t>(kind));
}

bool hasPayload(Duration::Kind kind) {
    return kind == Duration::Kind::custom || kind == Duration::Kind::until;
}

// Whole numbers are written without a fraction ({"_0":5400}, not 5400.0), as the stored form has them.
nlohmann::json jsonNumber(double value) {
    constexpr double kExactIntegers = 9007199254740992.0;  // 2^53
    if (std::trunc(value) == value && std::fabs(value) <= kExactIntegers) {
        return static_cast<std::int64_t>(value);
    }
    return value;
}


// One number with its unit: through the string table when there is one, else in English.
std::string unitText(const Duration::TextLookup& lookup, std::string_view key, long long number) {
    const std::string digits = std::to_string(number);
    if (lookup) return lookup(key, digits);
    const char* unit = key == Duration::kHoursKey ? " h" : key == Duration::kMinutesKey ? " min" : " s";
    return digits + unit;
}

// "45 min", "2 h", "1 h 5 min": a zero part is left out, except that nothing at all reads "0 min".
std::string hoursAndMinutes(const Duration::TextLookup& lookup, long long minutes) {
    const long long h = minutes / 60;
    const long long m = minutes % 60;
    if (h == 0) return unitText(lookup, Duration::kMinutesKey, m);
    std::string text = unitText(lookup, Duration::kHoursKey, h);
    if (m != 0) text += " " + unitText(lookup, Duration::kMinutesKey, m);
    return text;
}

}  // namespace

Duration Duration::preset(Kind kind) {
    // Misuse for the payload cases gets their neutral value rather than undefined contents.
    return Duration(kind, 0.0);
}

Duration Duration::custom(double seconds) {
    return Duration(Kind::custom, std::isnan(seconds) ? 0.0 : seconds);
}

Duration Duration::until(Date end) {
    return Duration(Kind::until, end.secondsSinceReferenceDate());
}

std::optional<double> Duration::timeInterval(Date now) const {
    switch (kind_) {
        case Kind::indefinite:
            return std::nullopt;
        case Kind::custom:
            return value_;
        case Kind::until:
            return std::max(0.0, untilDate().secondsSince(now));
        default:
            return info(kind_).seconds;
    }
}

const std::vector<Duration>& Duration::menuPresets() {
    static const std::vector<Duration> presets = {preset(Kind::fifteenMinutes), preset(Kind::thirtyMinutes),
                                                  preset(Kind::oneHour),        preset(Kind::twoHours),
                                                  preset(Kind::fourHours),      preset(Kind::eightHours),
                                                  preset(Kind::twelveHours),    preset(Kind::indefinite)};
    return presets;
}

std::string_view Duration::caseName(Kind kind) {
    return info(kind).caseName;
}

std::string_view Duration::titleKey(Kind kind) {
    return info(kind).titleKey;
}

std::string Duration::menuTitle(const TextLookup& lookup, const Calendar& calendar) const {
    switch (kind_) {
        case Kind::custom:
            return formatInterval(value_, lookup);
        case Kind::until:
            return lookup(titleKey(kind_), calendar.formatHourMinute(untilDate()));
        default:
            return lookup(titleKey(kind_), std::nullopt);
    }
}

std::string Duration::formatInterval(double seconds, const TextLookup& lookup) {
    if (!(seconds >= 0.0) || std::isinf(seconds)) return unitText(lookup, kSecondsKey, 0);
    // To the nearest second first: the countdown is read a moment after the minute it shows begins, or
    // a hair before it when the main loop wakes early, and 25:00 must not read as 24:59.998. Capped
    // far beyond any real countdown, well inside long long.
    const long long whole = std::llround(std::min(seconds, 1e18));
    if (whole < 60) return unitText(lookup, kSecondsKey, whole);
    // Rounded up: a fresh 25-minute countdown says 25, and "1 min" shows exactly while 60 s are left.
    return hoursAndMinutes(lookup, (whole + 59) / 60);
}

std::string Duration::formatMinutes(long long minutes, const TextLookup& lookup) {
    return minutes > 0 ? hoursAndMinutes(lookup, minutes) : unitText(lookup, kMinutesKey, 0);
}

Date Duration::resolveTargetTime(Date picked, Date now, const Calendar& calendar) {
    const LocalTime wall = calendar.localTime(picked);
    std::optional<Date> best;
    // A repeated autumn hour has two candidates; whichever is still ahead and earliest wins.
    for (Calendar::Repeated repeated : {Calendar::Repeated::first, Calendar::Repeated::last}) {
        const auto candidate = calendar.nextDate(now, wall.hour, wall.minute, repeated);
        if (candidate && *candidate > now && (!best || *candidate < *best)) best = candidate;
    }
    if (best) return *best;
    if (picked > now) return picked;
    return calendar.addingOneDay(picked).value_or(picked.addingSeconds(86400.0));
}

nlohmann::json Duration::toJson() const {
    nlohmann::json payload = nlohmann::json::object();
    if (hasPayload(kind_)) payload["_0"] = jsonNumber(value_);
    return nlohmann::json{{std::string(caseName(kind_)), std::move(payload)}};
}

Result<Duration> Duration::fromJson(const nlohmann::json& json) {
    if (!json.is_object()) {
        return Failure{"Expected a JSON object for a duration."};
    }
    const KindInfo* found = nullptr;
    int matches = 0;
    for (const auto& entry : kKinds) {
        if (json.contains(entry.caseName)) {
            found = &entry;
            ++matches;
        }
    }
    if (matches != 1) {
        return Failure{"Invalid number of keys found, expected one."};
    }
    const std::string name(found->caseName);
    const nlohmann::json& payload = json.at(name);
    if (!payload.is_object()) {
        return Failure{"Expected a JSON object as the value of \"" + name + "\"."};
    }
    if (!hasPayload(found->kind)) return preset(found->kind);  // any content is ignored

    const auto value = payload.find("_0");
    if (value == payload.end() || !value->is_number()) {
        return Failure{"Expected a number in \"_0\" of \"" + name + "\"."};
    }
    const double number = value->get<double>();
    return found->kind == Kind::custom ? custom(number) : until(Date(number));
}

std::string Duration::toString() const {
    const std::string name(caseName(kind_));
    if (kind_ == Kind::custom) return name + "(" + jsonNumber(value_).dump() + ")";
    if (kind_ == Kind::until) return name + "(" + untilDate().toString() + ")";
    return name;
}

}  // namespace torvel
