#include "Platform/Linux/Desktop/SystemClock.h"

#include <ctime>

namespace torvel {

namespace {

double seconds(clockid_t clock) {
    timespec ts{};
    // Cannot fail for these two clocks on Linux; a zero reading would still be a valid Date.
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace

Date SystemClock::now() const {
    return Date::fromUnixSeconds(seconds(CLOCK_REALTIME));
}

double SystemClock::suspendingNow() const {
    return seconds(CLOCK_MONOTONIC);
}

}  // namespace torvel
