// Where the emergency's blocking reads run: the worker thread, or a test's hand.
#include "Core/EmergencyWorkRunner.h"

#include <system_error>

namespace torvel {

std::shared_ptr<EmergencyWorkRunner> EmergencyWorkRunner::background(Scheduler& scheduler) {
    return std::shared_ptr<EmergencyWorkRunner>(new EmergencyWorkRunner(Mode::background, &scheduler));
}

std::shared_ptr<EmergencyWorkRunner> EmergencyWorkRunner::deferred() {
    return std::shared_ptr<EmergencyWorkRunner>(new EmergencyWorkRunner(Mode::deferred, nullptr));
}

std::shared_ptr<EmergencyWorkRunner> EmergencyWorkRunner::immediate() {
    return std::shared_ptr<EmergencyWorkRunner>(new EmergencyWorkRunner(Mode::immediate, nullptr));
}

EmergencyWorkRunner::~EmergencyWorkRunner() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

bool EmergencyWorkRunner::runHeldStep() {
    if (held_.empty()) return false;
    auto step = std::move(held_.front());
    held_.pop_front();
    step();
    return true;
}

bool EmergencyWorkRunner::submit(std::function<void()> work, std::function<void()> then) {
    switch (mode_) {
        case Mode::immediate:
            work();
            then();
            return true;
        case Mode::deferred:
            held_.push_back([work = std::move(work), then = std::move(then)] {
                work();
                then();
            });
            return true;
        case Mode::background:
            break;
    }
    Scheduler* scheduler = scheduler_;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back([work = std::move(work), then = std::move(then), scheduler]() mutable {
            work();
            scheduler->post(std::move(then));
        });
        if (!worker_.joinable()) {
            try {
                worker_ = std::thread([this] { workerLoop(); });
            } catch (const std::system_error&) {
                // No thread, no work: the caller is told so it does not wait for an answer forever.
                queue_.clear();
                return false;
            }
        }
    }
    wake_.notify_one();
    return true;
}

void EmergencyWorkRunner::workerLoop() {
    for (;;) {
        std::function<void()> piece;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            piece = std::move(queue_.front());
            queue_.pop_front();
        }
        piece();
    }
}

}  // namespace torvel
