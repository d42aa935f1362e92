#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <string>

#include "Models/Result.h"

struct udev;
struct udev_monitor;

namespace torvel {

/// Announces the device events of one kernel subsystem ("drm", "thermal") on the main loop as udev
/// passes them on, through the monitor's socket: nothing is polled.
class UdevSubsystemWatch {
public:
    /// Starts following `subsystem`; `onEvent` runs once per batch of events read together.
    /// Failure (no udev, no netlink socket): the reason.
    static Result<std::unique_ptr<UdevSubsystemWatch>> create(const std::string& subsystem,
                                                              std::function<void()> onEvent);
    ~UdevSubsystemWatch();
    UdevSubsystemWatch(const UdevSubsystemWatch&) = delete;
    UdevSubsystemWatch& operator=(const UdevSubsystemWatch&) = delete;

private:
    UdevSubsystemWatch(udev* context, udev_monitor* monitor, std::function<void()> onEvent);
    void drain();

    udev* context_;
    udev_monitor* monitor_;
    std::function<void()> onEvent_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace torvel
