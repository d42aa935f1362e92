#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "Platform/Scheduler.h"

namespace torvel {

/// The Qt event loop of the thread that creates it (the main thread) as the main loop. Its timers are
/// QTimers, which count on CLOCK_MONOTONIC like the suspending clock: a suspend delays them.
class QtScheduler : public Scheduler {
public:
    QtScheduler();
    ~QtScheduler() override;

    /// Thread-safe: any thread may post, which is how background work hands its results to the main
    /// loop; the scheduler must outlive those threads. Tasks posted by a task run before any timer, as
    /// on the simulated loop. Tasks still queued when the scheduler is destroyed never run.
    void post(std::function<void()> task) override;
    /// From the scheduler's thread only. Fires on time (a precise timer) however long the wait. Waits beyond
    /// QTimer's range (24.8 days) are re-armed in steps, so an absurd delay (1e300 s) never comes.
    Timer after(double seconds, std::function<void()> task) override;
    /// From the scheduler's thread only; the interval is at least a millisecond. Intervals over five
    /// seconds may be moved by up to 5 % so that the system can batch wake-ups.
    Timer every(double seconds, std::function<void()> task) override;

private:
    struct Queue;
    void scheduleDrain();
    void drain();

    std::unique_ptr<Queue> queue_;
    std::unique_ptr<QObject> context_;  // receives the drain calls; destroyed first, dropping them
};

}  // namespace torvel
