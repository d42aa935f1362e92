#include "Platform/Sim/SimSessionAutomation.h"

#include <chrono>
#include <thread>
#include <utility>

namespace torvel {

PermissionStatus SimSessionAutomation::permissionStatus(bool askUserIfNeeded) {
    std::lock_guard lock(mutex_);
    asks_.push_back(askUserIfNeeded);
    const PermissionStatus status = statuses_.front();
    if (statuses_.size() > 1) statuses_.pop_front();
    return status;
}

void SimSessionAutomation::launch() {
    std::lock_guard lock(mutex_);
    ++launches_;
}

Result<void> SimSessionAutomation::sleep(bool interactive) {
    double seconds = 0;
    {
        std::lock_guard lock(mutex_);
        seconds = sleepSeconds_;
    }
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    std::lock_guard lock(mutex_);
    sleeps_.push_back(interactive);
    if (!sleepSucceeds_) return Failure{sleepError_};
    return {};
}

void SimSessionAutomation::setStatuses(std::deque<PermissionStatus> statuses) {
    std::lock_guard lock(mutex_);
    if (!statuses.empty()) statuses_ = std::move(statuses);
}

void SimSessionAutomation::setSleepResult(bool succeeded, std::string error) {
    std::lock_guard lock(mutex_);
    sleepSucceeds_ = succeeded;
    sleepError_ = std::move(error);
}

void SimSessionAutomation::setSleepDuration(double seconds) {
    std::lock_guard lock(mutex_);
    sleepSeconds_ = seconds;
}

int SimSessionAutomation::launches() const {
    std::lock_guard lock(mutex_);
    return launches_;
}

std::vector<bool> SimSessionAutomation::sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
}

std::vector<bool> SimSessionAutomation::asks() const {
    std::lock_guard lock(mutex_);
    return asks_;
}

}  // namespace torvel
