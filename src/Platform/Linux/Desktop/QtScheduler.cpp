#include "Platform/Linux/Desktop/QtScheduler.h"

#include <QMetaObject>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <deque>
#include <mutex>
#include <utility>

#include "Support/Lifetime.h"

namespace torvel {

namespace {

constexpr double kMinimumIntervalMs = 1.0;
// QTimer takes an int of milliseconds (at most 24.8 days); longer waits are armed a day at a time.
constexpr double kLongestStepMs = 86'400'000.0;
// Short repeating waits fire on time; longer ones may be moved by up to 5 %, and by at most about a
// second, so Qt can batch the machine's wake-ups. A one-shot wait is a deadline (the end of a countdown,
// the next change of a shown minute) and always fires on time: a coarse timer may fire early, and an
// early wake-up only leads to a second one.
constexpr double kPreciseUpToMs = 5'000.0;
// Posted tasks run in one turn of the event loop, those they post included, up to this many.
constexpr int kMaxTasksPerTurn = 10'000;

double milliseconds(double seconds) {
    const double ms = seconds * 1000.0;
    return std::isfinite(ms) ? std::round(ms) : ms;
}

class QtTimer : public TimerHandle {
public:
    // A one-shot timer has an interval of 0.
    QtTimer(double delayMs, double intervalMs, std::function<void()> task)
        : timer_(new QTimer),
          intervalMs_(intervalMs),
          task_(std::make_shared<const std::function<void()>>(std::move(task))) {
        // A repeating interval that QTimer can hold is left to QTimer, which keeps it free of drift.
        repeatsByItself_ = intervalMs_ > 0.0 && intervalMs_ <= kLongestStepMs;
        timer_->setSingleShot(!repeatsByItself_);
        QObject::connect(timer_, &QTimer::timeout, [this] { fired(); });
        arm(delayMs);
    }

    ~QtTimer() override {
        timer_->stop();
        QObject::disconnect(timer_, nullptr, nullptr, nullptr);
        // Inside its own callback the QTimer is still emitting timeout(): let the event loop delete it.
        if (firing_) {
            timer_->deleteLater();
        } else {
            delete timer_;
        }
    }

    QtTimer(const QtTimer&) = delete;
    QtTimer& operator=(const QtTimer&) = delete;

private:
    void arm(double ms) {
        remainingMs_ = ms;
        armStep();
    }

    void armStep() {
        if (!std::isfinite(remainingMs_)) return;  // infinity: never
        const double step = std::min(remainingMs_, kLongestStepMs);
        // A huge wait stays huge after a step (1e300 - 86400000 == 1e300): it never comes, as it should.
        remainingMs_ -= step;
        const bool precise = intervalMs_ == 0.0 || step <= kPreciseUpToMs;
        timer_->setTimerType(precise ? Qt::PreciseTimer : Qt::CoarseTimer);
        timer_->start(static_cast<int>(step));
    }

    void fired() {
        if (remainingMs_ > 0.0) {
            armStep();
            return;
        }
        if (intervalMs_ > 0.0 && !repeatsByItself_) arm(intervalMs_);
        if (!*task_) return;
        // The copy keeps the task alive if the handle is destroyed from inside it.
        const auto task = task_;
        const auto alive = lifetime_.watch();
        firing_ = true;
        (*task)();
        if (!alive.expired()) firing_ = false;
    }

    QTimer* timer_;
    double intervalMs_;
    double remainingMs_ = 0.0;
    bool repeatsByItself_ = false;
    bool firing_ = false;
    std::shared_ptr<const std::function<void()>> task_;
    Lifetime lifetime_;
};

}  // namespace

struct QtScheduler::Queue {
    std::mutex mutex;
    std::deque<std::function<void()>> tasks;
    bool drainScheduled = false;
};

QtScheduler::QtScheduler() : queue_(std::make_unique<Queue>()), context_(std::make_unique<QObject>()) {}

QtScheduler::~QtScheduler() = default;

void QtScheduler::post(std::function<void()> task) {
    if (!task) return;
    {
        std::lock_guard lock(queue_->mutex);
        queue_->tasks.push_back(std::move(task));
        if (queue_->drainScheduled) return;
        queue_->drainScheduled = true;
    }
    scheduleDrain();
}

void QtScheduler::scheduleDrain() {
    QMetaObject::invokeMethod(
        context_.get(), [this] { drain(); }, Qt::QueuedConnection);
}

void QtScheduler::drain() {
    for (int i = 0; i < kMaxTasksPerTurn; ++i) {
        std::function<void()> task;
        {
            std::lock_guard lock(queue_->mutex);
            if (queue_->tasks.empty()) {
                queue_->drainScheduled = false;
                return;
            }
            task = std::move(queue_->tasks.front());
            queue_->tasks.pop_front();
        }
        task();
    }
    scheduleDrain();  // tasks that keep posting tasks: let timers and D-Bus in, then go on
}

Timer QtScheduler::after(double seconds, std::function<void()> task) {
    double ms = milliseconds(seconds);
    if (std::isnan(ms) || ms < 0.0) ms = 0.0;
    return std::make_unique<QtTimer>(ms, 0.0, std::move(task));
}

Timer QtScheduler::every(double seconds, std::function<void()> task) {
    double ms = milliseconds(seconds);
    if (std::isnan(ms) || ms < kMinimumIntervalMs) ms = kMinimumIntervalMs;
    return std::make_unique<QtTimer>(ms, ms, std::move(task));
}

}  // namespace torvel
