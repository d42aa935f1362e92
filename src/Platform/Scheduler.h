#pragma once

#include <functional>
#include <memory>

namespace torvel {

/// A scheduled timer. Destroying the handle cancels it, so a timer never outlives its owner; this is
/// how callbacks hold their owner "weakly". Destroying it from inside its own callback is allowed.
class TimerHandle {
public:
    virtual ~TimerHandle() = default;
};

using Timer = std::unique_ptr<TimerHandle>;

/// The main loop. Every callback runs on it, one at a time, never re-entrantly from inside post(),
/// after() or every(). post() alone is thread-safe: worker threads hand their results back with it.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    /// Runs `task` soon on the main loop, after the current callback returns. Callable from any thread.
    virtual void post(std::function<void()> task) = 0;
    /// Main thread only: runs `task` once, `seconds` later on the suspending clock (negative or NaN: soon).
    [[nodiscard]] virtual Timer after(double seconds, std::function<void()> task) = 0;
    /// Main thread only: runs `task` every `seconds` (at least a millisecond) until the handle is destroyed.
    [[nodiscard]] virtual Timer every(double seconds, std::function<void()> task) = 0;
};

}  // namespace torvel
