#include "Platform/Sim/SimClock.h"

#include <cmath>

namespace torvel {

void SimClock::advance(double seconds) {
    // Time only moves forward; a NaN or negative step is a test's mistake and changes nothing.
    if (!(seconds > 0.0)) return;
    wall_ = wall_.addingSeconds(seconds);
    suspending_ += seconds;
}

void SimClock::suspend(double seconds) {
    if (!(seconds > 0.0)) return;
    wall_ = wall_.addingSeconds(seconds);
}

}  // namespace torvel
