#pragma once

#include <functional>

namespace torvel {

/// The machine going to sleep and waking up again. Callbacks run on the main loop.
class SystemSleepEvents {
public:
    virtual ~SystemSleepEvents() = default;
    // A hook with one owner rather than a Signal: subscribing is what starts following the source, and
    // its answer (false: no notifications will ever come) is what the owner decides on.
    /// Calls `onSleep` just before the machine suspends or hibernates, replacing an earlier callback (an
    /// empty function stops it). Failure (nobody announces sleep, as without logind): false, and it
    /// never runs.
    virtual bool setOnSleep(std::function<void()> onSleep) = 0;
    /// Calls `onWake` once the machine has resumed, replacing an earlier callback (an empty function
    /// stops it). Failure: false, and it never runs.
    virtual bool setOnWake(std::function<void()> onWake) = 0;
};

}  // namespace torvel
