#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Models/Date.h"
#include "Models/Result.h"

namespace torvel {

class Calendar;

/// How long a keep-awake session lasts: a preset, open-ended, a custom number of seconds, or until a
/// point in time.
class Duration {
public:
    enum class Kind {
        fifteenMinutes,
        thirtyMinutes,
        oneHour,
        twoHours,
        fourHours,
        eightHours,
        twelveHours,
        indefinite,
        custom,
        until
    };

    /// A payload-less case; `kind` must not be custom or until (those use the factories below).
    static Duration preset(Kind kind);
    static Duration indefinite() { return preset(Kind::indefinite); }
    static Duration custom(double seconds);
    static Duration until(Date end);

    Kind kind() const { return kind_; }
    /// Seconds of a custom duration; 0 for other kinds.
    double customSeconds() const { return kind_ == Kind::custom ? value_ : 0.0; }
    /// The end of an until duration; the reference date for other kinds.
    Date untilDate() const { return kind_ == Kind::until ? Date(value_) : Date(); }

    /// Length in seconds: the preset's length, the custom seconds, or for until the seconds from `now`
    /// to the end (0 once it has passed). std::nullopt for indefinite.
    std::optional<double> timeInterval(Date now) const;

    /// The eight presets of the menu's duration list, shortest first, then indefinite.
    static const std::vector<Duration>& menuPresets();
    /// Case name, also the member name of the stored JSON form ("fifteenMinutes").
    static std::string_view caseName(Kind kind);
    /// Localisation key of a preset's or until's menu title ("duration.15min"); empty for custom.
    static std::string_view titleKey(Kind kind);

    /// Looks a text up by key and fills its one argument when given (the models know no string table).
    using TextLookup = std::function<std::string(std::string_view key, const std::optional<std::string>& arg)>;
    /// The title in the menu's duration list: a preset's text, a custom length as formatInterval
    /// (with the same lookup's units), or the until text with the end as "HH:mm" in `calendar`'s zone.
    std::string menuTitle(const TextLookup& lookup, const Calendar& calendar) const;

    /// Keys of the unit texts the formatters below write numbers with; each text holds one "%ld".
    static constexpr std::string_view kHoursKey = "duration.short.hours";
    static constexpr std::string_view kMinutesKey = "duration.short.minutes";
    static constexpr std::string_view kSecondsKey = "duration.short.seconds";

    /// The time left as a countdown reads it: whole minutes rounded up while more than a minute is
    /// left (25:00 and 24:01 both "25 min", "1 h 5 min", "2 h"), seconds in the last one ("59 s").
    /// Units come through `lookup` (a unit key with the number); without one, in English. Negative,
    /// infinite or NaN input gives "0 s".
    static std::string formatInterval(double seconds, const TextLookup& lookup = {});
    /// Whole minutes the same way: "45 min", "1 h", "2 h 5 min"; negative gives "0 min".
    static std::string formatMinutes(long long minutes, const TextLookup& lookup = {});

    /// The next real point in time at the picked hour and minute, strictly after `now`.
    static Date resolveTargetTime(Date picked, Date now, const Calendar& calendar);

    /// Stored JSON form: {"oneHour":{}}, {"custom":{"_0":5400}}, {"until":{"_0":<seconds since 2001>}}.
    nlohmann::json toJson() const;
    /// Reads the stored form; a failure saying why on anything else.
    static Result<Duration> fromJson(const nlohmann::json& json);

    friend bool operator==(const Duration& a, const Duration& b) = default;
    /// Readable form for logs and test failures ("custom(5400)").
    std::string toString() const;

private:
    Duration(Kind kind, double value) : kind_(kind), value_(value) {}
    Kind kind_ = Kind::indefinite;
    double value_ = 0.0;
};

}  // namespace torvel
