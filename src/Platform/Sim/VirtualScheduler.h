#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "Platform/Scheduler.h"
#include "Platform/Sim/SimClock.h"

namespace torvel {

/// The main loop on virtual time: nothing runs until a test calls advance() or runPending(). Timers are
/// due on the suspending clock, as real main-loop timers are; a simulated suspend delays them.
/// post() may be called from any thread, as on the real main loop; everything else, and the tasks
/// themselves, run on the thread that drives advance() and runPending().
class VirtualScheduler : public Scheduler {
public:
    explicit VirtualScheduler(SimClock& clock);
    ~VirtualScheduler() override;

    void post(std::function<void()> task) override;
    Timer after(double seconds, std::function<void()> task) override;
    Timer every(double seconds, std::function<void()> task) override;

    /// Runs posted tasks and every timer due within `seconds`, in due order (posted tasks first at each
    /// instant), moving the clock to each due time; ends with the clock `seconds` later.
    void advance(double seconds);
    /// Runs the posted tasks (and those they post) without moving time.
    void runPending();
    /// Timers not yet cancelled (one-shot timers that fired count no longer).
    std::size_t activeTimerCount() const;
    /// Suspending-clock time at which the next timer is due; std::nullopt when none is.
    std::optional<double> nextDue() const;
    /// Timer firings so far (posted tasks do not count): the wake-ups a real main loop would have had.
    std::size_t firedTimerCount() const { return fired_; }

    struct Entry;

private:
    SimClock& clock_;
    std::vector<std::shared_ptr<Entry>> timers_;
    std::mutex postedMutex_;  // guards posted_, the one thing worker threads touch
    std::deque<std::function<void()>> posted_;
    std::uint64_t sequence_ = 0;
    std::size_t fired_ = 0;

    Timer schedule(double seconds, double interval, std::function<void()> task);
    std::shared_ptr<Entry> takeNextDue(double limit);
    std::function<void()> takePosted();
};

}  // namespace torvel
