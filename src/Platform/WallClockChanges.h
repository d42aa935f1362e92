#pragma once

#include <functional>

namespace torvel {

/// The wall clock being set: by the user, by NTP stepping it, or jumping across a suspend. Timers count
/// on the suspending clock and never notice; whoever waits for a wall-clock time re-arms on this.
class WallClockChanges {
public:
    virtual ~WallClockChanges() = default;
    // A hook with one owner rather than a Signal: subscribing is what starts following the source, and
    // its answer (false: no notifications will ever come) is what the owner decides on.
    /// Calls `onChange` on the main loop after the wall clock was set, replacing an earlier callback (an
    /// empty function stops it). Failure (the system cannot tell): false, and it never runs.
    virtual bool setOnChange(std::function<void()> onChange) = 0;
};

}  // namespace torvel
