#include "Platform/Linux/Helpers/UdevSubsystemWatch.h"

#include <libudev.h>

namespace torvel {

Result<std::unique_ptr<UdevSubsystemWatch>> UdevSubsystemWatch::create(const std::string& subsystem,
                                                                       std::function<void()> onEvent) {
    udev* context = udev_new();
    if (!context) return Failure{"udev is not available"};
    // "udev", not "kernel": the events after udev has processed them, so sysfs and the device nodes
    // are settled when we read them.
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    const auto fail = [&](const char* why) {
        if (monitor) udev_monitor_unref(monitor);
        udev_unref(context);
        return Failure{why};
    };
    if (!monitor) return fail("cannot open the udev netlink socket");
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor, subsystem.c_str(), nullptr) < 0)
        return fail("cannot filter the udev events");
    if (udev_monitor_enable_receiving(monitor) < 0) return fail("cannot receive udev events");
    return std::unique_ptr<UdevSubsystemWatch>(new UdevSubsystemWatch(context, monitor, std::move(onEvent)));
}

UdevSubsystemWatch::UdevSubsystemWatch(udev* context, udev_monitor* monitor, std::function<void()> onEvent)
    : context_(context), monitor_(monitor), onEvent_(std::move(onEvent)) {
    notifier_ = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { drain(); });
}

UdevSubsystemWatch::~UdevSubsystemWatch() {
    notifier_.reset();
    udev_monitor_unref(monitor_);
    udev_unref(context_);
}

void UdevSubsystemWatch::drain() {
    // The socket is non-blocking: read everything queued so that a burst (one event per connector)
    // makes one callback, and the notifier does not fire again for events already seen.
    int events = 0;
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        udev_device_unref(device);
        ++events;
    }
    if (events > 0 && onEvent_) {
        const auto call = onEvent_;  // the callback may destroy this watch
        call();
    }
}

}  // namespace torvel
