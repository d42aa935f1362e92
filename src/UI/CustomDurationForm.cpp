#include "UI/CustomDurationForm.h"

#include <charconv>
#include <cmath>

namespace torvel {

std::optional<double> CustomDurationForm::parseMinutes(std::string_view text) {
    if (text.empty()) return std::nullopt;
    // from_chars never skips white space, never reads a locale's decimal comma and takes no "+" or
    // "0x" prefix: exactly the strict, locale-independent reading wanted here.
    double minutes = 0.0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, minutes, std::chars_format::general);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    if (!std::isfinite(minutes) || minutes <= 0.0 || minutes > kMaxMinutes) return std::nullopt;
    return minutes;
}

bool CustomDurationForm::canActivate() const {
    return mode == Mode::until || parseMinutes(minutesText).has_value();
}

std::optional<Duration> CustomDurationForm::duration(Date now, const Calendar& calendar) const {
    if (mode == Mode::until) return Duration::until(Duration::resolveTargetTime(targetTime, now, calendar));
    const auto minutes = parseMinutes(minutesText);
    if (!minutes) return std::nullopt;
    return Duration::custom(*minutes * 60.0);
}

bool CustomDurationForm::meansTomorrow(Date now, const Calendar& calendar) const {
    const auto resolved = calendar.localTime(Duration::resolveTargetTime(targetTime, now, calendar));
    const auto today = calendar.localTime(now);
    return resolved.year != today.year || resolved.month != today.month || resolved.day != today.day;
}

}  // namespace torvel
