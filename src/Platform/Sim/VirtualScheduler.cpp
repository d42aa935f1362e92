#include "Platform/Sim/VirtualScheduler.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

namespace torvel {

namespace {
constexpr double kMinimumInterval = 0.001;
// Callbacks that may run at one instant before advance() gives up: a task that keeps re-posting
// itself, or a timer re-armed at "now" forever, would otherwise hang the test.
constexpr std::size_t kMaxCallbacksPerInstant = 1'000'000;
}  // namespace

struct VirtualScheduler::Entry {
    double due;
    double interval;  // 0 for a one-shot timer
    std::uint64_t sequence;
    std::function<void()> task;
    bool cancelled = false;
};

namespace {

// Cancels its entry when destroyed. Holds it weakly, so either side may go first.
class VirtualTimer : public TimerHandle {
public:
    explicit VirtualTimer(std::weak_ptr<VirtualScheduler::Entry> entry) : entry_(std::move(entry)) {}
    ~VirtualTimer() override {
        if (auto entry = entry_.lock()) entry->cancelled = true;
    }

private:
    std::weak_ptr<VirtualScheduler::Entry> entry_;
};

}  // namespace

VirtualScheduler::VirtualScheduler(SimClock& clock) : clock_(clock) {}

VirtualScheduler::~VirtualScheduler() = default;

void VirtualScheduler::post(std::function<void()> task) {
    if (!task) return;
    const std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(task));
}

std::function<void()> VirtualScheduler::takePosted() {
    const std::lock_guard lock(postedMutex_);
    if (posted_.empty()) return {};
    auto task = std::move(posted_.front());
    posted_.pop_front();
    return task;
}

Timer VirtualScheduler::after(double seconds, std::function<void()> task) {
    if (std::isnan(seconds) || seconds < 0.0) seconds = 0.0;
    return schedule(seconds, 0.0, std::move(task));
}

Timer VirtualScheduler::every(double seconds, std::function<void()> task) {
    if (std::isnan(seconds) || seconds < kMinimumInterval) seconds = kMinimumInterval;
    return schedule(seconds, seconds, std::move(task));
}

Timer VirtualScheduler::schedule(double seconds, double interval, std::function<void()> task) {
    // Dropping cancelled entries here is safe even from inside a callback: the running entry is kept
    // alive by advance() until its call returns.
    std::erase_if(timers_, [](const auto& entry) { return entry->cancelled; });
    auto entry = std::make_shared<Entry>(
        Entry{clock_.suspendingNow() + seconds, interval, sequence_++, std::move(task), false});
    timers_.push_back(entry);
    return std::make_unique<VirtualTimer>(entry);
}

void VirtualScheduler::runPending() {
    std::size_t count = 0;
    // The lock is not held while a task runs: the task may post, and so may worker threads meanwhile.
    while (auto task = takePosted()) {
        if (++count > kMaxCallbacksPerInstant) {
            throw std::runtime_error("VirtualScheduler: posted tasks keep posting; runPending() never ends");
        }
        task();
    }
}

std::shared_ptr<VirtualScheduler::Entry> VirtualScheduler::takeNextDue(double limit) {
    std::shared_ptr<Entry> next;
    for (const auto& entry : timers_) {
        if (entry->cancelled || !(entry->due <= limit)) continue;
        if (!next || entry->due < next->due ||
            (entry->due == next->due && entry->sequence < next->sequence)) {
            next = entry;
        }
    }
    return next;
}

void VirtualScheduler::advance(double seconds) {
    if (std::isnan(seconds) || seconds < 0.0) seconds = 0.0;
    const double target = clock_.suspendingNow() + seconds;
    double instant = clock_.suspendingNow();
    std::size_t atInstant = 0;
    for (;;) {
        runPending();
        auto entry = takeNextDue(target);
        if (!entry) break;
        if (entry->due > clock_.suspendingNow()) clock_.advance(entry->due - clock_.suspendingNow());
        if (entry->due != instant) {
            instant = entry->due;
            atInstant = 0;
        } else if (++atInstant > kMaxCallbacksPerInstant) {
            throw std::runtime_error(
                "VirtualScheduler: timers keep firing at one instant; advance() never ends");
        }
        if (entry->interval > 0.0) {
            // Re-arm before the call so the timer may cancel itself from inside; a due time so large
            // that adding the interval changes nothing still moves on by one step.
            const double next = entry->due + entry->interval;
            entry->due = next > entry->due
                             ? next
                             : std::nextafter(entry->due, std::numeric_limits<double>::infinity());
            entry->sequence = sequence_++;
        } else {
            entry->cancelled = true;  // a one-shot timer fires once
        }
        ++fired_;
        if (entry->task) entry->task();
        std::erase_if(timers_, [](const auto& e) { return e->cancelled; });
    }
    if (target > clock_.suspendingNow()) clock_.advance(target - clock_.suspendingNow());
}

std::size_t VirtualScheduler::activeTimerCount() const {
    return static_cast<std::size_t>(
        std::count_if(timers_.begin(), timers_.end(), [](const auto& entry) { return !entry->cancelled; }));
}

std::optional<double> VirtualScheduler::nextDue() const {
    std::optional<double> next;
    for (const auto& entry : timers_) {
        if (!entry->cancelled && (!next || entry->due < *next)) next = entry->due;
    }
    return next;
}

}  // namespace torvel
