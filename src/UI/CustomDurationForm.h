#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Models/Calendar.h"
#include "Models/Date.h"
#include "Models/Duration.h"

namespace torvel {

/// What the custom-duration panel holds and how it turns into a session length: a number of minutes
/// typed by the user, or a clock time resolved to its next occurrence. No toolkit.
class CustomDurationForm {
public:
    /// The panel's two ways of giving the length.
    enum class Mode { duration, until };

    /// The most minutes the field takes (30 days): beyond that a typo rather than a wish.
    static constexpr double kMaxMinutes = 30.0 * 24.0 * 60.0;

    /// The minutes in `text`: one number in the C locale's syntax ("1.5", "2e1"), nothing before or
    /// after it, finite, above 0 and at most kMaxMinutes. std::nullopt for anything else ("", "5m",
    /// " 5", "-5", "0", "nan").
    static std::optional<double> parseMinutes(std::string_view text);

    Mode mode = Mode::until;
    std::string minutesText = "60";
    /// The clock time picked in until mode; only its hour and minute count.
    Date targetTime;

    /// Whether Activate is offered: always in until mode, with valid minutes in duration mode.
    bool canActivate() const;
    /// The session to start: custom seconds (minutes × 60) or until the resolved time; std::nullopt
    /// when canActivate() is false.
    std::optional<Duration> duration(Date now, const Calendar& calendar) const;
    /// Whether the picked time, resolved from `now`, falls on a later date than today (the panel then
    /// says it means tomorrow).
    bool meansTomorrow(Date now, const Calendar& calendar) const;
};

}  // namespace torvel
