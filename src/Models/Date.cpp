#include "Models/Date.h"

#include <algorithm>
#include <cmath>

#include <date/date.h>

namespace torvel {

namespace {
constexpr double kMin = -63114076800.0;  // the start of year 1
constexpr double kMax = 63113904000.0;   // 4001-01-01
}  // namespace

Date::Date(double secondsSinceReferenceDate)
    : seconds_(std::isnan(secondsSinceReferenceDate) ? 0.0
                                                     : std::clamp(secondsSinceReferenceDate, kMin, kMax)) {}

Date Date::fromUnixSeconds(double unixSeconds) {
    if (std::isnan(unixSeconds)) return Date(0.0);
    return Date(unixSeconds - kUnixToReference);
}

Date Date::addingSeconds(double seconds) const {
    if (std::isnan(seconds)) return *this;
    return Date(seconds_ + seconds);  // inf and huge values clamp in the constructor
}

std::string Date::toString() const {
    using namespace std::chrono;
    const auto millis = static_cast<long long>(std::llround(unixSeconds() * 1000.0));
    const sys_time<milliseconds> t{milliseconds{millis}};
    return date::format("%FT%TZ", t);
}

}  // namespace torvel
