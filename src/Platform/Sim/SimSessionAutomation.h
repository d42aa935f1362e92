#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/SessionAutomation.h"

namespace torvel {

/// A scripted session sleep: the consent statuses come from a queue (the last one repeats), the
/// sleep answers as told and may take a while of real time. Thread-safe, like the real one.
class SimSessionAutomation : public SessionAutomation {
public:
    PermissionStatus permissionStatus(bool askUserIfNeeded) override;
    void launch() override;
    Result<void> sleep(bool interactive) override;

    /// The statuses answered from now on, in order; the last one repeats.
    void setStatuses(std::deque<PermissionStatus> statuses);
    /// What sleep() answers, and the reason given when it fails.
    void setSleepResult(bool succeeded, std::string error = {});
    /// How long (real seconds) each sleep() takes.
    void setSleepDuration(double seconds);

    /// How often launch() was called.
    int launches() const;
    /// The interactive flag of each sleep() that returned, in order.
    std::vector<bool> sleeps() const;
    /// The ask flag of each permissionStatus(), in order.
    std::vector<bool> asks() const;

private:
    mutable std::mutex mutex_;
    std::deque<PermissionStatus> statuses_{PermissionStatus::granted};
    bool sleepSucceeds_ = true;
    std::string sleepError_;
    double sleepSeconds_ = 0;
    int launches_ = 0;
    std::vector<bool> sleeps_, asks_;
};

}  // namespace torvel
