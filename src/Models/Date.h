#pragma once

#include <compare>
#include <string>

namespace torvel {

/// A point in time: seconds since 2001-01-01 00:00:00 UTC, the form every stored time uses.
/// Arithmetic saturates at distantPast()/distantFuture(), and NaN counts as no change, so no
/// input (a duration of 1e300 seconds, say) can overflow into undefined behaviour.
class Date {
public:
    /// Seconds between 1970-01-01 and the reference date 2001-01-01.
    static constexpr double kUnixToReference = 978307200.0;

    constexpr Date() = default;
    /// Clamps `seconds` into the representable range; NaN becomes the reference date.
    explicit Date(double secondsSinceReferenceDate);

    static Date fromUnixSeconds(double unixSeconds);
    /// 4001-01-01: the end of an open-ended pause, never reached in practice.
    static Date distantFuture() { return Date(63113904000.0); }
    /// The start of year 1, the counterpart of distantFuture().
    static Date distantPast() { return Date(-63114076800.0); }

    double secondsSinceReferenceDate() const { return seconds_; }
    double unixSeconds() const { return seconds_ + kUnixToReference; }

    /// Saturating addition; NaN adds nothing.
    Date addingSeconds(double seconds) const;
    /// Seconds from `other` to this date (positive when this is later).
    double secondsSince(Date other) const { return seconds_ - other.seconds_; }

    /// ISO 8601 in UTC, for logs and test failures.
    std::string toString() const;

    friend auto operator<=>(Date a, Date b) = default;

private:
    double seconds_ = 0.0;
};

}  // namespace torvel
